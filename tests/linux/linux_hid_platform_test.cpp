// The hidraw backend against a sysfs and /dev tree of the test's own, and
// against this machine's real one.
#include "device/platform/linux/linux_hid_platform.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "device/hid_device_link.h"
#include "tests/linux/report_descriptors.h"

namespace veltrane {
namespace {

namespace fs = std::filesystem;

void WriteFile(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

std::string AsText(const std::vector<std::uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

// sysfs and /dev as the kernel lays them out, in a temporary directory.
class FakeSystem : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/veltrane-hidraw-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    fs::create_directories(root_ / "dev");
  }
  void TearDown() override { fs::remove_all(root_); }

  // A hidraw node on a hid device with `hid_id` and `descriptor`; the /dev
  // node is a plain file (the opens succeed, the hidraw ioctls do not).
  void AddNode(int number, const std::string& hid_id, const std::vector<std::uint8_t>& descriptor) {
    const std::string name = "hidraw" + std::to_string(number);
    const fs::path device = root_ / "devices/pci0000:00/usb1/1-1/1-1:1.0" / ("hid" + name);
    WriteFile(device / "uevent", "DRIVER=hid-generic\nHID_ID=" + hid_id + "\n");
    WriteFile(device / "report_descriptor", AsText(descriptor));
    fs::create_directories(root_ / "class/hidraw" / name);
    fs::create_directory_symlink(device, root_ / "class/hidraw" / name / "device");
    WriteFile(root_ / "dev" / name, "");
  }

  std::string Dev(const std::string& name) { return (root_ / "dev" / name).string(); }

  fs::path root_;
};

TEST_F(FakeSystem, ListsHidrawNodesByNumber) {
  AddNode(10, "0003:00003917:00000004", testing::kDacDescriptor);
  AddNode(2, "0003:0000046D:0000C52B", testing::kKeyboardDescriptor);
  AddNode(0, "0003:00003917:00000004", testing::kConsumerControlDescriptor);
  fs::create_directories(root_ / "class/hidraw/hidrawx");  // not a node name
  LinuxHidPlatform platform(root_.string(), (root_ / "dev").string());
  EXPECT_FALSE(platform.UsesUdev());
  const auto interfaces = platform.EnumerateInterfaces();
  ASSERT_EQ(interfaces.size(), 3u);
  EXPECT_EQ(interfaces[0].path, Dev("hidraw0"));
  EXPECT_EQ(interfaces[1].path, Dev("hidraw2"));
  EXPECT_EQ(interfaces[2].path, Dev("hidraw10"));
}

TEST_F(FakeSystem, EachNodeCarriesItsUsbDevicesSerialNumberAndPortPath) {
  AddNode(0, "0003:00003917:00000004", testing::kDacDescriptor);
  const fs::path usb_device = root_ / "devices/pci0000:00/usb1/1-1";
  WriteFile(usb_device / "idVendor", "3917\n");
  WriteFile(usb_device / "serial", "DAC-0042\n");
  // A hid device with no USB parent (uhid) has neither.
  const fs::path virtual_hid = root_ / "devices/virtual/misc/uhid/0003:3917:0004.0002/hidraw1";
  fs::create_directories(virtual_hid);
  fs::create_directories(root_ / "class/hidraw/hidraw1");
  fs::create_directory_symlink(virtual_hid, root_ / "class/hidraw/hidraw1/device");
  LinuxHidPlatform platform(root_.string(), (root_ / "dev").string());
  const auto interfaces = platform.EnumerateInterfaces();
  ASSERT_EQ(interfaces.size(), 2u);
  EXPECT_EQ(interfaces[0].serial_number, "DAC-0042");
  EXPECT_EQ(interfaces[0].location, "1-1");
  EXPECT_EQ(interfaces[1].serial_number, "");
  EXPECT_EQ(interfaces[1].location, "");
}

TEST_F(FakeSystem, QueryHandleAnswersFromSysfsWithoutOpeningTheNode) {
  AddNode(3, "0003:00003917:00000010", testing::kCompositeDescriptor);
  fs::remove(root_ / "dev/hidraw3");  // the node itself is never touched
  LinuxHidPlatform platform(root_.string(), (root_ / "dev").string());
  const HidHandle query = platform.Open(Dev("hidraw3"), HidAccess::kNone);
  ASSERT_TRUE(IsOpenHandle(query));
  HidAttributes attributes;
  ASSERT_TRUE(platform.GetAttributes(query, &attributes));
  EXPECT_EQ(attributes.vendor_id, 0x3917);
  EXPECT_EQ(attributes.product_id, 0x0010);
  HidCaps caps;
  ASSERT_TRUE(platform.GetCaps(query, &caps));
  EXPECT_EQ(caps.usage_page, 0xFF00);
  EXPECT_EQ(caps.output_report_byte_length, 64);
  // A query handle moves no reports.
  std::uint8_t report[64] = {};
  EXPECT_FALSE(platform.WriteReport(query, report, sizeof report));
  platform.Close(query);
  EXPECT_FALSE(platform.GetAttributes(query, &attributes));

  EXPECT_EQ(platform.Open(Dev("hidraw4"), HidAccess::kNone), kInvalidHandle);
  EXPECT_EQ(platform.LastError(), HidError::kNotFound);
  EXPECT_EQ(platform.Open(Dev("mouse0"), HidAccess::kNone), kInvalidHandle);
}

TEST_F(FakeSystem, MalformedDescriptorOrIdentityRefusesTheCandidate) {
  AddNode(0, "0003:00003917:00000004", {0x06, 0x00, 0xFF, 0xA1, 0x01});  // never closed
  AddNode(1, "garbage", testing::kDacDescriptor);
  LinuxHidPlatform platform(root_.string(), (root_ / "dev").string());
  HidDeviceLink link(platform);
  EXPECT_EQ(link.FindDevice(), 0);
  const HidHandle query = platform.Open(Dev("hidraw1"), HidAccess::kNone);
  HidAttributes attributes;
  EXPECT_FALSE(platform.GetAttributes(query, &attributes));
  EXPECT_FALSE(platform.LastErrorText().empty());
  platform.Close(query);
}

TEST_F(FakeSystem, LinkFindsOursAndOpensThreeIndependentHandles) {
  AddNode(0, "0003:00003917:00000004", testing::kConsumerControlDescriptor);
  AddNode(1, "0003:00003917:00000004", testing::kDacDescriptor);
  LinuxHidPlatform platform(root_.string(), (root_ / "dev").string());
  HidDeviceLink link(platform);
  ASSERT_EQ(link.FindDevice(), 1);
  EXPECT_EQ(link.DevicePath(), Dev("hidraw1"));
  EXPECT_EQ(link.Capabilities().output_report_byte_length, 65);
  EXPECT_TRUE(IsOpenHandle(link.QueryHandle()));
  EXPECT_NE(link.ReadHandle(), link.WriteHandle());

  // An interrupt write is one write() of the whole report, report-ID byte first.
  const std::uint8_t payload[3] = {0x03, 0x7E, 0x01};
  EXPECT_EQ(link.WriteOutputReport(payload, sizeof payload), 1);
  std::ifstream written(Dev("hidraw1"), std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(written), {}};
  ASSERT_EQ(bytes.size(), 65u);
  EXPECT_EQ(bytes.substr(0, 4), std::string("\x00\x03\x7E\x01", 4));

  // A plain file takes no hidraw ioctl: the text says what the kernel lacks,
  // and the failed control transfer closes the link.
  std::uint8_t report[65] = {};
  EXPECT_FALSE(platform.GetInputReport(link.ReadHandle(), report, sizeof report));
  EXPECT_EQ(platform.LastError(), HidError::kUnsupported);
  EXPECT_NE(platform.LastErrorText().find("5.11"), std::string::npos);
  EXPECT_EQ(link.SendOutputReport(payload, sizeof payload), 0);
  EXPECT_EQ(platform.LastError(), HidError::kUnsupported);
  EXPECT_FALSE(link.IsFound());
  EXPECT_EQ(link.WriteHandle(), kInvalidHandle);
}

// Reports the node's queue holds are old by the time a request goes out: the
// read handle is emptied before it, and a handle that reads nothing is left alone.
TEST_F(FakeSystem, OldInputReportsInTheQueueAreDiscarded) {
  AddNode(0, "0003:00003917:00000004", testing::kDacDescriptor);
  fs::remove(Dev("hidraw0"));
  ASSERT_EQ(mkfifo(Dev("hidraw0").c_str(), 0600), 0);
  // The test holds the other end (O_RDWR: the open does not wait for a reader).
  const int device = ::open(Dev("hidraw0").c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(device, 0);
  LinuxHidPlatform platform(root_.string(), (root_ / "dev").string());
  const HidHandle read = platform.Open(Dev("hidraw0"), HidAccess::kRead);
  ASSERT_TRUE(IsOpenHandle(read));
  const std::uint8_t old_answers[2 * 65] = {0x00, 0x0A, 0x05};
  ASSERT_EQ(::write(device, old_answers, sizeof old_answers), static_cast<ssize_t>(sizeof old_answers));
  platform.DiscardInputReports(read);
  std::uint8_t left[65];
  EXPECT_EQ(::read(device, left, sizeof left), -1);
  EXPECT_EQ(errno, EAGAIN);
  platform.DiscardInputReports(read);  // nothing queued: returns at once
  platform.DiscardInputReports(HidHandle{0x4321});  // not a handle of this platform
  platform.Close(read);
  ::close(device);
}

// 0 when the link, as this user, saw our node and was refused both opens.
int AccessDeniedCheck(const fs::path& root) {
  LinuxHidPlatform platform(root.string(), (root / "dev").string());
  HidDeviceLink link(platform);
  if (link.FindDevice() != 0) return 1;
  if (!link.AccessDenied()) return 2;
  if (platform.LastError() != HidError::kAccessDenied) return 3;
  if (platform.LastErrorText().find(std::strerror(EACCES)) == std::string::npos) return 4;
  if (platform.AccessDeniedHint().find("70-veltrane.rules") == std::string::npos) return 5;
  return 0;
}

TEST_F(FakeSystem, UnopenableNodeOfOursIsAccessDenied) {
  AddNode(0, "0003:00003917:00000004", testing::kDacDescriptor);
  ASSERT_EQ(chmod(root_.c_str(), 0755), 0);
  ASSERT_EQ(chmod(Dev("hidraw0").c_str(), 0), 0);
  if (geteuid() != 0) {
    EXPECT_EQ(AccessDeniedCheck(root_), 0);
    return;
  }
  // Root opens every node: the check runs in a child that is nobody.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(100);
    _exit(AccessDeniedCheck(root_));
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1 found, 2 not access denied, 3 wrong kind, 4 text, 5 hint";
}

// Two DACs of one product and different revisions, and one on no USB bus
// (uhid): every node takes its hardware ID from its own parent chain, never
// from the first device of that product.
TEST_F(FakeSystem, EachNodeCarriesItsOwnDevicesHardwareId) {
  struct Dac {
    const char* port;
    const char* revision;
  };
  for (const Dac& dac : {Dac{"1-1", "0102\n"}, Dac{"1-2", "0103\n"}}) {
    const fs::path usb_device = root_ / "devices/pci0000:00/usb1" / dac.port;
    WriteFile(usb_device / "idVendor", "3917\n");
    WriteFile(usb_device / "idProduct", "0004\n");
    WriteFile(usb_device / "bcdDevice", dac.revision);
    const std::string name = dac.port == std::string("1-1") ? "hidraw0" : "hidraw1";
    const fs::path hid = usb_device / (std::string(dac.port) + ":1.0/0003:3917:0004.000" + name.back());
    WriteFile(hid / "uevent", "HID_ID=0003:00003917:00000004\n");
    fs::create_directories(hid / "hidraw" / name);
    fs::create_directories(root_ / "class/hidraw" / name);
    fs::create_directory_symlink(hid, root_ / "class/hidraw" / name / "device");
  }
  const fs::path virtual_hid = root_ / "devices/virtual/misc/uhid/0003:3917:0004.0003";
  WriteFile(virtual_hid / "uevent", "HID_ID=0003:00003917:00000004\n");
  fs::create_directories(root_ / "class/hidraw/hidraw2");
  fs::create_directory_symlink(virtual_hid, root_ / "class/hidraw/hidraw2/device");

  LinuxHidPlatform platform(root_.string(), (root_ / "dev").string());
  std::vector<std::string> ids;
  for (const HidInterface& iface : platform.EnumerateInterfaces()) ids.push_back(iface.hardware_id);
  const std::vector<std::string> expected = {"USB\\VID_3917&PID_0004&REV_0102",
                                             "USB\\VID_3917&PID_0004&REV_0103",
                                             "HID\\VID_3917&PID_0004"};
  EXPECT_EQ(ids, expected);
}

// This machine, as it is: no DAC is connected here. Both transports.
TEST(SystemHidPlatformTest, FindDeviceWithoutADacReturnsZeroCleanly) {
  for (const HidTransport transport : {HidTransport::kUsb, HidTransport::kHidraw}) {
    SCOPED_TRACE(transport == HidTransport::kUsb ? "usb" : "hidraw");
    std::unique_ptr<HidPlatform> platform = CreateSystemHidPlatform(transport);
    ASSERT_NE(platform, nullptr);
    EXPECT_EQ(platform->TransportName(), transport == HidTransport::kUsb ? "usb" : "hidraw");
    for (const HidInterface& iface : platform->EnumerateInterfaces()) {
      if (iface.hardware_id.find("VID_3917") != std::string::npos) {
        GTEST_SKIP() << "a DAC is connected: " << iface.hardware_id;
      }
    }
    HidDeviceLink link(*platform);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(link.FindDevice(), 0);
    // Discovery opens nothing that is not ours; a generous bound catches a
    // hang, not a slow machine.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_FALSE(link.AccessDenied());
    EXPECT_EQ(link.GetHardwareId(), "");
    EXPECT_FALSE(IsOpenHandle(link.QueryHandle()));
  }
}

}  // namespace
}  // namespace veltrane
