// The pure parts of the usbfs transport: naming an interface by where it is
// plugged in, reading the few descriptor fields the transport needs, and
// mapping libusb's error codes to the link's error kinds. No system calls.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/platform/hid_platform.h"

struct libusb_interface_descriptor;

namespace veltrane {

// Where an interface is: bus, the hub ports from the root down, the
// interface number. Stable across replugging into the same socket, unlike
// the device address.
struct UsbLocation {
  std::uint8_t bus = 0;
  std::vector<std::uint8_t> ports;
  std::uint8_t interface_number = 0;

  bool operator==(const UsbLocation&) const = default;
  // Bus, then ports, then interface: the order interfaces are listed in.
  bool operator<(const UsbLocation& other) const;
};

// "usb:1-1.4:1" (bus 1, port 4 of the hub on root port 1, interface 1).
std::string UsbInterfacePath(const UsbLocation& location);
std::optional<UsbLocation> ParseUsbInterfacePath(const std::string& path);
// The kernel's name for the device in sysfs ("1-1.4").
std::string UsbSysfsDeviceName(const UsbLocation& location);

// The interrupt OUT endpoint's address of an interface's descriptor, 0 when
// it has none (output reports then go as SET_REPORT on endpoint 0).
std::uint8_t InterruptOutEndpoint(const libusb_interface_descriptor& descriptor);
// The report descriptor's length from the HID class descriptor (0x21) among
// the interface's extra descriptor bytes; 0 when there is none.
std::uint16_t ReportDescriptorLength(const std::uint8_t* extra, int length);

// libusb's error code as the link's error kind.
HidError UsbErrorKind(int libusb_error);

// What to do when this user may not open the USB device node `usb_node`:
// names the udev rule that is missing, knowing whether the interface's
// hidraw node (`hidraw_node`, empty when there is none) opens for this user.
std::string UsbAccessHint(const std::string& usb_node, const std::string& hidraw_node,
                          bool hidraw_opens);

}  // namespace veltrane
