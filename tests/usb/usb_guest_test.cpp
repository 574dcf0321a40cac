// End to end through a real kernel's USB stack, inside the test virtual
// machine (scripts/usb-vm-test): the HID device link over the usbfs or the
// hidraw transport, against the gadget usb_gadget_server makes of the
// simulated DAC's device model. The server logs the road of every report;
// this test asserts the roads for usbfs and prints them for hidraw.
//
// Usage: usb_guest_test usb|hidraw eeprom|bulk|unplug|timeouts ROAD_LOG [UDC_FILE UDC_NAME]
// Prints "ok"/"FAIL" lines and ends with "GUEST-TEST: <n> failed".
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "device/hid_device_link.h"
#include "device/platform/hid_platform.h"

namespace veltrane::testing {
namespace {

int failures = 0;
bool usb = true;

void Check(bool ok, const std::string& what) {
  std::printf("  %s %s\n", ok ? "ok  " : "FAIL", what.c_str());
  std::fflush(stdout);
  if (!ok) ++failures;
}

void Pause(int ms) { usleep(static_cast<useconds_t>(ms) * 1000); }

int HidrawNodeCount() {
  int count = 0;
  if (DIR* dir = opendir("/sys/class/hidraw")) {
    while (const dirent* entry = readdir(dir)) {
      if (std::strncmp(entry->d_name, "hidraw", 6) == 0) ++count;
    }
    closedir(dir);
  }
  return count;
}

bool WaitForHidrawNodes(int count) {
  for (int i = 0; i < 100; ++i) {
    if (HidrawNodeCount() == count) return true;
    Pause(50);
  }
  return false;
}

// The server's road log, read on from where the last look stopped.
class Roads {
 public:
  explicit Roads(std::string path) : path_(std::move(path)) { Take(); }

  struct Counts {
    int set_report = 0;     // SET_REPORT on endpoint 0, output report type, 64 bytes
    int interrupt_out = 0;  // interrupt OUT, 64 bytes
    int get_report = 0;     // GET_REPORT on endpoint 0, input report type
    int other = 0;
    std::vector<std::string> lines;
  };

  Counts Take() {
    Settle();
    Counts counts;
    std::ifstream in(path_);
    std::string line;
    std::size_t number = 0;
    while (std::getline(in, line)) {
      if (number++ < seen_) continue;
      counts.lines.push_back(line);
      if (line.rfind("set-report 0200 64 ", 0) == 0) ++counts.set_report;
      else if (line.rfind("interrupt-out 64 ", 0) == 0) ++counts.interrupt_out;
      else if (line.rfind("get-report 0100 64", 0) == 0) ++counts.get_report;
      else ++counts.other;
    }
    seen_ = number;
    return counts;
  }

 private:
  // A transfer completes on the host as the server's read returns, before
  // the server has logged it: wait until the log stops growing.
  void Settle() const {
    long last = -1;
    for (int i = 0; i < 50; ++i) {
      std::ifstream in(path_, std::ios::ate);
      const long size = static_cast<long>(in.tellg());
      if (size == last) return;
      last = size;
      Pause(30);
    }
  }

  std::string path_;
  std::size_t seen_ = 0;
};

std::string Describe(const Roads::Counts& c) {
  char text[160];
  std::snprintf(text, sizeof text,
                "%d SET_REPORT on endpoint 0, %d interrupt OUT, %d GET_REPORT, %d other",
                c.set_report, c.interrupt_out, c.get_report, c.other);
  return text;
}

// Output reports of one operation: usbfs must send them all by `expected`
// ("ep0": SET_REPORT, "out": interrupt OUT); hidraw's roads are printed.
void CheckRoads(const Roads::Counts& c, int output_reports, const char* expected,
                const std::string& what) {
  std::printf("       roads of %s: %s\n", what.c_str(), Describe(c).c_str());
  if (!usb) return;
  const bool ep0 = std::strcmp(expected, "ep0") == 0;
  Check((ep0 ? c.set_report : c.interrupt_out) == output_reports &&
            (ep0 ? c.interrupt_out : c.set_report) == 0 && c.other == 0,
        what + ": all " + std::to_string(output_reports) + " output reports as " +
            (ep0 ? "SET_REPORT on endpoint 0" : "interrupt OUT transfers"));
}

std::vector<std::uint8_t> TestImage(std::size_t size, unsigned seed) {
  std::vector<std::uint8_t> image(size);
  for (std::size_t i = 0; i < size; ++i) {
    image[i] = static_cast<std::uint8_t>((i * 131 + seed) ^ (i >> 7));
  }
  return image;
}

bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

std::unique_ptr<HidPlatform> NewPlatform() {
  return CreateSystemHidPlatform(usb ? HidTransport::kUsb : HidTransport::kHidraw);
}

void EepromPhase(Roads& roads) {
  Check(WaitForHidrawNodes(2), "the kernel made hidraw nodes for both HID interfaces");
  const std::unique_ptr<HidPlatform> platform = NewPlatform();
  const std::vector<HidInterface> interfaces = platform->EnumerateInterfaces();
  for (const HidInterface& i : interfaces) {
    std::printf("       %s  interrupt OUT: %s\n", i.path.c_str(), i.interrupt_out ? "yes" : "no");
  }
  Check(interfaces.size() == 2 && !interfaces[0].interrupt_out && interfaces[1].interrupt_out,
        "two HID interfaces; only the vendor-defined one has an interrupt OUT endpoint");

  if (usb && interfaces.size() == 2) {
    const HidHandle standard = platform->Open(interfaces[0].path, HidAccess::kRead);
    Check(!IsOpenHandle(standard) && HidrawNodeCount() == 2,
          "the standard interface is never taken from the kernel: " + platform->LastErrorText());
    if (IsOpenHandle(standard)) platform->Close(standard);
  }

  HidDeviceLink link(*platform);
  const int found = link.FindDevice();
  Check(found == 1, "FindDevice " + platform->LastErrorText());
  if (!link.IsFound()) return;
  Check(interfaces.size() == 2 && link.DevicePath() == interfaces[1].path,
        "discovery passed over the standard interface listed first: " + link.DevicePath());
  const HidCaps& caps = link.Capabilities();
  Check(caps.usage_page == 0xFF00 && caps.input_report_byte_length == 65 &&
            caps.output_report_byte_length == 65,
        "capabilities: usage page ff00, 65-byte reports");
  const std::string hardware_id = link.GetHardwareId();
  Check(hardware_id == "USB\\VID_3917&PID_0004&REV_0102",
        "hardware ID " + hardware_id + " from the USB device (bcdDevice 0x0102)");
  if (usb) {
    Check(WaitForHidrawNodes(1), "while the claim is held only the standard interface's hidraw node is left");
    HidDeviceLink second(*platform);
    Check(second.FindDevice() == 1, "a second link opens the same interface (the claim is shared)");
    second.Close();
    Check(HidrawNodeCount() == 1, "closing the second link keeps the first link's claim");
  }
  roads.Take();

  Check(link.WriteFeedbackSettings(kEepromDeviceAddress, kEepromSelector, 0x1F, 0x3F, 0x0F) == 1,
        "WriteFeedbackSettings");
  std::uint8_t block[4] = {};
  Check(link.ReadFeedbackSettings(kEepromDeviceAddress, kEepromSelector, block, sizeof block) == 1 &&
            block[1] == 0x1F && block[2] == 0x3F && block[3] == 0x0F,
        "feedback settings read back as written");
  Roads::Counts feedback = roads.Take();
  CheckRoads(feedback, feedback.set_report + feedback.interrupt_out, "ep0", "the feedback write and read");
  if (usb) Check(feedback.get_report > 0, "the read answer came by GET_REPORT on endpoint 0");

  const std::vector<std::uint8_t> image = TestImage(8192, usb ? 7 : 11);
  Check(WriteFile("/tmp/image.bin", image), "8 KiB image written to /tmp/image.bin");
  const auto start = std::chrono::steady_clock::now();
  const int flashed = link.DownloadEepromImage("/tmp/image.bin", kEepromDeviceAddress, kEepromSelector);
  const auto wall = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start).count();
  Check(flashed == 1, "DownloadEepromImage of 8 KiB " + platform->LastErrorText());
  // The pauses alone: one of 10 ms after each of the 512 write packets.
  constexpr long kFloorMs = 512 * 10;
  std::printf("FLASH-TIME %s: 8 KiB in %ld ms wall; the pauses' floor is %ld ms; ratio %.2f\n",
              usb ? "usb" : "hidraw", static_cast<long>(wall), kFloorMs,
              static_cast<double>(wall) / kFloorMs);
  CheckRoads(roads.Take(), 1 + 512 + 1, "ep0", "the 8 KiB flash (select, 512 writes, restore)");
  std::vector<std::uint8_t> back(image.size());
  Check(link.ReadEeprom(kEepromDeviceAddress, kEepromSelector, 0, back.data(),
                        static_cast<std::uint16_t>(back.size())) == 1 &&
            back == image,
        "the image read back byte for byte");
  roads.Take();

  const std::uint8_t select[4] = {0x04, kCmdSelect, kEepromSelector, kEepromDeviceAddress};
  Check(link.WriteOutputReport(select, sizeof select) != 0, "an interrupt write (WriteOutputReport)");
  CheckRoads(roads.Take(), 1, "out", "the interrupt write");

  link.Close();
  Check(WaitForHidrawNodes(2), "after the link closed both hidraw nodes are there");
}

void BulkPhase(Roads& roads) {
  const std::unique_ptr<HidPlatform> platform = NewPlatform();
  HidDeviceLink link(*platform);
  const int found = link.FindDevice();
  Check(found == 1, "FindDevice on product 16 " + platform->LastErrorText());
  std::uint16_t vendor = 0, product = 0;
  link.GetDeviceIds(&vendor, &product);
  Check(product == 16 && link.GetHardwareId() == "USB\\VID_3917&PID_0010&REV_0102",
        "product 16, hardware ID " + link.GetHardwareId());
  roads.Take();
  const std::vector<std::uint8_t> image = TestImage(4096, 3);
  Check(WriteFile("/tmp/bulk.bin", image), "4 KiB bulk image written");
  const int streamed = link.DownloadBulkImage("/tmp/bulk.bin");
  Check(streamed == 1, "DownloadBulkImage " + platform->LastErrorText());
  Roads::Counts bulk = roads.Take();
  bool complete = false;
  for (const std::string& line : bulk.lines) complete = complete || line == "bulk-complete 4096";
  bulk.other -= complete ? 1 : 0;
  CheckRoads(bulk, 1 + 64 + 1, "out", "the bulk stream (start, 64 blocks, end)");
  Check(complete, "the device took the whole 4096-byte image");
  link.Close();
}

bool WriteText(const std::string& path, const std::string& text) {
  const int fd = ::open(path.c_str(), O_WRONLY);
  if (fd < 0) return false;
  const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  return ok;
}

void UnplugPhase(Roads& roads, const std::string& udc_file, const std::string& udc_name) {
  const std::vector<std::uint8_t> image = TestImage(8192, 5);
  Check(WriteFile("/tmp/unplug.bin", image), "8 KiB image written");
  {
    const std::unique_ptr<HidPlatform> platform = NewPlatform();
    HidDeviceLink link(*platform);
    Check(link.FindDevice() == 1, "FindDevice");
    roads.Take();
    const int flashed = link.DownloadEepromImage("/tmp/unplug.bin", kEepromDeviceAddress, kEepromSelector);
    Check(flashed == 0,
          "the flash fails when the device is unplugged mid-transfer: " + platform->LastErrorText());
    Check(platform->LastError() == HidError::kNotFound, "the error kind says the device is gone");
    Check(!link.IsFound(), "the failed control transfer closed the link");
    for (const std::string& line : roads.Take().lines) {
      if (line.rfind("unplugged", 0) == 0) std::printf("       server: %s\n", line.c_str());
    }
  }
  Check(WriteText(udc_file, udc_name), "plugged in again (UDC bound)");
  Check(WaitForHidrawNodes(2), "both hidraw nodes back");
  // A fresh platform: without udevd, libusb learns of devices when it starts.
  const std::unique_ptr<HidPlatform> platform = NewPlatform();
  HidDeviceLink link(*platform);
  std::uint8_t head[16] = {};
  Check(link.FindDevice() == 1 &&
            link.ReadEeprom(kEepromDeviceAddress, kEepromSelector, 0, head, sizeof head) == 1,
        "the EEPROM's first bytes read after replugging");
  Check(head[0] == static_cast<std::uint8_t>(~image[0]) &&
            std::memcmp(head + 1, image.data() + 1, sizeof head - 1) == 0,
        "byte 0 stays inverted: the partial image will not pass as valid");
}

// Against a device that answers no GET_REPORT and reads no interrupt OUT.
void TimeoutPhase(Roads& roads) {
  const std::unique_ptr<HidPlatform> platform = NewPlatform();
  HidDeviceLink link(*platform);
  const int found = link.FindDevice();
  Check(found == 1, "FindDevice " + platform->LastErrorText());
  if (!link.IsFound()) return;
  roads.Take();
  const std::uint8_t select[4] = {0x04, kCmdSelect, kEepromSelector, kEepromDeviceAddress};
  auto start = std::chrono::steady_clock::now();
  const int written = link.WriteOutputReport(select, sizeof select);
  auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::steady_clock::now() - start).count();
  const std::string write_failure = link.LastFailure().Describe();
  Check(written == 0 && platform->LastError() == HidError::kTimedOut &&
            write_failure.find("timed out") != std::string::npos,
        "an interrupt write nobody reads times out after " + std::to_string(waited) +
            " ms: " + write_failure);
  Check(link.IsFound() && IsOpenHandle(link.WriteHandle()),
        "and leaves the link open, as a failed WriteFile does");

  std::uint8_t some[16] = {};
  start = std::chrono::steady_clock::now();
  const int read = link.ReadEeprom(kEepromDeviceAddress, kEepromSelector, 0, some, sizeof some);
  waited = std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now() - start).count();
  const std::string read_failure = link.LastFailure().Describe();
  Check(read == 0 && read_failure.find("timed out") != std::string::npos,
        "an unanswered GET_REPORT times out after " + std::to_string(waited) + " ms: " + read_failure);
  Check(!link.IsFound() && link.ReadHandle() == kInvalidHandle,
        "and closes the link, as a failed control transfer does");
  for (const std::string& line : roads.Take().lines) std::printf("       server: %s\n", line.c_str());
  Check(WaitForHidrawNodes(2), "the interface given back: both hidraw nodes there");
}

}  // namespace
}  // namespace veltrane::testing

int main(int argc, char** argv) {
  using namespace veltrane::testing;
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s usb|hidraw eeprom|bulk|unplug ROAD_LOG [UDC_FILE UDC_NAME]\n", argv[0]);
    return 2;
  }
  usb = std::strcmp(argv[1], "usb") == 0;
  const std::string phase = argv[2];
  std::printf("--- %s transport, %s\n", argv[1], phase.c_str());
  Roads roads(argv[3]);
  if (phase == "eeprom") EepromPhase(roads);
  else if (phase == "bulk") BulkPhase(roads);
  else if (phase == "unplug" && argc == 6) UnplugPhase(roads, argv[4], argv[5]);
  else if (phase == "timeouts") TimeoutPhase(roads);
  else Check(false, "unknown phase " + phase);
  std::printf("GUEST-TEST: %d failed\n", failures);
  return failures == 0 ? 0 : 1;
}
