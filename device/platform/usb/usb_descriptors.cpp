#include "device/platform/usb/usb_descriptors.h"

#include <libusb.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace veltrane {
namespace {

constexpr const char* kPathPrefix = "usb:";
constexpr std::uint8_t kHidClassDescriptor = 0x21;
constexpr std::uint8_t kReportDescriptorType = 0x22;

// The transport's fixed texts for a refused USB device node.
constexpr const char* kTextUsbRule =
    "SUBSYSTEM==\"usb\", ENV{DEVTYPE}==\"usb_device\", ATTR{idVendor}==\"3917\", TAG+=\"uaccess\"";
constexpr const char* kTextInstallRules =
    "Install dist/linux/70-veltrane.rules into /etc/udev/rules.d (or run `cmake --install` as "
    "root), run `udevadm control --reload && udevadm trigger`, then unplug and replug the DAC.";
constexpr const char* kTextUsbRuleMissing =
    "This user may open the DAC's hidraw node %s but not its USB device node %s: the udev rule "
    "for the USB device node is missing (%s). ";
constexpr const char* kTextUsbRuleOnlyMissing =
    "This user may not open the DAC's USB device node %s: the udev rule for the USB device "
    "node is missing (%s). ";
constexpr const char* kTextBothRulesMissing =
    "This user may open neither the DAC's USB device node %s nor its hidraw node %s: both udev "
    "rules of vendor 3917 are missing, the one for the USB device node (%s) and the one for "
    "hidraw nodes (KERNEL==\"hidraw*\", ATTRS{idVendor}==\"3917\", TAG+=\"uaccess\"). ";
constexpr const char* kTextOrHidraw = " Until then `--transport hidraw` reaches the DAC through its hidraw node.";

// A decimal number from 1 to `max` spelled without sign or leading zero.
bool ParseSmall(const std::string& text, unsigned max, std::uint8_t* value) {
  if (text.empty() || text.size() > 3 || text[0] == '0') return false;
  unsigned number = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + static_cast<unsigned>(c - '0');
  }
  if (number > max) return false;
  *value = static_cast<std::uint8_t>(number);
  return true;
}

std::string Format(const char* format, const std::string& a, const std::string& b,
                   const std::string& c) {
  char text[1024];
  std::snprintf(text, sizeof text, format, a.c_str(), b.c_str(), c.c_str());
  return text;
}

}  // namespace

bool UsbLocation::operator<(const UsbLocation& other) const {
  if (bus != other.bus) return bus < other.bus;
  if (ports != other.ports) return ports < other.ports;
  return interface_number < other.interface_number;
}

std::string UsbSysfsDeviceName(const UsbLocation& location) {
  std::string name = std::to_string(location.bus) + "-";
  for (std::size_t i = 0; i < location.ports.size(); ++i) {
    if (i > 0) name += '.';
    name += std::to_string(location.ports[i]);
  }
  return name;
}

std::string UsbInterfacePath(const UsbLocation& location) {
  return kPathPrefix + UsbSysfsDeviceName(location) + ":" +
         std::to_string(location.interface_number);
}

std::optional<UsbLocation> ParseUsbInterfacePath(const std::string& path) {
  const std::string prefix = kPathPrefix;
  if (path.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
  const std::string rest = path.substr(prefix.size());
  const std::size_t dash = rest.find('-');
  const std::size_t colon = rest.rfind(':');
  if (dash == std::string::npos || colon == std::string::npos || colon < dash) return std::nullopt;
  UsbLocation location;
  if (!ParseSmall(rest.substr(0, dash), 255, &location.bus)) return std::nullopt;
  // Interface numbers start at 0; a lone "0" is the one leading zero allowed.
  const std::string interface_text = rest.substr(colon + 1);
  if (interface_text == "0") {
    location.interface_number = 0;
  } else if (!ParseSmall(interface_text, 255, &location.interface_number)) {
    return std::nullopt;
  }
  // USB allows at most seven tiers below the root hub.
  std::string ports = rest.substr(dash + 1, colon - dash - 1);
  std::size_t start = 0;
  for (;;) {
    const std::size_t dot = ports.find('.', start);
    std::uint8_t port = 0;
    if (!ParseSmall(ports.substr(start, dot - start), 255, &port)) return std::nullopt;
    location.ports.push_back(port);
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  if (location.ports.size() > 7) return std::nullopt;
  return location;
}

std::uint8_t InterruptOutEndpoint(const libusb_interface_descriptor& descriptor) {
  for (int i = 0; i < descriptor.bNumEndpoints; ++i) {
    const libusb_endpoint_descriptor& endpoint = descriptor.endpoint[i];
    const bool out = (endpoint.bEndpointAddress & LIBUSB_ENDPOINT_DIR_MASK) == LIBUSB_ENDPOINT_OUT;
    const bool interrupt =
        (endpoint.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) == LIBUSB_TRANSFER_TYPE_INTERRUPT;
    if (out && interrupt) return endpoint.bEndpointAddress;
  }
  return 0;
}

std::uint16_t ReportDescriptorLength(const std::uint8_t* extra, int length) {
  int at = 0;
  while (extra != nullptr && at + 2 <= length) {
    const int size = extra[at];
    if (size < 2 || at + size > length) return 0;  // malformed: trust nothing after it
    if (extra[at + 1] == kHidClassDescriptor && size >= 6) {
      // bcdHID, bCountryCode, bNumDescriptors, then (type, 16-bit length) each.
      const int count = extra[at + 5];
      for (int d = 0; d < count && 6 + d * 3 + 3 <= size; ++d) {
        const std::uint8_t* entry = extra + at + 6 + d * 3;
        if (entry[0] == kReportDescriptorType) {
          return static_cast<std::uint16_t>(entry[1] | (entry[2] << 8));
        }
      }
      return 0;
    }
    at += size;
  }
  return 0;
}

HidError UsbErrorKind(int libusb_error) {
  switch (libusb_error) {
    case LIBUSB_SUCCESS: return HidError::kNone;
    case LIBUSB_ERROR_ACCESS: return HidError::kAccessDenied;
    case LIBUSB_ERROR_NO_DEVICE:
    case LIBUSB_ERROR_NOT_FOUND: return HidError::kNotFound;
    case LIBUSB_ERROR_NOT_SUPPORTED: return HidError::kUnsupported;
    case LIBUSB_ERROR_TIMEOUT: return HidError::kTimedOut;
    default: return HidError::kOther;
  }
}

std::string UsbAccessHint(const std::string& usb_node, const std::string& hidraw_node,
                          bool hidraw_opens) {
  std::string hint;
  if (hidraw_node.empty()) {
    hint = Format(kTextUsbRuleOnlyMissing, usb_node, kTextUsbRule, "");
  } else if (hidraw_opens) {
    hint = Format(kTextUsbRuleMissing, hidraw_node, usb_node, kTextUsbRule);
  } else {
    hint = Format(kTextBothRulesMissing, usb_node, hidraw_node, kTextUsbRule);
  }
  hint += kTextInstallRules;
  if (hidraw_opens) hint += kTextOrHidraw;
  return hint;
}

}  // namespace veltrane
