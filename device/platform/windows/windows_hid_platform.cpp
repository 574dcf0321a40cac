#include "device/platform/windows/windows_hid_platform.h"

#include <cstddef>
#include <cstring>
#include <cwchar>
#include <new>

#include "device/platform/windows/device_change_watcher.h"
#include "device/platform/windows/hardware_id_property.h"
#include "device/platform/windows/windows_error.h"
#include "device/platform/windows/windows_handles.h"
#include "device/platform/file_names.h"
#include "device/platform/precise_sleep.h"
#include "device/platform/windows/windows_headers.h"

namespace veltrane {

// Windows has one transport: HidD_SetOutputReport is a control transfer and
// WriteFile an interrupt one already, so the choice is ignored.
std::unique_ptr<HidPlatform> CreateSystemHidPlatform(HidTransport /*transport*/) {
  return std::make_unique<windows::WindowsHidPlatform>();
}

namespace windows {
namespace {

// cbSize of every SetupAPI record is the size of the structure as this build
// lays it out: 28/28/5 on 32-bit Windows, 32/32/8 on 64-bit. A fixed 32-bit
// value makes every call fail with ERROR_INVALID_USER_BUFFER on 64-bit.
SP_DEVICE_INTERFACE_DATA NewInterfaceData() {
  SP_DEVICE_INTERFACE_DATA data{};
  data.cbSize = sizeof(SP_DEVICE_INTERFACE_DATA);
  return data;
}

SP_DEVINFO_DATA NewDeviceInfoData() {
  SP_DEVINFO_DATA data{};
  data.cbSize = sizeof(SP_DEVINFO_DATA);
  return data;
}

constexpr std::size_t kDevicePathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);

// The interface detail (its device path) of one listed interface; an entry
// with detail_available false when it cannot be had.
HidInterface InterfaceDetail(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data,
                             SP_DEVINFO_DATA* device) {
  HidInterface unavailable;
  unavailable.detail_available = false;
  DWORD required = 0;
  ::SetupDiGetDeviceInterfaceDetailA(set, data, nullptr, 0, &required, nullptr);
  // No size, or one too small to hold even the fixed part and a terminator:
  // the candidate is not accepted.
  if (required <= kDevicePathOffset) return unavailable;

  std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[required]());
  if (!block) return unavailable;
  auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(block.get());
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
  DWORD returned = 0;
  if (!::SetupDiGetDeviceInterfaceDetailA(set, data, detail, required, &returned, device)) {
    return unavailable;
  }
  // The path ends at its terminator, and never beyond the block.
  const std::size_t room = required - kDevicePathOffset;
  const void* end = std::memchr(detail->DevicePath, 0, room);
  const std::size_t length =
      end ? static_cast<std::size_t>(static_cast<const char*>(end) - detail->DevicePath) : room;
  HidInterface found;
  found.path.assign(detail->DevicePath, length);
  return found;
}

std::string DeviceId(DEVINST node) {
  char id[MAX_DEVICE_ID_LEN + 1] = {};
  if (::CM_Get_Device_IDA(node, id, sizeof id, 0) != CR_SUCCESS) return {};
  return id;
}

// The USB device a HID interface belongs to: the nearest ancestor whose
// instance ID is a USB device's, not one of its interfaces (&MI_).
bool UsbDeviceOf(DEVINST hid, DEVINST* usb) {
  DEVINST node = hid;
  for (int depth = 0; depth < 4; ++depth) {
    DEVINST parent = 0;
    if (::CM_Get_Parent(&parent, node, 0) != CR_SUCCESS) return false;
    const std::string id = DeviceId(parent);
    if (id.rfind("USB\\", 0) == 0 && id.find("&MI_") == std::string::npos) {
      *usb = parent;
      return true;
    }
    node = parent;
  }
  return false;
}

// The USB device's location as the system words it ("Port_#0002.Hub_#0003").
std::string UsbLocation(DEVINST hid) {
  DEVINST usb = 0;
  if (!UsbDeviceOf(hid, &usb)) return {};
  char text[256] = {};
  ULONG size = sizeof text - 1;
  if (::CM_Get_DevNode_Registry_PropertyA(usb, CM_DRP_LOCATION_INFORMATION, nullptr, text, &size,
                                          0) != CR_SUCCESS) {
    return {};
  }
  return text;
}

// The first hardware ID of a device node the interface list did not hand us
// (its parents), through the configuration manager.
bool DevNodeHardwareId(DEVINST node, std::string* first) {
  const PropertyCall call = [node](std::uint8_t* buffer, std::uint32_t buffer_size,
                                   std::uint32_t* required_size) {
    ULONG length = buffer_size;
    const CONFIGRET result =
        ::CM_Get_DevNode_Registry_PropertyA(node, CM_DRP_HARDWAREID, nullptr, buffer, &length, 0);
    *required_size = length;
    if (result == CR_SUCCESS) return PropertyCallResult{true, 0};
    return PropertyCallResult{
        false, result == CR_BUFFER_SMALL ? static_cast<std::uint32_t>(ERROR_INSUFFICIENT_BUFFER)
                                         : static_cast<std::uint32_t>(ERROR_INVALID_DATA)};
  };
  return ReadFirstHardwareId(call, first);
}

// The hardware ID of the device the interface's own node belongs to: the
// node's property through SetupAPI, its parents' through the configuration
// manager.
std::string InterfaceHardwareIdOf(HDEVINFO set, SP_DEVINFO_DATA* device) {
  DeviceNodeCalls calls;
  calls.hardware_id = [set, device](std::uint32_t node, std::string* first) {
    if (node != device->DevInst) return DevNodeHardwareId(node, first);
    const PropertyCall call = [set, device](std::uint8_t* buffer, std::uint32_t buffer_size,
                                            std::uint32_t* required_size) {
      DWORD type = 0;
      DWORD required = *required_size;
      const BOOL ok = ::SetupDiGetDeviceRegistryPropertyA(set, device, SPDRP_HARDWAREID, &type,
                                                          buffer, buffer_size, &required);
      PropertyCallResult result{ok != FALSE, ok ? 0u : static_cast<std::uint32_t>(::GetLastError())};
      *required_size = required;
      return result;
    };
    return ReadFirstHardwareId(call, first);
  };
  calls.parent = [](std::uint32_t node, std::uint32_t* parent) {
    DEVINST found = 0;
    if (::CM_Get_Parent(&found, node, 0) != CR_SUCCESS) return false;
    *parent = found;
    return true;
  };
  return InterfaceHardwareId(device->DevInst, calls);
}

// The USB serial-number string through a handle with no access rights, which
// every user may open.
std::string SerialNumberOf(const std::string& path) {
  UniqueHandle device(::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
  if (!device.IsValid()) return {};
  // The USB string descriptor holds at most 126 UTF-16 units.
  wchar_t serial[128] = {};
  if (!::HidD_GetSerialNumberString(device.Get(), serial, sizeof serial - sizeof(wchar_t))) {
    return {};
  }
  return Utf8Of(serial, std::wcslen(serial));
}

struct OpenMode {
  DWORD access;
  DWORD flags;
};

OpenMode ModeFor(HidAccess access) {
  switch (access) {
    case HidAccess::kRead:
      // Opened for overlapped I/O; it serves HidD_GetInputReport only.
      return {GENERIC_READ, FILE_FLAG_OVERLAPPED};
    case HidAccess::kWrite:
      return {GENERIC_WRITE, 0};
    case HidAccess::kNone:
    default:
      return {0, 0};
  }
}

}  // namespace

// One device handle and, for a read handle, the event of its overlapped
// record (manual reset, initially signalled), closed together with it.
class WindowsHidPlatform::OpenDevice {
 public:
  OpenDevice(UniqueHandle device, UniqueHandle event)
      : device_(std::move(device)), event_(std::move(event)) {
    overlapped_.hEvent = event_.Get();
    overlapped_.Offset = 0;
    overlapped_.OffsetHigh = 0;
  }
  HANDLE Device() const { return device_.Get(); }

 private:
  UniqueHandle device_;
  UniqueHandle event_;
  OVERLAPPED overlapped_{};
};

WindowsHidPlatform::WindowsHidPlatform() = default;
WindowsHidPlatform::~WindowsHidPlatform() = default;

bool WindowsHidPlatform::NoteSystemError() {
  const DWORD code = ::GetLastError();
  last_error_ = MapSystemError(code);
  last_error_text_ = SystemErrorText(code);
  return false;
}

void WindowsHidPlatform::NoteSuccess() {
  last_error_ = HidError::kNone;
  last_error_text_.clear();
}

void* WindowsHidPlatform::OwnedHandle(HidHandle handle) {
  const auto it = handles_.find(handle);
  if (it != handles_.end()) return it->second->Device();
  // Null, closed or someone else's: never handed to the system.
  ::SetLastError(ERROR_INVALID_HANDLE);
  NoteSystemError();
  return nullptr;
}

std::vector<HidInterface> WindowsHidPlatform::EnumerateInterfaces() {
  std::vector<HidInterface> interfaces;
  GUID hid_guid;
  ::HidD_GetHidGuid(&hid_guid);
  DeviceInfoList set(
      ::SetupDiGetClassDevsA(&hid_guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
  if (!set.IsValid()) {
    NoteSystemError();
    return interfaces;
  }
  SP_DEVICE_INTERFACE_DATA data = NewInterfaceData();
  for (DWORD index = 0;
       ::SetupDiEnumDeviceInterfaces(set.Get(), nullptr, &hid_guid, index, &data) == TRUE;
       ++index) {
    SP_DEVINFO_DATA device = NewDeviceInfoData();
    HidInterface iface = InterfaceDetail(set.Get(), &data, &device);
    if (iface.detail_available) {
      iface.location = UsbLocation(device.DevInst);
      iface.serial_number = SerialNumberOf(iface.path);
      iface.hardware_id = InterfaceHardwareIdOf(set.Get(), &device);
    }
    interfaces.push_back(std::move(iface));
  }
  NoteSuccess();
  return interfaces;
}

HidHandle WindowsHidPlatform::Open(const std::string& path, HidAccess access) {
  const OpenMode mode = ModeFor(access);
  UniqueHandle device(::CreateFileA(path.c_str(), mode.access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, mode.flags, nullptr));
  if (!device.IsValid()) {
    NoteSystemError();
    return kInvalidHandle;
  }
  UniqueHandle event;
  if (access == HidAccess::kRead) {
    event.Reset(::CreateEventA(nullptr, TRUE, TRUE, nullptr));
  }
  const HidHandle handle = reinterpret_cast<HidHandle>(device.Get());
  handles_[handle] = std::make_unique<OpenDevice>(std::move(device), std::move(event));
  NoteSuccess();
  return handle;
}

void WindowsHidPlatform::Close(HidHandle handle) {
  // Only handles this platform opened are closed; the owner does the rest.
  handles_.erase(handle);
}

bool WindowsHidPlatform::GetAttributes(HidHandle handle, HidAttributes* attributes) {
  HANDLE device = OwnedHandle(handle);
  if (device == nullptr) return false;
  HIDD_ATTRIBUTES native{};
  native.Size = sizeof(HIDD_ATTRIBUTES);
  if (!::HidD_GetAttributes(device, &native)) return NoteSystemError();
  attributes->vendor_id = native.VendorID;
  attributes->product_id = native.ProductID;
  attributes->version = native.VersionNumber;
  NoteSuccess();
  return true;
}

bool WindowsHidPlatform::GetCaps(HidHandle handle, HidCaps* caps) {
  HANDLE device = OwnedHandle(handle);
  if (device == nullptr) return false;
  PHIDP_PREPARSED_DATA raw = nullptr;
  if (!::HidD_GetPreparsedData(device, &raw) || raw == nullptr) return NoteSystemError();
  const PreparsedData preparsed(raw);
  HIDP_CAPS native{};
  if (::HidP_GetCaps(preparsed.get(), &native) != HIDP_STATUS_SUCCESS) {
    ::SetLastError(ERROR_INVALID_DATA);
    return NoteSystemError();
  }
  caps->usage_page = native.UsagePage;
  caps->usage = native.Usage;
  caps->input_report_byte_length = native.InputReportByteLength;
  caps->output_report_byte_length = native.OutputReportByteLength;
  NoteSuccess();
  return true;
}

bool WindowsHidPlatform::SetOutputReport(HidHandle handle, const std::uint8_t* report,
                                         std::size_t length) {
  HANDLE device = OwnedHandle(handle);
  if (device == nullptr) return false;
  // The call takes a non-const buffer but only reads it.
  if (!::HidD_SetOutputReport(device, const_cast<std::uint8_t*>(report),
                              static_cast<ULONG>(length))) {
    return NoteSystemError();
  }
  NoteSuccess();
  return true;
}

bool WindowsHidPlatform::GetInputReport(HidHandle handle, std::uint8_t* report,
                                        std::size_t length) {
  HANDLE device = OwnedHandle(handle);
  if (device == nullptr) return false;
  if (!::HidD_GetInputReport(device, report, static_cast<ULONG>(length))) {
    return NoteSystemError();
  }
  NoteSuccess();
  return true;
}

void WindowsHidPlatform::DiscardInputReports(HidHandle handle) {
  const auto it = handles_.find(handle);
  if (it == handles_.end()) return;
  // HidD_GetInputReport asks the device, but reports the system buffered for
  // the handle are old once a new request goes out; a failure changes nothing
  // the answer check would not catch.
  ::HidD_FlushQueue(it->second->Device());
}

bool WindowsHidPlatform::WriteReport(HidHandle handle, const std::uint8_t* report,
                                     std::size_t length) {
  HANDLE device = OwnedHandle(handle);
  if (device == nullptr) return false;
  // One synchronous write of the whole report; the write handle is not
  // overlapped, so no overlapped record is passed.
  DWORD written = 0;
  if (!::WriteFile(device, report, static_cast<DWORD>(length), &written, nullptr)) {
    return NoteSystemError();
  }
  NoteSuccess();
  return true;
}

void WindowsHidPlatform::Sleep(unsigned milliseconds) { PreciseSleep(milliseconds); }

std::unique_ptr<ArrivalWatcher> WindowsHidPlatform::CreateArrivalWatcher() {
  if (std::unique_ptr<ArrivalWatcher> notified = CreateDeviceChangeWatcher()) return notified;
  return CreatePollingWatcher(*this);
}

}  // namespace windows

}  // namespace veltrane
