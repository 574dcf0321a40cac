// The Windows backend of HidPlatform: SetupAPI lists the HID interfaces and
// each one's own device's hardware ID (up its parent chain), hid.dll reads attributes and capabilities and
// moves the reports, CreateFileA/WriteFile/CloseHandle handle the rest.
//
// The handles it gives out are the system's own HANDLE values (so an invalid
// one is INVALID_HANDLE_VALUE, as kInvalidHandle is). It owns every handle it
// opened until Close, and closes whatever is left when it is destroyed.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "device/platform/hid_platform.h"

namespace veltrane::windows {

class WindowsHidPlatform : public HidPlatform {
 public:
  WindowsHidPlatform();
  ~WindowsHidPlatform() override;
  WindowsHidPlatform(const WindowsHidPlatform&) = delete;
  WindowsHidPlatform& operator=(const WindowsHidPlatform&) = delete;

  std::vector<HidInterface> EnumerateInterfaces() override;
  HidHandle Open(const std::string& path, HidAccess access) override;
  void Close(HidHandle handle) override;
  bool GetAttributes(HidHandle handle, HidAttributes* attributes) override;
  bool GetCaps(HidHandle handle, HidCaps* caps) override;
  bool SetOutputReport(HidHandle handle, const std::uint8_t* report, std::size_t length) override;
  bool GetInputReport(HidHandle handle, std::uint8_t* report, std::size_t length) override;
  // HidD_FlushQueue: the input buffer of the read handle is emptied.
  void DiscardInputReports(HidHandle handle) override;
  bool WriteReport(HidHandle handle, const std::uint8_t* report, std::size_t length) override;
  void Sleep(unsigned milliseconds) override;
  HidError LastError() const override { return last_error_; }
  std::string LastErrorText() const override { return last_error_text_; }
  // The configuration manager's device-change notifications; polling where
  // the system has none.
  std::unique_ptr<ArrivalWatcher> CreateArrivalWatcher() override;

  // Device handles this platform holds open (events not counted).
  int OpenHandleCount() const { return static_cast<int>(handles_.size()); }

 private:
  class OpenDevice;  // one open device handle with its event, if any

  // Takes GetLastError() now; returns false for the caller's convenience.
  bool NoteSystemError();
  void NoteSuccess();
  // The system handle behind `handle`; null, with the error noted, when this
  // platform did not open it.
  void* OwnedHandle(HidHandle handle);

  std::map<HidHandle, std::unique_ptr<OpenDevice>> handles_;
  HidError last_error_ = HidError::kNone;
  std::string last_error_text_;
};

}  // namespace veltrane::windows
