// A HID device made real through the kernel's uhid driver, for the test that
// runs inside a virtual machine. A service thread answers the kernel: every
// output report (UHID_OUTPUT, whether it left hidraw by write() or by
// HIDIOCSOUTPUT) goes to the simulated DAC's device model, and every
// get-input-report (UHID_GET_REPORT, from HIDIOCGINPUT) is answered with the
// model's pending answer. For a host whose HID stack never sends
// get-input-report (wine's), each answer can also be pushed as an interrupt
// IN report the moment its read arrives.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device/platform/linux/unique_fd.h"
#include "sim/dac_model.h"

namespace veltrane::testing {

class UhidTestDevice {
 public:
  UhidTestDevice() = default;
  ~UhidTestDevice();
  UhidTestDevice(const UhidTestDevice&) = delete;
  UhidTestDevice& operator=(const UhidTestDevice&) = delete;

  // The serial number (the kernel's HID_UNIQ), release number and physical
  // path (HID_PHYS, e.g. usb-0000:00:1d.0-1/input2) the next Create gives
  // the device; by default none, 0x0102 and none.
  void SetIdentity(const std::string& serial, std::uint16_t version, const std::string& phys) {
    serial_ = serial;
    version_ = version;
    phys_ = phys;
  }
  // Every read's answer also goes out as an interrupt IN report (UHID_INPUT2).
  void PushAnswers(bool push) { push_answers_ = push; }
  // The next read's answer is lost: neither pushed nor kept for get-input-report.
  void LoseNextAnswer() { lose_next_answer_ = true; }

  // Creates the device; false with `error` set when /dev/uhid refuses.
  bool Create(const std::string& name, std::uint16_t vendor_id, std::uint16_t product_id,
              const std::vector<std::uint8_t>& descriptor, std::uint16_t input_report_length,
              std::string* error);
  void Destroy();

  // The next get-input-report is answered with an error.
  void FailNextInputReport() { fail_next_input_report_ = true; }

  int OutputReports() const { return output_reports_; }
  int InputReports() const { return input_reports_; }
  // Output reports whose length or report-ID byte was not what the device expects.
  int BadlyFramedReports() const { return badly_framed_; }
  std::vector<std::uint8_t> EepromCopy();

 private:
  void Serve();
  void Answer(std::uint32_t id, const std::uint8_t* data, std::size_t size, std::uint16_t error);
  void AfterOutput();

  UniqueFd fd_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> fail_next_input_report_{false};
  std::atomic<int> output_reports_{0};
  std::atomic<int> input_reports_{0};
  std::atomic<int> badly_framed_{0};
  std::atomic<bool> push_answers_{false};
  std::atomic<bool> lose_next_answer_{false};
  std::string serial_;
  std::string phys_;
  std::uint16_t version_ = 0x0102;
  // The answer last pushed, for a get-input-report that still comes.
  std::vector<std::uint8_t> pushed_answer_;
  std::uint16_t product_id_ = 0;
  std::uint16_t input_report_length_ = 0;
  std::uint16_t output_report_length_ = 65;
  std::mutex model_mutex_;
  sim::DacModel model_;
};

// How many hidraw nodes the kernel lists now (a uhid device gets its node
// from a kernel worker, after its create returned).
int HidrawNodeCount();

}  // namespace veltrane::testing
