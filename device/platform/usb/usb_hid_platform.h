// The usbfs transport: HID interfaces of USB devices reached through
// libusb-1.0, each report moved by the road the Windows HID stack gives it.
//
//   set output report   control SET_REPORT (Output) on endpoint 0
//   get input report    control GET_REPORT (Input) on endpoint 0
//   interrupt write     the interface's interrupt OUT endpoint, or SET_REPORT
//                       when it has none
//
// hidraw cannot keep that apart: the kernel sends every output report over
// the interrupt OUT endpoint when there is one.
//
// Read and write handles hold the interface: the kernel's HID driver is
// detached from that interface alone (never from the device's others) and
// the interface claimed; the claim is taken once per interface per process
// and counted, so a link's handles, and two links, share it. The last handle
// closed releases it and re-attaches the driver, which brings the hidraw node
// back. The query handle claims nothing: attributes come from the device
// descriptor, capabilities from the report descriptor (GET_DESCRIPTOR on the
// held interface, or the copy the kernel's HID driver read when it is bound).
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "device/platform/hid_platform.h"
#include "device/platform/usb/usb_descriptors.h"

struct libusb_context;
struct libusb_device;
struct libusb_device_handle;

namespace veltrane {

// Every transfer has a timeout; a device that does not answer fails the
// call with HidError::kTimedOut.
inline constexpr unsigned kUsbControlTimeoutMs = 2000;
inline constexpr unsigned kUsbInterruptTimeoutMs = 2000;

class UsbHidPlatform : public HidPlatform {
 public:
  UsbHidPlatform();
  ~UsbHidPlatform() override;
  UsbHidPlatform(const UsbHidPlatform&) = delete;
  UsbHidPlatform& operator=(const UsbHidPlatform&) = delete;

  // False when libusb could not start (no usbfs): every call then fails.
  bool Available() const { return context_ != nullptr; }

  std::vector<HidInterface> EnumerateInterfaces() override;
  HidHandle Open(const std::string& path, HidAccess access) override;
  void Close(HidHandle handle) override;
  bool GetAttributes(HidHandle handle, HidAttributes* attributes) override;
  bool GetCaps(HidHandle handle, HidCaps* caps) override;
  bool SetOutputReport(HidHandle handle, const std::uint8_t* report, std::size_t length) override;
  bool GetInputReport(HidHandle handle, std::uint8_t* report, std::size_t length) override;
  bool WriteReport(HidHandle handle, const std::uint8_t* report, std::size_t length) override;
  void Sleep(unsigned milliseconds) override;
  HidError LastError() const override;
  std::string LastErrorText() const override;
  std::string AccessDeniedHint() const override;
  std::string TransportName() const override { return "usb"; }
  // USB devices coming and going, never the hidraw nodes: a claim (ours or
  // another link's) removes the interface's node until it is released.
  std::unique_ptr<ArrivalWatcher> CreateArrivalWatcher() override;

 private:
  // What a handle knows of its interface, read when it was opened.
  struct Target {
    UsbLocation location;
    HidAttributes attributes;
    std::uint8_t interface_number = 0;
    std::uint8_t configuration = 1;
    std::uint8_t interrupt_out = 0;  // endpoint address, 0: none
    std::uint16_t report_descriptor_length = 0;
    std::string usb_node;            // /dev/bus/usb/BBB/DDD
  };
  // One held interface, shared by every read and write handle on it.
  struct Claim {
    libusb_device_handle* device = nullptr;
    int interface_number = 0;
    bool driver_detached = false;
    int users = 0;
  };
  struct Handle {
    std::string path;
    Target target;
    bool holds_claim = false;
  };

  bool FindTarget(const std::string& path, Target* target);
  // `may_detach` false: fail rather than take the interface from a driver.
  bool TakeClaim(const std::string& path, const Target& target, bool may_detach);
  void DropClaim(const std::string& path, const Target& target);
  // The claimed device and the handle's target, for a transfer.
  bool TransferTarget(HidHandle handle, libusb_device_handle** device, Target* target);
  // Whether the interface's top-level usage page is the vendor-defined one.
  bool IsVendorDefined(const std::string& path, const Target& target);
  bool ReadReportDescriptor(const std::string& path, const Target& target,
                            std::vector<std::uint8_t>* descriptor);
  bool ControlTransfer(libusb_device_handle* device, const Target& target,
                       std::uint8_t request_type, std::uint8_t request, std::uint16_t value, std::uint8_t* data,
                       std::size_t length, const char* what, int* transferred);
  std::string InterfaceSysfsDir(const Target& target) const;
  std::string HidrawNodeOf(const Target& target) const;
  bool Fail(HidError error, const std::string& text);
  bool FailUsb(int code, const char* what);
  bool FailTransfer(libusb_device_handle* device, const Target& target, int code, const char* what);

  libusb_context* context_ = nullptr;
  mutable std::recursive_mutex mutex_;  // guards everything below; held by no transfer
  std::map<std::string, Claim> claims_;
  std::map<HidHandle, Handle> handles_;
  HidHandle next_handle_ = 0x2000;
  HidError last_error_ = HidError::kNone;
  std::string last_error_text_;
  std::string access_hint_;
};

}  // namespace veltrane
