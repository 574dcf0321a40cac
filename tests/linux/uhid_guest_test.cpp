// End to end through a real kernel: two uhid devices (a standard consumer
// control interface, then the DAC's vendor-defined one), the hidraw nodes the
// kernel makes for them, and the HID device link over the hidraw backend.
// Runs as the only program of a small virtual machine (scripts/uhid-vm-test)
// and prints one line "UHID-VM-TEST: PASS" or "UHID-VM-TEST: FAIL".
#include <dirent.h>
#include <time.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "device/hid_device_link.h"
#include "device/platform/linux/linux_hid_platform.h"
#include "tests/linux/report_descriptors.h"
#include "tests/linux/uhid_test_device.h"

namespace veltrane::testing {
namespace {

int failures = 0;

void Check(bool ok, const std::string& what) {
  std::printf("  %s %s\n", ok ? "ok  " : "FAIL", what.c_str());
  if (!ok) ++failures;
}

// The kernel adds uhid devices from a worker: wait for their nodes (guest only).
bool WaitForNodes(int count) {
  for (int i = 0; i < 200; ++i) {
    if (HidrawNodeCount() >= count) {
      // devtmpfs makes /dev/hidrawN right after sysfs; give it a moment.
      timespec pause{0, 50 * 1000 * 1000};
      nanosleep(&pause, nullptr);
      return true;
    }
    timespec pause{0, 50 * 1000 * 1000};
    nanosleep(&pause, nullptr);
  }
  return false;
}

void Run() {
  UhidTestDevice standard;
  UhidTestDevice dac;
  std::string error;
  if (!standard.Create("Veltrane test DAC keys", kVendorId, 4, kConsumerControlDescriptor, 2,
                       &error) ||
      !dac.Create("Veltrane test DAC", kVendorId, 4, kDacDescriptor, 65, &error)) {
    Check(false, "uhid devices created: " + error);
    return;
  }
  Check(WaitForNodes(2), "two hidraw nodes appeared");

  LinuxHidPlatform platform;
  const std::vector<HidInterface> interfaces = platform.EnumerateInterfaces();
  Check(interfaces.size() == 2, "two interfaces enumerated");
  for (const HidInterface& i : interfaces) std::printf("       %s\n", i.path.c_str());

  HidDeviceLink link(platform);
  Check(link.FindDevice() == 1, "FindDevice finds the DAC by its usage page");
  if (!link.IsFound()) {
    std::printf("       last error: %s\n", platform.LastErrorText().c_str());
    return;
  }
  Check(interfaces.size() == 2 && link.DevicePath() == interfaces[1].path,
        "the standard interface listed first was passed over");
  const HidCaps& caps = link.Capabilities();
  Check(caps.usage_page == 0xFF00 && caps.input_report_byte_length == 65 &&
            caps.output_report_byte_length == 65,
        "capabilities from sysfs: page ff00, 65-byte reports");

  // The ioctl answers on an opened node agree with the sysfs ones.
  HidAttributes attributes;
  HidCaps ioctl_caps;
  Check(platform.GetAttributes(link.ReadHandle(), &attributes) && attributes.vendor_id == 0x3917 &&
            attributes.product_id == 4,
        "HIDIOCGRAWINFO: 3917:0004");
  Check(platform.GetCaps(link.ReadHandle(), &ioctl_caps) && ioctl_caps.usage_page == 0xFF00 &&
            ioctl_caps.output_report_byte_length == 65,
        "HIDIOCGRDESC descriptor parsed alike");
  Check(link.GetHardwareId() == "HID\\VID_3917&PID_0004", "hardware ID " + link.GetHardwareId());

  Check(link.WriteFeedbackSettings(kEepromDeviceAddress, kEepromSelector, 0x1F, 0x3F, 0x0F) == 1,
        "WriteFeedbackSettings");
  std::uint8_t block[4] = {};
  Check(link.ReadFeedbackSettings(kEepromDeviceAddress, kEepromSelector, block, sizeof block) == 1,
        "ReadFeedbackSettings");
  Check(block[0] == 0x00 && block[1] == 0x1F && block[2] == 0x3F && block[3] == 0x0F,
        "feedback settings read back as written");

  std::vector<std::uint8_t> run(5000);
  for (std::size_t i = 0; i < run.size(); ++i) {
    run[i] = static_cast<std::uint8_t>((i * 37 + 11) ^ (i >> 8));
  }
  const std::uint16_t address = 0x0123;
  Check(link.WriteEeprom(kEepromDeviceAddress, kEepromSelector, address, run.data(),
                         static_cast<std::uint16_t>(run.size())) == 1,
        "WriteEeprom of 5000 bytes");
  std::vector<std::uint8_t> back(run.size());
  Check(link.ReadEeprom(kEepromDeviceAddress, kEepromSelector, address, back.data(),
                        static_cast<std::uint16_t>(back.size())) == 1,
        "ReadEeprom of 5000 bytes");
  Check(back == run, "EEPROM run read back byte-exactly");
  const std::vector<std::uint8_t> eeprom = dac.EepromCopy();
  Check(std::equal(run.begin(), run.end(), eeprom.begin() + address),
        "the device model holds exactly the bytes written");

  const int outputs_before = dac.OutputReports();
  const std::uint8_t select[4] = {0x04, kCmdSelect, kEepromSelector, kEepromDeviceAddress};
  Check(link.WriteOutputReport(select, sizeof select) != 0 &&
            dac.OutputReports() == outputs_before + 1,
        "interrupt write() arrives as one output report");

  dac.FailNextInputReport();
  std::uint8_t some[16] = {};
  Check(link.ReadEeprom(kEepromDeviceAddress, kEepromSelector, 0, some, sizeof some) == 0,
        "a refused get-input-report fails the read");
  Check(!link.IsFound() && link.ReadHandle() == kInvalidHandle &&
            link.WriteHandle() == kInvalidHandle,
        "and closes the link (" + platform.LastErrorText() + ")");
  Check(link.FindDevice() == 1 &&
            link.ReadEeprom(kEepromDeviceAddress, kEepromSelector, address, some, sizeof some) == 1 &&
            std::memcmp(some, run.data(), sizeof some) == 0,
        "the next discovery opens it again");

  std::printf("  device saw %d output reports, %d input reports, %d badly framed\n",
              dac.OutputReports(), dac.InputReports(), dac.BadlyFramedReports());
  Check(dac.BadlyFramedReports() == 0 && standard.OutputReports() == 0,
        "every report full length, report ID 0, to the vendor interface only");
}

}  // namespace
}  // namespace veltrane::testing

int main() {
  std::printf("uhid end-to-end test\n");
  veltrane::testing::Run();
  std::printf("UHID-VM-TEST: %s (%d failed)\n", veltrane::testing::failures == 0 ? "PASS" : "FAIL",
              veltrane::testing::failures);
  std::fflush(stdout);
  return veltrane::testing::failures == 0 ? 0 : 1;
}
