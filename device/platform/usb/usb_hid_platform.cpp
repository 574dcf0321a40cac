#include "device/platform/usb/usb_hid_platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <libusb.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <memory>

#include "device/hid_device_link.h"
#include "device/platform/arrival_watcher.h"
#include "device/platform/linux/hardware_id.h"
#include "device/platform/linux/linux_hid_platform.h"
#include "device/platform/linux/report_descriptor_parser.h"

namespace veltrane {
namespace {

constexpr std::uint8_t kHidClass = 3;
constexpr std::uint8_t kGetReport = 0x01;
constexpr std::uint8_t kSetReport = 0x09;
constexpr std::uint8_t kGetDescriptor = 0x06;
constexpr std::uint8_t kInputReportType = 0x01;
constexpr std::uint8_t kOutputReportType = 0x02;
constexpr std::uint16_t kReportDescriptorValue = 0x2200;
constexpr std::uint8_t kStandardInterfaceIn = 0x81;  // device to host, standard, interface
constexpr std::uint8_t kClassInterfaceIn = 0xA1;     // device to host, class, interface
constexpr std::uint8_t kClassInterfaceOut = 0x21;    // host to device, class, interface
constexpr std::uint16_t kMaxReportDescriptor = 4096;

// The transport's fixed texts.
constexpr const char* kTextNoLibusb = "libusb could not start (is usbfs there?)";
constexpr const char* kTextNoSuchInterface = "no such USB HID interface";
constexpr const char* kTextInvalidHandle = "invalid handle";
constexpr const char* kTextQueryHandle = "the query handle moves no reports";
constexpr const char* kTextShortTransfer = "the device took or gave only part of the report";
constexpr const char* kTextHeldByDriver =
    "the interface's report descriptor cannot be read: a kernel driver other than HID holds it";
constexpr const char* kTextBadDescriptor = "the interface's report descriptor is malformed";
constexpr const char* kTextTimedOut = " (no answer within %u ms)";
constexpr const char* kTextUnplugged = " (the device was unplugged)";
constexpr int kGoneChecks = 20;
constexpr useconds_t kGoneCheckPauseUs = 10000;
constexpr const char* kTextNotVendorDefined =
    "the usbfs transport holds only the DAC's vendor-defined HID interface (usage page 0xFF00); "
    "this one stays with the kernel's HID driver";

std::vector<std::string> ListDirectory(const std::string& path) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(path.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad() && !bytes->empty();
}

struct DeviceListFree {
  void operator()(libusb_device** list) const { libusb_free_device_list(list, 1); }
};
using DeviceList = std::unique_ptr<libusb_device*, DeviceListFree>;

struct ConfigFree {
  void operator()(libusb_config_descriptor* config) const { libusb_free_config_descriptor(config); }
};
using ConfigDescriptor = std::unique_ptr<libusb_config_descriptor, ConfigFree>;

// Bus and ports of a device; false for a root hub (no ports) or an error.
bool DeviceLocation(libusb_device* device, UsbLocation* location) {
  std::uint8_t ports[8];
  const int count = libusb_get_port_numbers(device, ports, sizeof ports);
  if (count <= 0) return false;
  location->bus = libusb_get_bus_number(device);
  location->ports.assign(ports, ports + count);
  return true;
}

ConfigDescriptor ActiveConfig(libusb_device* device) {
  libusb_config_descriptor* config = nullptr;
  if (libusb_get_active_config_descriptor(device, &config) != LIBUSB_SUCCESS) return nullptr;
  return ConfigDescriptor(config);
}

// The first alternate setting of every HID interface of `config`.
template <typename Visit>
void ForEachHidInterface(const libusb_config_descriptor& config, Visit visit) {
  for (int i = 0; i < config.bNumInterfaces; ++i) {
    const libusb_interface& iface = config.interface[i];
    if (iface.num_altsetting < 1) continue;
    const libusb_interface_descriptor& setting = iface.altsetting[0];
    if (setting.bInterfaceClass == kHidClass) visit(setting);
  }
}

}  // namespace

UsbHidPlatform::UsbHidPlatform() {
  if (libusb_init(&context_) != LIBUSB_SUCCESS) context_ = nullptr;
}

UsbHidPlatform::~UsbHidPlatform() {
  // Handles left open give their interfaces back, drivers re-attached.
  for (auto& entry : claims_) {
    Claim& claim = entry.second;
    libusb_release_interface(claim.device, claim.interface_number);
    if (claim.driver_detached) libusb_attach_kernel_driver(claim.device, claim.interface_number);
    libusb_close(claim.device);
  }
  if (context_ != nullptr) libusb_exit(context_);
}

bool UsbHidPlatform::Fail(HidError error, const std::string& text) {
  const std::lock_guard<std::recursive_mutex> lock(mutex_);
  last_error_ = error;
  last_error_text_ = text;
  return false;
}

bool UsbHidPlatform::FailUsb(int code, const char* what) {
  std::string text = std::string(what) + ": " + libusb_strerror(code);
  if (code == LIBUSB_ERROR_TIMEOUT) {
    char timeout[64];
    std::snprintf(timeout, sizeof timeout, kTextTimedOut,
                  std::strstr(what, "interrupt") ? kUsbInterruptTimeoutMs : kUsbControlTimeoutMs);
    text += timeout;
  }
  return Fail(UsbErrorKind(code), text);
}

// A transfer cut off by an unplug fails as an I/O error when the kernel has
// not yet taken the device down; once it has, usbfs answers "no device".
// Asking again for a moment tells an unplug from a transfer the device spoiled.
bool UsbHidPlatform::FailTransfer(libusb_device_handle* device, const Target& target, int code,
                                  const char* what) {
  if (code == LIBUSB_ERROR_IO) {
    const std::string sysfs_device = "/sys/bus/usb/devices/" + UsbSysfsDeviceName(target.location);
    for (int i = 0; i < kGoneChecks; ++i) {
      int configuration = 0;
      if (libusb_get_configuration(device, &configuration) == LIBUSB_ERROR_NO_DEVICE ||
          ::access(sysfs_device.c_str(), F_OK) != 0) {
        FailUsb(code, what);
        return Fail(HidError::kNotFound, LastErrorText() + kTextUnplugged);
      }
      usleep(kGoneCheckPauseUs);
    }
  }
  return FailUsb(code, what);
}

HidError UsbHidPlatform::LastError() const {
  const std::lock_guard<std::recursive_mutex> lock(mutex_);
  return last_error_;
}

std::string UsbHidPlatform::LastErrorText() const {
  const std::lock_guard<std::recursive_mutex> lock(mutex_);
  return last_error_text_;
}

std::string UsbHidPlatform::AccessDeniedHint() const {
  const std::lock_guard<std::recursive_mutex> lock(mutex_);
  return access_hint_;
}

std::unique_ptr<ArrivalWatcher> UsbHidPlatform::CreateArrivalWatcher() {
  return CreateUsbDeviceWatcher(*this);
}

std::vector<HidInterface> UsbHidPlatform::EnumerateInterfaces() {
  struct Found {
    UsbLocation location;
    bool interrupt_out;
    std::string hardware_id;  // the interface's own device's
  };
  std::vector<Found> found;
  libusb_device** raw = nullptr;
  if (context_ == nullptr || libusb_get_device_list(context_, &raw) < 0) return {};
  const DeviceList list(raw);
  for (libusb_device** d = raw; *d != nullptr; ++d) {
    UsbLocation location;
    if (!DeviceLocation(*d, &location)) continue;
    const ConfigDescriptor config = ActiveConfig(*d);
    libusb_device_descriptor device{};
    if (!config || libusb_get_device_descriptor(*d, &device) != LIBUSB_SUCCESS) continue;
    const std::string hardware_id = UsbHardwareId(device.idVendor, device.idProduct, device.bcdDevice);
    ForEachHidInterface(*config, [&](const libusb_interface_descriptor& setting) {
      location.interface_number = setting.bInterfaceNumber;
      found.push_back({location, InterruptOutEndpoint(setting) != 0, hardware_id});
    });
  }
  // libusb lists in no fixed order; bus and ports give one that holds.
  std::sort(found.begin(), found.end(),
            [](const Found& a, const Found& b) { return a.location < b.location; });
  std::vector<HidInterface> interfaces;
  for (const auto& [location, interrupt_out, hardware_id] : found) {
    HidInterface iface;
    iface.path = UsbInterfacePath(location);
    iface.hardware_id = hardware_id;
    // The port path is the place on the bus, as the hidraw transport names
    // it; the serial number comes from sysfs, which needs no open device.
    iface.location = UsbSysfsDeviceName(location);
    std::vector<std::uint8_t> serial;
    if (ReadWholeFile("/sys/bus/usb/devices/" + iface.location + "/serial", &serial)) {
      while (!serial.empty() && (serial.back() == '\n' || serial.back() == '\r')) serial.pop_back();
      iface.serial_number.assign(serial.begin(), serial.end());
    }
    iface.interrupt_out = interrupt_out;
    iface.interrupt_out_known = true;
    interfaces.push_back(std::move(iface));
  }
  return interfaces;
}

bool UsbHidPlatform::FindTarget(const std::string& path, Target* target) {
  const std::optional<UsbLocation> wanted = ParseUsbInterfacePath(path);
  libusb_device** raw = nullptr;
  if (context_ == nullptr) return Fail(HidError::kUnsupported, kTextNoLibusb);
  if (!wanted) return Fail(HidError::kNotFound, std::string(kTextNoSuchInterface) + ": " + path);
  const int count = libusb_get_device_list(context_, &raw);
  if (count < 0) return FailUsb(count, "listing USB devices");
  const DeviceList list(raw);
  for (libusb_device** d = raw; *d != nullptr; ++d) {
    UsbLocation location;
    if (!DeviceLocation(*d, &location)) continue;
    location.interface_number = wanted->interface_number;
    if (!(location == *wanted)) continue;
    libusb_device_descriptor device{};
    const ConfigDescriptor config = ActiveConfig(*d);
    if (libusb_get_device_descriptor(*d, &device) != LIBUSB_SUCCESS || !config) break;
    bool hid = false;
    ForEachHidInterface(*config, [&](const libusb_interface_descriptor& setting) {
      if (setting.bInterfaceNumber != wanted->interface_number) return;
      hid = true;
      target->interrupt_out = InterruptOutEndpoint(setting);
      target->report_descriptor_length = ReportDescriptorLength(setting.extra, setting.extra_length);
    });
    if (!hid) break;
    target->location = *wanted;
    target->interface_number = wanted->interface_number;
    target->configuration = config->bConfigurationValue;
    target->attributes.vendor_id = device.idVendor;
    target->attributes.product_id = device.idProduct;
    target->attributes.version = device.bcdDevice;
    char node[32];
    std::snprintf(node, sizeof node, "/dev/bus/usb/%03u/%03u", libusb_get_bus_number(*d),
                  libusb_get_device_address(*d));
    target->usb_node = node;
    return true;
  }
  return Fail(HidError::kNotFound, std::string(kTextNoSuchInterface) + ": " + path);
}

std::string UsbHidPlatform::InterfaceSysfsDir(const Target& target) const {
  return "/sys/bus/usb/devices/" + UsbSysfsDeviceName(target.location) + ":" +
         std::to_string(target.configuration) + "." + std::to_string(target.interface_number);
}

// The hidraw node the kernel's HID driver made for the interface; empty
// while nobody's driver is bound to it.
std::string UsbHidPlatform::HidrawNodeOf(const Target& target) const {
  const std::string dir = InterfaceSysfsDir(target);
  for (const std::string& hid : ListDirectory(dir)) {
    for (const std::string& node : ListDirectory(dir + "/" + hid + "/hidraw")) {
      if (node.rfind("hidraw", 0) == 0) return "/dev/" + node;
    }
  }
  return {};
}

bool UsbHidPlatform::TakeClaim(const std::string& path, const Target& target, bool may_detach) {
  const std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (auto it = claims_.find(path); it != claims_.end()) {
    ++it->second.users;
    return true;
  }
  libusb_device** raw = nullptr;
  const int count = libusb_get_device_list(context_, &raw);
  if (count < 0) return FailUsb(count, "listing USB devices");
  const DeviceList list(raw);
  libusb_device* device = nullptr;
  for (libusb_device** d = raw; *d != nullptr && device == nullptr; ++d) {
    UsbLocation location;
    if (!DeviceLocation(*d, &location)) continue;
    location.interface_number = target.interface_number;
    if (location == target.location) device = *d;
  }
  if (device == nullptr) return Fail(HidError::kNotFound, std::string(kTextNoSuchInterface) + ": " + path);

  Claim claim;
  claim.interface_number = target.interface_number;
  int result = libusb_open(device, &claim.device);
  if (result != LIBUSB_SUCCESS) {
    if (result == LIBUSB_ERROR_ACCESS) {
      // Say which rule is missing: the hidraw node may still open.
      const std::string hidraw = HidrawNodeOf(target);
      bool hidraw_opens = false;
      if (!hidraw.empty()) {
        const int fd = ::open(hidraw.c_str(), O_RDWR | O_CLOEXEC);
        hidraw_opens = fd >= 0;
        if (fd >= 0) ::close(fd);
      }
      access_hint_ = UsbAccessHint(target.usb_node, hidraw, hidraw_opens);
    }
    return FailUsb(result, ("opening " + target.usb_node).c_str());
  }
  const int iface = target.interface_number;
  if (libusb_kernel_driver_active(claim.device, iface) == 1) {
    if (!may_detach) {
      libusb_close(claim.device);
      return Fail(HidError::kOther, kTextHeldByDriver);
    }
    result = libusb_detach_kernel_driver(claim.device, iface);
    if (result != LIBUSB_SUCCESS) {
      libusb_close(claim.device);
      return FailUsb(result, "detaching the kernel's HID driver");
    }
    claim.driver_detached = true;
  }
  result = libusb_claim_interface(claim.device, iface);
  if (result != LIBUSB_SUCCESS) {
    if (claim.driver_detached) libusb_attach_kernel_driver(claim.device, iface);
    libusb_close(claim.device);
    return FailUsb(result, "claiming the interface");
  }
  claim.users = 1;
  claims_.emplace(path, claim);
  return true;
}

void UsbHidPlatform::DropClaim(const std::string& path, const Target& target) {
  const std::lock_guard<std::recursive_mutex> lock(mutex_);
  const auto it = claims_.find(path);
  if (it == claims_.end() || --it->second.users > 0) return;
  Claim& claim = it->second;
  // Both fail harmlessly when the device has gone.
  libusb_release_interface(claim.device, target.interface_number);
  if (claim.driver_detached) libusb_attach_kernel_driver(claim.device, target.interface_number);
  libusb_close(claim.device);
  claims_.erase(it);
}

HidHandle UsbHidPlatform::Open(const std::string& path, HidAccess access) {
  Handle handle;
  handle.path = path;
  if (!FindTarget(path, &handle.target)) return kInvalidHandle;
  if (access != HidAccess::kNone) {
    // Only the vendor-defined interface is ever taken from the kernel's
    // driver: the DAC's other HID interfaces (volume keys) keep working.
    bool held = false;
    {
      const std::lock_guard<std::recursive_mutex> lock(mutex_);
      held = claims_.count(path) != 0;
    }
    if (!held && !IsVendorDefined(path, handle.target)) return kInvalidHandle;
    if (!TakeClaim(path, handle.target, true)) return kInvalidHandle;
    handle.holds_claim = true;
  }
  const std::lock_guard<std::recursive_mutex> lock(mutex_);
  const HidHandle id = next_handle_++;
  handles_.emplace(id, std::move(handle));
  last_error_ = HidError::kNone;
  last_error_text_.clear();
  return id;
}

void UsbHidPlatform::Close(HidHandle id) {
  Handle handle;
  {
    const std::lock_guard<std::recursive_mutex> lock(mutex_);
    const auto it = handles_.find(id);
    if (it == handles_.end()) return;
    handle = std::move(it->second);
    handles_.erase(it);
  }
  if (handle.holds_claim) DropClaim(handle.path, handle.target);
}

bool UsbHidPlatform::GetAttributes(HidHandle id, HidAttributes* attributes) {
  std::unique_lock<std::recursive_mutex> lock(mutex_);
  const auto it = handles_.find(id);
  if (it == handles_.end()) {
    lock.unlock();
    return Fail(HidError::kOther, kTextInvalidHandle);
  }
  *attributes = it->second.target.attributes;
  return true;
}

bool UsbHidPlatform::ControlTransfer(libusb_device_handle* device, const Target& target,
                                     std::uint8_t request_type, std::uint8_t request,
                                     std::uint16_t value, std::uint8_t* data, std::size_t length,
                                     const char* what, int* transferred) {
  const int result = libusb_control_transfer(device, request_type, request, value,
                                             target.interface_number, data,
                                             static_cast<std::uint16_t>(length),
                                             kUsbControlTimeoutMs);
  if (result < 0) return FailTransfer(device, target, result, what);
  *transferred = result;
  return true;
}

bool UsbHidPlatform::ReadReportDescriptor(const std::string& path, const Target& target,
                                          std::vector<std::uint8_t>* descriptor) {
  const std::size_t length =
      target.report_descriptor_length != 0 ? target.report_descriptor_length : kMaxReportDescriptor;
  descriptor->assign(length, 0);
  libusb_device_handle* held = nullptr;
  {
    const std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (auto it = claims_.find(path); it != claims_.end()) held = it->second.device;
  }
  if (held == nullptr) {
    // Not held by this process: the kernel's HID driver read the descriptor
    // when it bound, and sysfs keeps it. Taking the interface from the driver
    // only to look would make the hidraw node of every HID interface of the
    // vendor blink out, the standard ones included.
    const std::string dir = InterfaceSysfsDir(target);
    for (const std::string& hid : ListDirectory(dir)) {
      if (ReadWholeFile(dir + "/" + hid + "/report_descriptor", descriptor)) return true;
    }
    // No driver bound: a brief claim takes nothing from anyone.
    if (!TakeClaim(path, target, false)) return false;
    int transferred = 0;
    bool ok = false;
    {
      const std::lock_guard<std::recursive_mutex> lock(mutex_);
      held = claims_.at(path).device;
    }
    ok = ControlTransfer(held, target, kStandardInterfaceIn, kGetDescriptor, kReportDescriptorValue,
                         descriptor->data(), descriptor->size(), "GET_DESCRIPTOR (report)",
                         &transferred);
    DropClaim(path, target);
    if (ok) descriptor->resize(static_cast<std::size_t>(transferred));
    return ok;
  }
  int transferred = 0;
  if (!ControlTransfer(held, target, kStandardInterfaceIn, kGetDescriptor, kReportDescriptorValue,
                       descriptor->data(), descriptor->size(), "GET_DESCRIPTOR (report)",
                       &transferred)) {
    return false;
  }
  descriptor->resize(static_cast<std::size_t>(transferred));
  return true;
}

bool UsbHidPlatform::IsVendorDefined(const std::string& path, const Target& target) {
  std::vector<std::uint8_t> descriptor;
  if (!ReadReportDescriptor(path, target, &descriptor)) return false;
  ReportDescriptorParser parser;
  HidCaps caps;
  if (!parser.Parse(descriptor.data(), descriptor.size()) || !parser.Caps(&caps)) {
    return Fail(HidError::kOther, kTextBadDescriptor);
  }
  return caps.usage_page == kVendorUsagePage ? true : Fail(HidError::kOther, kTextNotVendorDefined);
}

bool UsbHidPlatform::GetCaps(HidHandle id, HidCaps* caps) {
  Handle handle;
  {
    const std::lock_guard<std::recursive_mutex> lock(mutex_);
    const auto it = handles_.find(id);
    if (it != handles_.end()) handle = it->second;
  }
  if (handle.path.empty()) return Fail(HidError::kOther, kTextInvalidHandle);
  std::vector<std::uint8_t> descriptor;
  if (!ReadReportDescriptor(handle.path, handle.target, &descriptor)) return false;
  ReportDescriptorParser parser;
  if (!parser.Parse(descriptor.data(), descriptor.size()) || !parser.Caps(caps)) {
    return Fail(HidError::kOther, kTextBadDescriptor);
  }
  return true;
}

bool UsbHidPlatform::TransferTarget(HidHandle id, libusb_device_handle** device, Target* target) {
  std::unique_lock<std::recursive_mutex> lock(mutex_);
  const auto it = handles_.find(id);
  if (it == handles_.end()) {
    lock.unlock();
    return Fail(HidError::kOther, kTextInvalidHandle);
  }
  if (!it->second.holds_claim) {
    lock.unlock();
    return Fail(HidError::kOther, kTextQueryHandle);
  }
  *device = claims_.at(it->second.path).device;
  *target = it->second.target;
  return true;
}

// Buffers follow the Windows convention: byte 0 is the report ID. A device
// without IDs never sees that byte; with IDs, it leads the data.
bool UsbHidPlatform::SetOutputReport(HidHandle id, const std::uint8_t* report,
                                     std::size_t length) {
  libusb_device_handle* device = nullptr;
  Target target;
  if (length == 0) return Fail(HidError::kOther, kTextShortTransfer);
  if (!TransferTarget(id, &device, &target)) return false;
  const std::uint8_t report_id = report[0];
  std::vector<std::uint8_t> data(report + (report_id == 0 ? 1 : 0), report + length);
  int transferred = 0;
  if (!ControlTransfer(device, target, kClassInterfaceOut, kSetReport,
                       static_cast<std::uint16_t>((kOutputReportType << 8) | report_id), data.data(),
                       data.size(), "SET_REPORT (control, endpoint 0)", &transferred)) {
    return false;
  }
  if (static_cast<std::size_t>(transferred) != data.size()) {
    return Fail(HidError::kOther, kTextShortTransfer);
  }
  return true;
}

bool UsbHidPlatform::GetInputReport(HidHandle id, std::uint8_t* report, std::size_t length) {
  libusb_device_handle* device = nullptr;
  Target target;
  if (length == 0) return Fail(HidError::kOther, kTextShortTransfer);
  if (!TransferTarget(id, &device, &target)) return false;
  const std::uint8_t report_id = report[0];
  const std::size_t skip = report_id == 0 ? 1 : 0;
  std::memset(report + skip, 0, length - skip);
  int transferred = 0;
  return ControlTransfer(device, target, kClassInterfaceIn, kGetReport,
                         static_cast<std::uint16_t>((kInputReportType << 8) | report_id),
                         report + skip, length - skip, "GET_REPORT (control, endpoint 0)",
                         &transferred);
}

bool UsbHidPlatform::WriteReport(HidHandle id, const std::uint8_t* report, std::size_t length) {
  libusb_device_handle* device = nullptr;
  Target target;
  if (length == 0) return Fail(HidError::kOther, kTextShortTransfer);
  if (!TransferTarget(id, &device, &target)) return false;
  // Without an interrupt OUT endpoint the report goes as Windows sends it then.
  if (target.interrupt_out == 0) return SetOutputReport(id, report, length);
  const std::uint8_t report_id = report[0];
  std::vector<std::uint8_t> data(report + (report_id == 0 ? 1 : 0), report + length);
  int transferred = 0;
  const int result = libusb_interrupt_transfer(device, target.interrupt_out, data.data(),
                                               static_cast<int>(data.size()), &transferred,
                                               kUsbInterruptTimeoutMs);
  if (result != LIBUSB_SUCCESS) return FailTransfer(device, target, result, "interrupt OUT transfer");
  if (static_cast<std::size_t>(transferred) != data.size()) {
    return Fail(HidError::kOther, kTextShortTransfer);
  }
  return true;
}

void UsbHidPlatform::Sleep(unsigned milliseconds) {
  timespec remaining{static_cast<time_t>(milliseconds / 1000),
                     static_cast<long>(milliseconds % 1000) * 1000000L};
  // A signal cuts the pause short; sleep what is left of it.
  while (::nanosleep(&remaining, &remaining) < 0 && errno == EINTR) {
  }
}

}  // namespace veltrane
