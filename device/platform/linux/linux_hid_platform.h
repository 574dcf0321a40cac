// The Linux backend: HID interfaces are hidraw nodes, listed through libudev
// (or, where udev is not there, by reading sysfs), moved with the hidraw
// ioctls.
//
// The link's "query handle" is opened with no access rights; Linux cannot
// open a node that way, so it is a pseudo-handle that remembers the path and
// answers attributes and capabilities from sysfs. A node this user may not
// open is thus still recognised as the DAC's, and only the read and write
// opens fail, with kAccessDenied.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "device/platform/hid_platform.h"
#include "device/platform/linux/unique_fd.h"

namespace veltrane {

class LinuxHidPlatform : public HidPlatform {
 public:
  // `sysfs_root` and `dev_root` are /sys and /dev on a real system; tests
  // point them at trees of their own, which also turns udev off (udev only
  // knows the real ones).
  explicit LinuxHidPlatform(std::string sysfs_root = "/sys", std::string dev_root = "/dev");
  ~LinuxHidPlatform() override = default;
  LinuxHidPlatform(const LinuxHidPlatform&) = delete;
  LinuxHidPlatform& operator=(const LinuxHidPlatform&) = delete;

  std::vector<HidInterface> EnumerateInterfaces() override;
  HidHandle Open(const std::string& path, HidAccess access) override;
  void Close(HidHandle handle) override;
  bool GetAttributes(HidHandle handle, HidAttributes* attributes) override;
  bool GetCaps(HidHandle handle, HidCaps* caps) override;
  bool SetOutputReport(HidHandle handle, const std::uint8_t* report, std::size_t length) override;
  bool GetInputReport(HidHandle handle, std::uint8_t* report, std::size_t length) override;
  // Reads away the interrupt IN reports the node's queue holds.
  void DiscardInputReports(HidHandle handle) override;
  bool WriteReport(HidHandle handle, const std::uint8_t* report, std::size_t length) override;
  void Sleep(unsigned milliseconds) override;
  HidError LastError() const override { return last_error_; }
  std::string LastErrorText() const override { return last_error_text_; }
  std::string AccessDeniedHint() const override;
  std::string TransportName() const override { return "hidraw"; }
  // A udev monitor where udev enumerates; polling the nodes otherwise.
  std::unique_ptr<ArrivalWatcher> CreateArrivalWatcher() override;

  // Whether enumeration goes through libudev (false: sysfs is read directly).
  bool UsesUdev() const { return use_udev_; }

 private:
  struct OpenNode {
    std::string path;
    std::string sysfs_device;  // <sysfs>/class/hidraw/hidrawN/device
    UniqueFd fd;               // not valid for the query pseudo-handle
  };

  const OpenNode* Lookup(HidHandle handle);
  std::string SysfsDeviceOf(const std::string& path) const;
  bool HasInterruptOut(const std::string& name) const;
  bool Fail(HidError error, const std::string& text);
  bool FailErrno(int error, const char* what);
  bool ReadDescriptor(const OpenNode& node, std::vector<std::uint8_t>* descriptor);
  std::vector<std::string> HidrawNamesFromSysfs() const;
  std::vector<std::string> HidrawNamesFromUdev() const;

  std::string sysfs_root_;
  std::string dev_root_;
  bool use_udev_ = false;
  std::map<HidHandle, OpenNode> nodes_;
  HidHandle next_handle_ = 0x1000;
  HidError last_error_ = HidError::kNone;
  std::string last_error_text_;
};

// A watcher of USB devices alone (not their hidraw nodes): a udev monitor
// where one can be had, else polling `platform`'s interface list.
std::unique_ptr<ArrivalWatcher> CreateUsbDeviceWatcher(HidPlatform& platform);

}  // namespace veltrane
