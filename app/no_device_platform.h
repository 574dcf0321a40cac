// A platform with no HID devices at all: the program still starts when the
// system backend cannot be had, and every device operation reports that no
// device was found.
#pragma once

#include "device/platform/hid_platform.h"

namespace veltrane {

class NoDevicePlatform : public HidPlatform {
 public:
  std::vector<HidInterface> EnumerateInterfaces() override { return {}; }
  HidHandle Open(const std::string&, HidAccess) override { return kInvalidHandle; }
  void Close(HidHandle) override {}
  bool GetAttributes(HidHandle, HidAttributes*) override { return false; }
  bool GetCaps(HidHandle, HidCaps*) override { return false; }
  bool SetOutputReport(HidHandle, const std::uint8_t*, std::size_t) override { return false; }
  bool GetInputReport(HidHandle, std::uint8_t*, std::size_t) override { return false; }
  bool WriteReport(HidHandle, const std::uint8_t*, std::size_t) override { return false; }
  void Sleep(unsigned milliseconds) override;
  HidError LastError() const override { return HidError::kUnsupported; }
  std::string LastErrorText() const override { return "no HID backend on this system"; }
};

}  // namespace veltrane
