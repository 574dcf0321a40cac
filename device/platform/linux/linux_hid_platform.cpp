#include "device/platform/linux/linux_hid_platform.h"

#include "device/platform/precise_sleep.h"
#if VELTRANE_HAVE_UDEV
#include "device/platform/linux/udev_arrival_watcher.h"
#endif

#include <dirent.h>
#include <fcntl.h>
#include <linux/hidraw.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>

#include "device/platform/linux/hardware_id.h"
#include "device/platform/linux/report_descriptor_parser.h"

#if VELTRANE_HAVE_UDEV
#include <libudev.h>
#endif

// Control transfers of output and input reports came with Linux 5.11.
#ifndef HIDIOCSOUTPUT
#define HIDIOCSOUTPUT(len) _IOC(_IOC_WRITE | _IOC_READ, 'H', 0x0B, len)
#endif
#ifndef HIDIOCGINPUT
#define HIDIOCGINPUT(len) _IOC(_IOC_WRITE | _IOC_READ, 'H', 0x0A, len)
#endif

namespace veltrane {
namespace {

constexpr const char* kHidrawPrefix = "hidraw";

// The backend's fixed texts.
constexpr const char* kTextNoSuchNode = "no such hidraw node";
constexpr const char* kTextNoIdentity = "the node's HID identity cannot be read from sysfs";
constexpr const char* kTextBadDescriptor = "the node's report descriptor is unreadable or malformed";
constexpr const char* kTextInvalidHandle = "invalid handle";
constexpr const char* kTextQueryHandle = "the query handle moves no reports";
constexpr const char* kTextShortWrite = "the kernel took only part of the report";
constexpr const char* kTextOldKernel =
    " - this kernel has no %s (hidraw control transfers need Linux 5.11 or later)";
constexpr const char* kTextAccessHint =
    "This user may not open the DAC's hidraw node. Install dist/linux/70-veltrane.rules "
    "into /etc/udev/rules.d (or run `cmake --install` as root), run "
    "`udevadm control --reload && udevadm trigger`, then unplug and replug the DAC.";

bool ReadWholeFile(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  text->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// The N of "hidrawN", or -1 for any other name.
long HidrawNumber(const std::string& name) {
  const std::size_t prefix = std::strlen(kHidrawPrefix);
  if (name.compare(0, prefix, kHidrawPrefix) != 0 || name.size() == prefix ||
      name.size() > prefix + 9) {
    return -1;
  }
  long number = 0;
  for (std::size_t i = prefix; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return -1;
    number = number * 10 + (name[i] - '0');
  }
  return number;
}

void SortByHidrawNumber(std::vector<std::string>* names) {
  std::sort(names->begin(), names->end(), [](const std::string& a, const std::string& b) {
    return HidrawNumber(a) < HidrawNumber(b);
  });
}

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};
using UniqueDir = std::unique_ptr<DIR, DirCloser>;

std::vector<std::string> ListDirectory(const std::string& path) {
  std::vector<std::string> names;
  UniqueDir dir(opendir(path.c_str()));
  if (!dir) return names;
  while (const dirent* entry = readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

bool ReadHexFile(const std::string& path, std::uint16_t* value) {
  std::string text;
  return ReadWholeFile(path, &text) && ParseHexAttribute(text, value);
}

// The nearest directory above `device` (a resolved sysfs path) that is a USB
// device, or empty: USB devices, and only they, carry idVendor.
std::string UsbAncestor(std::string device) {
  for (;;) {
    const std::size_t slash = device.rfind('/');
    if (slash == std::string::npos || slash == 0) return {};
    device.resize(slash);
    if (FileExists(device + "/idVendor")) return device;
  }
}

// What a node's own parent chain tells of its device: the USB device's
// serial-number string, its place on the bus (sysfs names a USB device by its
// port path, "1-2.3") and its hardware ID. A node with no USB parent (uhid,
// Bluetooth) has no serial number or place, and the hid device's hardware ID.
void ReadUsbIdentity(const std::string& sysfs_device, HidInterface* iface) {
  char resolved[PATH_MAX];
  if (::realpath(sysfs_device.c_str(), resolved) == nullptr) return;
  const std::string usb = UsbAncestor(resolved);
  if (usb.empty()) {
    std::string uevent;
    HidAttributes attributes;
    if (ReadWholeFile(std::string(resolved) + "/uevent", &uevent) && ParseHidId(uevent, &attributes)) {
      iface->hardware_id = HidHardwareId(attributes.vendor_id, attributes.product_id);
    }
    return;
  }
  std::uint16_t vendor = 0, product = 0, revision = 0;
  if (ReadHexFile(usb + "/idVendor", &vendor) && ReadHexFile(usb + "/idProduct", &product) &&
      ReadHexFile(usb + "/bcdDevice", &revision)) {
    iface->hardware_id = UsbHardwareId(vendor, product, revision);
  }
  iface->location = usb.substr(usb.rfind('/') + 1);
  std::string serial;
  if (ReadWholeFile(usb + "/serial", &serial)) {
    while (!serial.empty() && (serial.back() == '\n' || serial.back() == '\r')) serial.pop_back();
    iface->serial_number = serial;
  }
}

#if VELTRANE_HAVE_UDEV
struct UdevUnref {
  void operator()(udev* u) const { udev_unref(u); }
  void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
  void operator()(udev_device* d) const { udev_device_unref(d); }
};
using UniqueUdev = std::unique_ptr<udev, UdevUnref>;
using UniqueUdevEnumerate = std::unique_ptr<udev_enumerate, UdevUnref>;
using UniqueUdevDevice = std::unique_ptr<udev_device, UdevUnref>;

// Calls `visit` with every device of `subsystem` (and `devtype`, when given)
// in udev's order.
template <typename Visit>
bool ForEachUdevDevice(const char* subsystem, const char* devtype, Visit visit) {
  UniqueUdev context(udev_new());
  if (!context) return false;
  UniqueUdevEnumerate enumerate(udev_enumerate_new(context.get()));
  if (!enumerate) return false;
  udev_enumerate_add_match_subsystem(enumerate.get(), subsystem);
  if (devtype != nullptr) udev_enumerate_add_match_property(enumerate.get(), "DEVTYPE", devtype);
  if (udev_enumerate_scan_devices(enumerate.get()) < 0) return false;
  udev_list_entry* entry = nullptr;
  udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get())) {
    UniqueUdevDevice device(
        udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
    if (device) visit(device.get());
  }
  return true;
}
#endif

}  // namespace

LinuxHidPlatform::LinuxHidPlatform(std::string sysfs_root, std::string dev_root)
    : sysfs_root_(std::move(sysfs_root)), dev_root_(std::move(dev_root)) {
#if VELTRANE_HAVE_UDEV
  if (sysfs_root_ == "/sys" && dev_root_ == "/dev") {
    UniqueUdev probe(udev_new());
    use_udev_ = probe != nullptr;
  }
#endif
}

bool LinuxHidPlatform::Fail(HidError error, const std::string& text) {
  last_error_ = error;
  last_error_text_ = text;
  return false;
}

bool LinuxHidPlatform::FailErrno(int error, const char* what) {
  HidError kind = HidError::kOther;
  if (error == EACCES || error == EPERM) kind = HidError::kAccessDenied;
  else if (error == ENOENT || error == ENODEV || error == ENXIO) kind = HidError::kNotFound;
  return Fail(kind, std::string(what) + ": " + std::strerror(error));
}

std::vector<std::string> LinuxHidPlatform::HidrawNamesFromSysfs() const {
  std::vector<std::string> names;
  for (const std::string& name : ListDirectory(sysfs_root_ + "/class/hidraw")) {
    if (HidrawNumber(name) >= 0) names.push_back(name);
  }
  return names;
}

std::vector<std::string> LinuxHidPlatform::HidrawNamesFromUdev() const {
  std::vector<std::string> names;
#if VELTRANE_HAVE_UDEV
  ForEachUdevDevice("hidraw", nullptr, [&](udev_device* device) {
    const char* name = udev_device_get_sysname(device);
    if (name != nullptr && HidrawNumber(name) >= 0) names.emplace_back(name);
  });
#endif
  return names;
}

std::vector<HidInterface> LinuxHidPlatform::EnumerateInterfaces() {
  std::vector<std::string> names = use_udev_ ? HidrawNamesFromUdev() : HidrawNamesFromSysfs();
  // Stable order whatever the source lists: hidraw2 before hidraw10.
  SortByHidrawNumber(&names);
  std::vector<HidInterface> interfaces;
  interfaces.reserve(names.size());
  for (const std::string& name : names) {
    HidInterface iface;
    iface.path = dev_root_ + "/" + name;
    ReadUsbIdentity(sysfs_root_ + "/class/hidraw/" + name + "/device", &iface);
    iface.interrupt_out = HasInterruptOut(name);
    iface.interrupt_out_known = true;
    interfaces.push_back(std::move(iface));
  }
  return interfaces;
}

// The hid device of a USB HID interface sits in the interface's sysfs
// directory, beside the interface's endpoints (ep_XX/direction, ep_XX/type).
bool LinuxHidPlatform::HasInterruptOut(const std::string& name) const {
  char resolved[PATH_MAX];
  const std::string device = sysfs_root_ + "/class/hidraw/" + name + "/device";
  if (::realpath(device.c_str(), resolved) == nullptr) return false;
  std::string interface_dir = resolved;
  const std::size_t slash = interface_dir.rfind('/');
  if (slash == std::string::npos) return false;
  interface_dir.resize(slash);
  for (const std::string& entry : ListDirectory(interface_dir)) {
    if (entry.rfind("ep_", 0) != 0) continue;
    std::string direction, type;
    if (ReadWholeFile(interface_dir + "/" + entry + "/direction", &direction) &&
        ReadWholeFile(interface_dir + "/" + entry + "/type", &type) &&
        direction.rfind("out", 0) == 0 && type.rfind("Interrupt", 0) == 0) {
      return true;
    }
  }
  return false;
}

std::string LinuxHidPlatform::SysfsDeviceOf(const std::string& path) const {
  const std::size_t slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (HidrawNumber(name) < 0) return {};
  return sysfs_root_ + "/class/hidraw/" + name + "/device";
}

HidHandle LinuxHidPlatform::Open(const std::string& path, HidAccess access) {
  OpenNode node;
  node.path = path;
  node.sysfs_device = SysfsDeviceOf(path);
  if (node.sysfs_device.empty() || !FileExists(node.sysfs_device)) {
    Fail(HidError::kNotFound, std::string(kTextNoSuchNode) + ": " + path);
    return kInvalidHandle;
  }
  if (access != HidAccess::kNone) {
    // Two independent descriptors, one per direction, as the link keeps them.
    const int flags = (access == HidAccess::kRead ? O_RDONLY : O_WRONLY) | O_CLOEXEC;
    node.fd = UniqueFd(::open(path.c_str(), flags));
    if (!node.fd.Valid()) {
      FailErrno(errno, path.c_str());
      return kInvalidHandle;
    }
  }
  const HidHandle handle = next_handle_++;
  nodes_.emplace(handle, std::move(node));
  last_error_ = HidError::kNone;
  last_error_text_.clear();
  return handle;
}

void LinuxHidPlatform::Close(HidHandle handle) { nodes_.erase(handle); }

const LinuxHidPlatform::OpenNode* LinuxHidPlatform::Lookup(HidHandle handle) {
  const auto it = nodes_.find(handle);
  if (it == nodes_.end()) {
    Fail(HidError::kOther, kTextInvalidHandle);
    return nullptr;
  }
  return &it->second;
}

bool LinuxHidPlatform::GetAttributes(HidHandle handle, HidAttributes* attributes) {
  const OpenNode* node = Lookup(handle);
  if (node == nullptr) return false;
  if (node->fd.Valid()) {
    hidraw_devinfo info{};
    if (::ioctl(node->fd.Get(), HIDIOCGRAWINFO, &info) < 0) {
      return FailErrno(errno, "HIDIOCGRAWINFO");
    }
    // The kernel declares the IDs as signed 16-bit fields.
    attributes->vendor_id = static_cast<std::uint16_t>(info.vendor);
    attributes->product_id = static_cast<std::uint16_t>(info.product);
    return true;
  }
  std::string uevent;
  if (!ReadWholeFile(node->sysfs_device + "/uevent", &uevent) ||
      !ParseHidId(uevent, attributes)) {
    return Fail(HidError::kNotFound, kTextNoIdentity);
  }
  return true;
}

bool LinuxHidPlatform::ReadDescriptor(const OpenNode& node,
                                      std::vector<std::uint8_t>* descriptor) {
  if (node.fd.Valid()) {
    int size = 0;
    if (::ioctl(node.fd.Get(), HIDIOCGRDESCSIZE, &size) < 0) {
      return FailErrno(errno, "HIDIOCGRDESCSIZE");
    }
    if (size <= 0 || size > HID_MAX_DESCRIPTOR_SIZE) return Fail(HidError::kOther, kTextBadDescriptor);
    hidraw_report_descriptor raw{};
    raw.size = static_cast<__u32>(size);
    if (::ioctl(node.fd.Get(), HIDIOCGRDESC, &raw) < 0) return FailErrno(errno, "HIDIOCGRDESC");
    descriptor->assign(raw.value, raw.value + size);
    return true;
  }
  std::string text;
  if (!ReadWholeFile(node.sysfs_device + "/report_descriptor", &text)) {
    return Fail(HidError::kNotFound, kTextBadDescriptor);
  }
  descriptor->assign(text.begin(), text.end());
  return true;
}

bool LinuxHidPlatform::GetCaps(HidHandle handle, HidCaps* caps) {
  const OpenNode* node = Lookup(handle);
  if (node == nullptr) return false;
  std::vector<std::uint8_t> descriptor;
  if (!ReadDescriptor(*node, &descriptor)) return false;
  ReportDescriptorParser parser;
  if (!parser.Parse(descriptor.data(), descriptor.size()) || !parser.Caps(caps)) {
    return Fail(HidError::kOther, kTextBadDescriptor);
  }
  return true;
}

// Buffers follow the Windows convention: byte 0 is the report ID, 0 for a
// device without IDs. The kernel sends an output report over the interrupt
// OUT endpoint whenever the device has one, whichever of HIDIOCSOUTPUT and
// write() is used; only a device without that endpoint gets a SET_REPORT
// control transfer.
bool LinuxHidPlatform::SetOutputReport(HidHandle handle, const std::uint8_t* report,
                                       std::size_t length) {
  const OpenNode* node = Lookup(handle);
  if (node == nullptr) return false;
  if (!node->fd.Valid()) return Fail(HidError::kOther, kTextQueryHandle);
  if (::ioctl(node->fd.Get(), HIDIOCSOUTPUT(length), report) < 0) {
    const int error = errno;
    if (error == EINVAL || error == ENOTTY) {
      char old_kernel[160];
      std::snprintf(old_kernel, sizeof old_kernel, kTextOldKernel, "HIDIOCSOUTPUT");
      return Fail(HidError::kUnsupported,
                  std::string("HIDIOCSOUTPUT: ") + std::strerror(error) + old_kernel);
    }
    return FailErrno(error, "HIDIOCSOUTPUT");
  }
  return true;
}

bool LinuxHidPlatform::GetInputReport(HidHandle handle, std::uint8_t* report, std::size_t length) {
  const OpenNode* node = Lookup(handle);
  if (node == nullptr) return false;
  if (!node->fd.Valid()) return Fail(HidError::kOther, kTextQueryHandle);
  const int received = ::ioctl(node->fd.Get(), HIDIOCGINPUT(length), report);
  if (received < 0) {
    const int error = errno;
    if (error == EINVAL || error == ENOTTY) {
      char old_kernel[160];
      std::snprintf(old_kernel, sizeof old_kernel, kTextOldKernel, "HIDIOCGINPUT");
      return Fail(HidError::kUnsupported,
                  std::string("HIDIOCGINPUT: ") + std::strerror(error) + old_kernel);
    }
    return FailErrno(error, "HIDIOCGINPUT");
  }
  // A short report leaves no stale bytes behind it.
  if (static_cast<std::size_t>(received) < length) {
    std::memset(report + received, 0, length - static_cast<std::size_t>(received));
  }
  return true;
}

// hidraw queues every interrupt IN report for each open descriptor (up to
// 64); HIDIOCGINPUT asks the device itself, but whatever waits in the queue
// is old by the time the next request goes out. A DAC that keeps sending
// cannot hold this loop: it reads at most twice the queue. A report longer
// than the buffer is cut, its rest dropped with it.
void LinuxHidPlatform::DiscardInputReports(HidHandle handle) {
  const auto it = nodes_.find(handle);
  if (it == nodes_.end() || !it->second.fd.Valid()) return;
  constexpr int kMostReports = 128;
  std::uint8_t report[4096];
  for (int i = 0; i < kMostReports; ++i) {
    pollfd ready{it->second.fd.Get(), POLLIN, 0};
    if (::poll(&ready, 1, 0) <= 0 || (ready.revents & POLLIN) == 0) return;
    if (::read(it->second.fd.Get(), report, sizeof report) <= 0 && errno != EINTR) return;
  }
}

bool LinuxHidPlatform::WriteReport(HidHandle handle, const std::uint8_t* report,
                                   std::size_t length) {
  const OpenNode* node = Lookup(handle);
  if (node == nullptr) return false;
  if (!node->fd.Valid()) return Fail(HidError::kOther, kTextQueryHandle);
  ssize_t written = 0;
  do {
    written = ::write(node->fd.Get(), report, length);
  } while (written < 0 && errno == EINTR);
  if (written < 0) return FailErrno(errno, "write");
  if (static_cast<std::size_t>(written) != length) return Fail(HidError::kOther, kTextShortWrite);
  return true;
}

void LinuxHidPlatform::Sleep(unsigned milliseconds) { PreciseSleep(milliseconds); }

std::string LinuxHidPlatform::AccessDeniedHint() const { return kTextAccessHint; }

std::unique_ptr<ArrivalWatcher> LinuxHidPlatform::CreateArrivalWatcher() {
#if VELTRANE_HAVE_UDEV
  if (use_udev_) {
    if (std::unique_ptr<ArrivalWatcher> monitor = CreateUdevArrivalWatcher()) return monitor;
  }
#endif
  return CreatePollingWatcher(*this);
}

std::unique_ptr<ArrivalWatcher> CreateUsbDeviceWatcher(HidPlatform& platform) {
#if VELTRANE_HAVE_UDEV
  if (std::unique_ptr<ArrivalWatcher> monitor = CreateUdevArrivalWatcher(false)) return monitor;
#endif
  return CreatePollingWatcher(platform);
}

}  // namespace veltrane
