// The simulated DAC: a HidPlatform that models a connected device well
// enough to exercise every path of the program without hardware.
//
// By default it lists a standard HID interface (consumer control) and then
// the vendor-defined interface of one DAC, vendor 0x3917, product 4, revision
// 0x0102, with 65-byte reports. Behind bus device 0xA0 sits a 64 KiB EEPROM;
// products 16 and 17 also take bulk images. It answers select, write, read,
// bulk start, bulk blocks and bulk end; a read answer echoes the request's
// first six bytes, then carries the data, then zeros.
//
// It runs on virtual time (pauses recorded, not slept) unless told otherwise,
// can inject faults, and records a trace of every report and pause:
//
//   out 00 04 00 00 a0 00 ...   control output report
//   write 00 0c 01 ...          interrupt write
//   in 00 0a 05 ...             input report received
//   out-failed / in-failed / write-failed ...   the call failed
//   sleep 10                    a pause in milliseconds
//   progress 800                a per-mille value given to the progress sink
#pragma once

#include <atomic>
#include <cstdint>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/platform/hid_platform.h"
#include "sim/dac_model.h"
#include "sim/eeprom_store.h"

namespace veltrane::sim {

enum class OpenLimit { kReadAndWrite, kReadOnly, kWriteOnly };

struct SimOptions {
  std::uint16_t product_id = 4;
  std::uint16_t revision = 0x0102;
  bool standard_interface_first = true;  // a consumer-control interface before ours
  bool foreign_device_first = false;     // another vendor's vendor-defined interface first
  bool second_dac = false;               // a second DAC listed after the first
  std::uint16_t second_product_id = 6;
  // Its place among several simulated DACs: paths sim:/dacN/…, serial
  // number SIM0001 for index 0, location "sim-1".
  int index = 0;
  std::uint16_t input_report_length = 65;   // report-ID byte included
  std::uint16_t output_report_length = 65;
  OpenLimit open_limit = OpenLimit::kReadAndWrite;
  bool access_denied = false;  // read and write opens refused as for a missing udev rule
  std::size_t path_length = 0;  // pad the vendor interface's path to this length
  std::string eeprom_file;      // kept between runs when set (see EepromStore)
  bool virtual_time = true;
  bool factory_image = true;  // start from a valid image and feedback block
  // Keep the trace in memory (Trace()), for tests. The programs keep only a
  // --trace FILE: a bench that runs all day must not grow without end.
  bool keep_trace = true;

  // Faults; counts start at 1, 0 means none.
  int fail_output_report = 0;  // the K-th control output report fails
  int fail_input_report = 0;   // the K-th input report fails
  int fail_write = 0;          // the K-th interrupt write fails
  int unplug_after = 0;        // the device is gone after the K-th report of any kind
  // The K-th EEPROM write packet, and the K-th interrupt write (a bulk
  // block), is acknowledged but silently lost.
  int drop_eeprom_write = 0;
  // The K-th input report is the one before it again (zeros when none came
  // before): an old answer where the answer to this request should be.
  int stale_input_report = 0;
};

class SimulatedDac : public HidPlatform {
 public:
  explicit SimulatedDac(SimOptions options = {});
  ~SimulatedDac() override;
  SimulatedDac(const SimulatedDac&) = delete;
  SimulatedDac& operator=(const SimulatedDac&) = delete;

  // HidPlatform
  std::vector<HidInterface> EnumerateInterfaces() override;
  HidHandle Open(const std::string& path, HidAccess access) override;
  void Close(HidHandle handle) override;
  bool GetAttributes(HidHandle handle, HidAttributes* attributes) override;
  bool GetCaps(HidHandle handle, HidCaps* caps) override;
  bool SetOutputReport(HidHandle handle, const std::uint8_t* report, std::size_t length) override;
  bool GetInputReport(HidHandle handle, std::uint8_t* report, std::size_t length) override;
  bool WriteReport(HidHandle handle, const std::uint8_t* report, std::size_t length) override;
  void Sleep(unsigned milliseconds) override;
  // The last failing call of the calling thread, as the system keeps errno.
  HidError LastError() const override;
  std::string LastErrorText() const override;
  void NoteProgress(std::uint16_t per_mille) override;
  std::string TransportName() const override { return "simulated"; }
  // Tells of every Unplug and Replug at once, without waiting on any clock.
  std::unique_ptr<ArrivalWatcher> CreateArrivalWatcher() override;

  // Inspection and control, for tests and the demonstration.
  const SimOptions& Options() const { return options_; }
  SimOptions& MutableOptions() { return options_; }
  std::vector<std::uint8_t>& Eeprom() { return model_.Eeprom(); }
  const std::vector<std::string>& Trace() const { return trace_; }
  void ClearTrace() { trace_.clear(); }
  // Also writes every trace line to `path` as it happens; false when it cannot be opened.
  bool SetTraceFile(const std::string& path);
  std::uint64_t VirtualMilliseconds() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return virtual_ms_;
  }
  int OpenHandleCount() const { return static_cast<int>(handles_.size()); }
  bool IsHandleOpen(HidHandle handle) const { return handles_.count(handle) != 0; }
  const std::vector<std::uint8_t>& BulkImage() const { return model_.BulkImage(); }
  bool BulkComplete() const { return model_.BulkComplete(); }
  std::string VendorInterfacePath(int dac = 0) const;
  // The serial number of the simulated DAC at `index` (0: SIM0001).
  static std::string SerialNumber(int index);
  // The DAC leaves the bus, or comes back (a fresh plug: fault counts restart).
  void Unplug();
  void Replug();
  // Goes up by one at every Unplug and Replug, and when an unplug fault strikes.
  std::uint64_t PlugChanges() const { return plug_changes_.load(); }
  bool Unplugged() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return unplugged_;
  }
  // Writes what the options' file does not hold yet of the EEPROM into it,
  // if one is set and usable: every write packet is kept as it arrives, so
  // this finds only changes made through Eeprom() (tests) and writes that
  // failed. Also done when the DAC ends.
  bool SaveEeprom(std::string* error = nullptr);
  // Why the options' EEPROM file cannot be used; empty when it can (or none is set).
  const std::string& FileError() const { return file_error_; }

  // A valid image as the factory leaves it: header for `product_id` with
  // version `version`, then a patterned body; `length` bytes in all.
  static std::vector<std::uint8_t> FactoryImage(std::uint16_t product_id, std::uint16_t version,
                                                std::size_t length = 2048);

 private:
  struct Interface {
    std::string path;
    std::uint16_t vendor_id;
    std::uint16_t product_id;
    HidCaps caps;
    int dac;  // index of our DAC it belongs to, -1 for another vendor's device
    bool vendor_defined;
  };
  struct OpenHandle {
    int interface;
    HidAccess access;
  };

  void BuildInterfaces();
  void LoadEeprom();
  const Interface* Lookup(HidHandle handle) const;
  bool Fail(HidError error, const std::string& text);
  bool DeviceGone(const Interface& iface) const { return unplugged_ && iface.dac >= 0; }
  void CountReport();
  void HandleOutput(const Interface& iface, const std::uint8_t* payload, std::size_t length);
  bool Tracing() const;
  void Record(const std::string& line);
  void RecordReport(const char* kind, const std::uint8_t* report, std::size_t length);

  SimOptions options_;
  std::vector<Interface> interfaces_;
  std::map<HidHandle, OpenHandle> handles_;
  HidHandle next_handle_ = 0x100;
  std::vector<std::string> trace_;
  std::ofstream trace_file_;
  std::uint64_t virtual_ms_ = 0;
  // Guards the DAC's state (handles, trace, EEPROM, counters): links on
  // several threads may share one DAC, as a bench's watcher lists it while
  // its unit flashes it.
  mutable std::mutex mutex_;

  // Device state.
  bool unplugged_ = false;
  std::atomic<std::uint64_t> plug_changes_{0};
  DacModel model_;
  EepromStore store_;
  std::string file_error_;

  // Fault counters.
  int output_reports_ = 0;
  int input_reports_ = 0;
  int writes_ = 0;
  int reports_ = 0;
  int delivered_writes_ = 0;
  std::vector<std::uint8_t> last_input_;  // what the last input report carried
};

}  // namespace veltrane::sim
