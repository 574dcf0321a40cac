// The DAC as a USB device, inside the test virtual machine: a FunctionFS
// function of a configfs gadget on dummy_hcd, served by the simulated DAC's
// device model (scripts/usb-vm-test).
//
// Interfaces, in this order: a standard HID interface (volume and mute keys,
// interrupt IN), then the vendor-defined one (64-byte reports, interrupt IN
// and interrupt OUT). Endpoint 0 answers GET_DESCRIPTOR (report), SET_IDLE,
// SET_REPORT and GET_REPORT; a thread reads the interrupt OUT endpoint. Every
// report for the vendor interface is fed to the model and logged with the
// road it came by, one line each:
//
//   set-report 0200 64 04        SET_REPORT on endpoint 0: wValue, length, command byte
//   interrupt-out 64 04          interrupt OUT transfer: length, command byte
//   get-report 0100 64           GET_REPORT on endpoint 0: wValue, length
//   bulk-complete 4096           the model took a whole bulk image
//
// Usage: usb_gadget_server FFS_DIR PRODUCT LOG [--unbind-after N UDC_FILE] [--no-answer]
//   --unbind-after: after the N-th output report, unplug: empty UDC_FILE.
//   --no-answer: a device that hangs: never reads its interrupt OUT endpoint
//                and leaves GET_REPORT unanswered (the host's timeouts end them).
#include <fcntl.h>
#include <linux/usb/ch9.h>
#include <linux/usb/functionfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/dac_model.h"
#include "tests/linux/report_descriptors.h"

namespace {

using veltrane::sim::DacModel;
using veltrane::testing::kConsumerControlDescriptor;
using veltrane::testing::kDacDescriptor;

constexpr std::uint16_t kReportLength = 65;  // report-ID byte included, as the link counts
constexpr int kVendorInterface = 1;

void Put16(std::vector<std::uint8_t>* out, unsigned value) {
  out->push_back(static_cast<std::uint8_t>(value));
  out->push_back(static_cast<std::uint8_t>(value >> 8));
}
void Put32(std::vector<std::uint8_t>* out, std::uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

void AddInterface(std::vector<std::uint8_t>* out, std::uint8_t number, std::uint8_t endpoints,
                  std::size_t report_length) {
  const std::uint8_t interface[] = {9, USB_DT_INTERFACE, number, 0, endpoints, 3, 0, 0, 0};
  out->insert(out->end(), interface, interface + sizeof interface);
  // HID 1.11, no country, one class descriptor: the report descriptor.
  const std::uint8_t hid[] = {9, 0x21, 0x11, 0x01, 0, 1, 0x22,
                              static_cast<std::uint8_t>(report_length),
                              static_cast<std::uint8_t>(report_length >> 8)};
  out->insert(out->end(), hid, hid + sizeof hid);
}

void AddEndpoint(std::vector<std::uint8_t>* out, std::uint8_t address, unsigned max_packet,
                 std::uint8_t interval) {
  out->push_back(7);
  out->push_back(USB_DT_ENDPOINT);
  out->push_back(address);
  out->push_back(USB_ENDPOINT_XFER_INT);
  Put16(out, max_packet);
  out->push_back(interval);
}

// One speed's set: 7 descriptors.
std::vector<std::uint8_t> SpeedSet(bool high_speed) {
  std::vector<std::uint8_t> set;
  const std::uint8_t interval = high_speed ? 4 : 1;  // 1 ms either way
  AddInterface(&set, 0, 1, kConsumerControlDescriptor.size());
  AddEndpoint(&set, USB_DIR_IN | 1, 8, interval);
  AddInterface(&set, kVendorInterface, 2, kDacDescriptor.size());
  AddEndpoint(&set, USB_DIR_IN | 2, 64, interval);
  AddEndpoint(&set, USB_DIR_OUT | 3, 64, interval);
  return set;
}

std::vector<std::uint8_t> DescriptorBlob() {
  const std::vector<std::uint8_t> fs = SpeedSet(false), hs = SpeedSet(true);
  std::vector<std::uint8_t> blob;
  Put32(&blob, FUNCTIONFS_DESCRIPTORS_MAGIC_V2);
  Put32(&blob, static_cast<std::uint32_t>(20 + fs.size() + hs.size()));
  Put32(&blob, FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_HAS_HS_DESC);
  Put32(&blob, 7);
  Put32(&blob, 7);
  blob.insert(blob.end(), fs.begin(), fs.end());
  blob.insert(blob.end(), hs.begin(), hs.end());
  return blob;
}

std::vector<std::uint8_t> StringsBlob() {
  std::vector<std::uint8_t> blob;
  Put32(&blob, FUNCTIONFS_STRINGS_MAGIC);
  Put32(&blob, 16);
  Put32(&blob, 0);
  Put32(&blob, 0);
  return blob;
}

class Server {
 public:
  Server(std::string dir, std::uint16_t product, std::FILE* log, int unbind_after,
         std::string udc_file, bool no_answer)
      : dir_(std::move(dir)), product_(product), log_(log), unbind_after_(unbind_after),
        udc_file_(std::move(udc_file)), no_answer_(no_answer) {}

  int Run() {
    ep0_ = ::open((dir_ + "/ep0").c_str(), O_RDWR);
    if (ep0_ < 0) return Die("open ep0");
    const std::vector<std::uint8_t> descriptors = DescriptorBlob(), strings = StringsBlob();
    if (::write(ep0_, descriptors.data(), descriptors.size()) < 0) return Die("write descriptors");
    if (::write(ep0_, strings.data(), strings.size()) < 0) return Die("write strings");
    for (;;) {
      usb_functionfs_event event{};
      const ssize_t n = ::read(ep0_, &event, sizeof event);
      // EL2HLT: a control request left unanswered was stalled by reading on;
      // EIDRM: the host gave up on it and sent the next one.
      if (n < 0 && (errno == EINTR || errno == EL2HLT || errno == EIDRM)) continue;
      if (n < static_cast<ssize_t>(sizeof event)) return Die("read ep0");
      if (event.type == FUNCTIONFS_ENABLE && !reader_started_ && !no_answer_) {
        // One reader for the server's life: it waits out unplugs itself.
        reader_started_ = true;
        std::thread([this] { ReadInterruptOut(); }).detach();
      } else if (event.type == FUNCTIONFS_SETUP) {
        Setup(event.u.setup);
      }
    }
  }

 private:
  int Die(const char* what) {
    std::fprintf(stderr, "usb_gadget_server: %s: %s\n", what, std::strerror(errno));
    return 1;
  }

  void Log(const char* format, unsigned a, unsigned b, unsigned c) {
    std::fprintf(log_, format, a, b, c);
    std::fflush(log_);
  }

  // Feeds one output report's payload to the model; unplugs when told to.
  void Output(const std::uint8_t* payload, std::size_t length) {
    const bool was_complete = model_.BulkComplete();
    model_.HandleOutput(payload, length, product_, kReportLength);
    if (!was_complete && model_.BulkComplete()) {
      Log("bulk-complete %u\n", static_cast<unsigned>(model_.BulkImage().size()), 0, 0);
    }
    if (++outputs_ == unbind_after_) {
      Log("unplugged-after %u\n", static_cast<unsigned>(outputs_), 0, 0);
      // Unbinding waits for this function's events to be read: another thread does it.
      std::thread([file = udc_file_] {
        const int fd = ::open(file.c_str(), O_WRONLY);
        if (fd >= 0) {
          (void)!::write(fd, "\n", 1);
          ::close(fd);
        }
      }).detach();
    }
  }

  void ReadInterruptOut() {
    const int fd = ::open((dir_ + "/ep3").c_str(), O_RDWR);
    if (fd < 0) {
      Die("open ep3");
      return;
    }
    std::uint8_t block[64];
    for (;;) {
      const ssize_t n = ::read(fd, block, sizeof block);
      if (n <= 0) {
        // Disabled (unplugged): the next read waits for the host again.
        usleep(10000);
        continue;
      }
      const std::lock_guard<std::mutex> lock(mutex_);
      interrupt_seen_ = true;
      Log("interrupt-out %u %02x\n", static_cast<unsigned>(n), n > 1 ? block[1] : 0, 0);
      Output(block, static_cast<std::size_t>(n));
    }
  }

  void Stall(bool in) {
    std::uint8_t none = 0;
    // FunctionFS halts endpoint 0 when the data stage goes the wrong way.
    if (in) (void)!::read(ep0_, &none, 0);
    else (void)!::write(ep0_, &none, 0);
  }

  void Setup(const usb_ctrlrequest& setup) {
    const bool in = (setup.bRequestType & USB_DIR_IN) != 0;
    const unsigned value = setup.wValue, index = setup.wIndex & 0xFF, length = setup.wLength;
    std::vector<std::uint8_t> data(length);
    if (setup.bRequestType == 0x81 && setup.bRequest == USB_REQ_GET_DESCRIPTOR &&
        value == 0x2200) {
      const auto& descriptor = index == kVendorInterface ? kDacDescriptor : kConsumerControlDescriptor;
      const std::size_t n = std::min<std::size_t>(length, descriptor.size());
      (void)!::write(ep0_, descriptor.data(), n);
    } else if (setup.bRequestType == 0x21 && setup.bRequest == 0x0A) {  // SET_IDLE
      (void)!::read(ep0_, data.data(), 0);
    } else if (setup.bRequestType == 0x21 && setup.bRequest == 0x09 && index == kVendorInterface) {
      const ssize_t n = ::read(ep0_, data.data(), length);
      if (n < 0) return;
      WaitForInterruptOut();
      const std::lock_guard<std::mutex> lock(mutex_);
      Log("set-report %04x %u %02x\n", value, static_cast<unsigned>(n), n > 1 ? data[1] : 0);
      Output(data.data(), static_cast<std::size_t>(n));
    } else if (setup.bRequestType == 0xA1 && setup.bRequest == 0x01 && index == kVendorInterface) {
      if (no_answer_) {
        Log("get-report-unanswered %04x %u\n", value, length, 0);
        // Reading endpoint 0 now would stall the request at once: wait out
        // the host's timeout first.
        usleep(3000 * 1000);
        return;
      }
      WaitForAnswer();
      std::uint8_t report[kReportLength];
      {
        const std::lock_guard<std::mutex> lock(mutex_);
        model_.TakeInputReport(report, sizeof report);
        Log("get-report %04x %u\n", value, length, 0);
      }
      // Report ID 0 is not sent: the data starts after it.
      (void)!::write(ep0_, report + 1, std::min<std::size_t>(length, kReportLength - 1));
    } else {
      Stall(in);
    }
  }

  // The read packet a GET_REPORT answers may have come by interrupt OUT
  // (hidraw) and still be on its way through the reader thread.
  void WaitForAnswer() {
    for (int i = 0; i < 250; ++i) {
      {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!interrupt_seen_ || model_.AnswerPending()) return;
      }
      usleep(2000);
    }
  }

  // A packet sent by interrupt OUT just before a control transfer may still
  // be on its way through the reader thread: give it the processor first.
  void WaitForInterruptOut() {
    bool seen = false;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      seen = interrupt_seen_;
    }
    if (seen) usleep(2000);
  }

  std::string dir_;
  std::uint16_t product_;
  std::FILE* log_;
  int unbind_after_;
  std::string udc_file_;
  bool no_answer_;
  int ep0_ = -1;
  bool reader_started_ = false;
  std::mutex mutex_;  // the model, the log and the counts
  DacModel model_;
  int outputs_ = 0;
  bool interrupt_seen_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  int unbind_after = 0;
  std::string udc_file;
  bool no_answer = false;
  bool usage = argc < 4;
  for (int i = 4; i < argc && !usage; ++i) {
    if (std::strcmp(argv[i], "--unbind-after") == 0 && i + 2 < argc) {
      unbind_after = std::atoi(argv[i + 1]);
      udc_file = argv[i + 2];
      i += 2;
    } else if (std::strcmp(argv[i], "--no-answer") == 0) {
      no_answer = true;
    } else {
      usage = true;
    }
  }
  if (usage) {
    std::fprintf(stderr, "usage: %s FFS_DIR PRODUCT LOG [--unbind-after N UDC_FILE] [--no-answer]\n",
                 argv[0]);
    return 2;
  }
  std::FILE* log = std::fopen(argv[3], "a");
  if (log == nullptr) return 1;
  Server server(argv[1], static_cast<std::uint16_t>(std::atoi(argv[2])), log, unbind_after,
                udc_file, no_answer);
  return server.Run();
}
