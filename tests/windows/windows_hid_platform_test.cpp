// The Windows backend against the real system calls (run under wine in the
// cross build: no HID device is present there).
#include "device/platform/windows/windows_hid_platform.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "device/hid_device_link.h"
#include "device/platform/windows/windows_error.h"
#include "device/platform/windows/windows_headers.h"

namespace veltrane::windows {
namespace {

// Kernel handles this process holds. Where GetProcessHandleCount gives no
// answer (wine reports 0) the handle values are probed one by one.
long ProcessHandleCount() {
  DWORD count = 0;
  if (::GetProcessHandleCount(::GetCurrentProcess(), &count) && count > 0) {
    return static_cast<long>(count);
  }
  long probed = 0;
  for (std::uintptr_t value = 4; value < 0x2000; value += 4) {
    DWORD flags = 0;
    if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++probed;
  }
  return probed;
}

// A scratch file in the temporary folder, removed again afterwards.
class ScratchFile {
 public:
  ScratchFile() {
    char folder[MAX_PATH];
    char name[MAX_PATH];
    ::GetTempPathA(MAX_PATH, folder);
    ::GetTempFileNameA(folder, "vlt", 0, name);
    path_ = name;
  }
  ~ScratchFile() { ::DeleteFileA(path_.c_str()); }
  const std::string& Path() const { return path_; }
  long long Size() const {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExA(path_.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  }

 private:
  std::string path_;
};

TEST(WindowsErrorTest, MapsTheCodesCallersActOn) {
  EXPECT_EQ(MapSystemError(ERROR_SUCCESS), HidError::kNone);
  EXPECT_EQ(MapSystemError(ERROR_ACCESS_DENIED), HidError::kAccessDenied);
  EXPECT_EQ(MapSystemError(ERROR_FILE_NOT_FOUND), HidError::kNotFound);
  EXPECT_EQ(MapSystemError(ERROR_DEVICE_NOT_CONNECTED), HidError::kNotFound);
  EXPECT_EQ(MapSystemError(ERROR_INVALID_HANDLE), HidError::kOther);
}

TEST(WindowsErrorTest, TextIsTheSystemsSentenceWithoutLineBreak) {
  const std::string text = SystemErrorText(ERROR_ACCESS_DENIED);
  ASSERT_FALSE(text.empty());
  EXPECT_NE(text.back(), '\n');
  EXPECT_NE(text.back(), '\r');
  // A code the system has no text for still says something.
  EXPECT_FALSE(SystemErrorText(0x2FFFFFFF).empty());
}

bool DacPresent(WindowsHidPlatform& platform) {
  for (const HidInterface& entry : platform.EnumerateInterfaces()) {
    if (entry.hardware_id.find("VID_3917") != std::string::npos) return true;
  }
  return false;
}

// The watcher of arrivals (notifications, or polling where there are none)
// answers a look without waiting when nothing came or went, and releases
// everything it held.
TEST(WindowsHidPlatformTest, ArrivalWatcherAnswersAtOnceAndLeaksNothing) {
  WindowsHidPlatform platform;
  const long handles_before = ProcessHandleCount();
  {
    std::unique_ptr<ArrivalWatcher> watcher = platform.CreateArrivalWatcher();
    ASSERT_NE(watcher, nullptr);
    EXPECT_FALSE(watcher->WaitForChange(0));
  }
  EXPECT_EQ(ProcessHandleCount(), handles_before);
}

// Wine lists HID interfaces of its own (another vendor's): discovery opens
// them, reads their attributes, passes them over and closes every handle.
TEST(WindowsHidPlatformTest, DiscoveryWithoutOurDeviceFindsNothingAndLeaksNothing) {
  WindowsHidPlatform platform;
  if (DacPresent(platform)) GTEST_SKIP() << "a DAC of ours is connected";
  const long handles_before = ProcessHandleCount();
  {
    HidDeviceLink link(platform);
    EXPECT_EQ(link.FindDevice(), 0);
    EXPECT_FALSE(link.IsFound());
    EXPECT_FALSE(IsOpenHandle(link.QueryHandle()));
    EXPECT_FALSE(IsOpenHandle(link.ReadHandle()));
    EXPECT_FALSE(IsOpenHandle(link.WriteHandle()));
    EXPECT_EQ(platform.OpenHandleCount(), 0);
    EXPECT_EQ(link.GetHardwareId(), "");
    // A second round takes the same path again.
    EXPECT_EQ(link.FindDevice(), 0);
  }
  EXPECT_EQ(platform.OpenHandleCount(), 0);
  EXPECT_EQ(ProcessHandleCount(), handles_before);
}

TEST(WindowsHidPlatformTest, EveryListedInterfaceOpensForQueries) {
  WindowsHidPlatform platform;
  for (const HidInterface& entry : platform.EnumerateInterfaces()) {
    SCOPED_TRACE(entry.path);
    ASSERT_EQ(entry.detail_available, !entry.path.empty());
    if (!entry.detail_available) continue;
    const HidHandle query = platform.Open(entry.path, HidAccess::kNone);
    ASSERT_TRUE(IsOpenHandle(query)) << platform.LastErrorText();
    HidAttributes attributes;
    EXPECT_TRUE(platform.GetAttributes(query, &attributes)) << platform.LastErrorText();
    EXPECT_NE(attributes.vendor_id, 0);
    HidCaps caps;
    EXPECT_TRUE(platform.GetCaps(query, &caps)) << platform.LastErrorText();
    EXPECT_NE(caps.usage_page, 0);
    platform.Close(query);
  }
  EXPECT_EQ(platform.OpenHandleCount(), 0);
}

// Each listed interface carries one string of its own device's hardware IDs,
// read up its own node's parent chain without leaking a handle.
TEST(WindowsHidPlatformTest, EveryInterfaceCarriesTheFirstHardwareIdOfItsOwnDevice) {
  WindowsHidPlatform platform;
  const long handles_before = ProcessHandleCount();
  for (const HidInterface& entry : platform.EnumerateInterfaces()) {
    SCOPED_TRACE(entry.path);
    if (!entry.detail_available) continue;
    EXPECT_FALSE(entry.hardware_id.empty());
    EXPECT_EQ(entry.hardware_id.find('\0'), std::string::npos);
  }
  EXPECT_EQ(ProcessHandleCount(), handles_before);
}

TEST(WindowsHidPlatformTest, InvalidHandleIsTheSystemsOwn) {
  EXPECT_EQ(reinterpret_cast<HidHandle>(INVALID_HANDLE_VALUE), kInvalidHandle);
}

TEST(WindowsHidPlatformTest, MissingPathIsNotFoundWithTheSystemsText) {
  WindowsHidPlatform platform;
  ScratchFile scratch;
  const std::string missing = scratch.Path() + ".missing";
  EXPECT_EQ(platform.Open(missing, HidAccess::kNone), kInvalidHandle);
  EXPECT_EQ(platform.LastError(), HidError::kNotFound);
  EXPECT_FALSE(platform.LastErrorText().empty());
  EXPECT_EQ(platform.OpenHandleCount(), 0);
}

TEST(WindowsHidPlatformTest, ReadHandleComesWithItsEventAndBothCloseTogether) {
  WindowsHidPlatform platform;
  ScratchFile scratch;
  const long before = ProcessHandleCount();
  const HidHandle read = platform.Open(scratch.Path(), HidAccess::kRead);
  ASSERT_TRUE(IsOpenHandle(read));
  EXPECT_EQ(platform.OpenHandleCount(), 1);
  EXPECT_EQ(ProcessHandleCount(), before + 2);  // the file and its event
  platform.Close(read);
  EXPECT_EQ(platform.OpenHandleCount(), 0);
  EXPECT_EQ(ProcessHandleCount(), before);
}

TEST(WindowsHidPlatformTest, WriteReportIsOneSynchronousWriteOfTheWholeReport) {
  WindowsHidPlatform platform;
  ScratchFile scratch;
  const HidHandle write = platform.Open(scratch.Path(), HidAccess::kWrite);
  ASSERT_TRUE(IsOpenHandle(write));
  std::uint8_t report[65] = {0x00, 0x0c, 0x01};
  EXPECT_TRUE(platform.WriteReport(write, report, sizeof report));
  platform.Close(write);
  EXPECT_EQ(scratch.Size(), 65);
}

TEST(WindowsHidPlatformTest, HandlesItDidNotOpenAreRefused) {
  WindowsHidPlatform platform;
  std::uint8_t report[65] = {};
  HidAttributes attributes;
  HidCaps caps;
  for (HidHandle handle : {kNullHandle, kInvalidHandle, HidHandle{0x1234}}) {
    EXPECT_FALSE(platform.GetAttributes(handle, &attributes));
    EXPECT_FALSE(platform.GetCaps(handle, &caps));
    EXPECT_FALSE(platform.SetOutputReport(handle, report, sizeof report));
    EXPECT_FALSE(platform.GetInputReport(handle, report, sizeof report));
    EXPECT_FALSE(platform.WriteReport(handle, report, sizeof report));
    EXPECT_EQ(platform.LastError(), HidError::kOther);
    platform.DiscardInputReports(handle);  // not ours: never handed to the system
    platform.Close(handle);  // not ours: nothing happens
  }
}

TEST(WindowsHidPlatformTest, QueryHandleOfAFileHasNoHidAttributes) {
  WindowsHidPlatform platform;
  ScratchFile scratch;
  const HidHandle query = platform.Open(scratch.Path(), HidAccess::kNone);
  ASSERT_TRUE(IsOpenHandle(query));
  HidAttributes attributes;
  HidCaps caps;
  EXPECT_FALSE(platform.GetAttributes(query, &attributes));
  EXPECT_FALSE(platform.GetCaps(query, &caps));
  EXPECT_FALSE(platform.LastErrorText().empty());
  platform.Close(query);
  EXPECT_EQ(platform.OpenHandleCount(), 0);
}

}  // namespace
}  // namespace veltrane::windows
