// Building the Windows-form hardware-ID strings from what sysfs and udev
// tell about a device, and reading the few sysfs texts the backend needs.
// Pure functions, testable anywhere.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "device/platform/hid_platform.h"

namespace veltrane {

// USB\VID_vvvv&PID_pppp&REV_rrrr, upper-case hexadecimal.
std::string UsbHardwareId(std::uint16_t vendor_id, std::uint16_t product_id,
                          std::uint16_t bcd_device);
// HID\VID_vvvv&PID_pppp, for a HID device with no USB parent (uhid, Bluetooth, I2C).
std::string HidHardwareId(std::uint16_t vendor_id, std::uint16_t product_id);

// A sysfs attribute such as idVendor ("3917\n"): four hexadecimal digits at most.
bool ParseHexAttribute(std::string_view text, std::uint16_t* value);

// The HID_ID line of a hid device's uevent ("HID_ID=0003:00003917:00000004"):
// bus, vendor and product; vendor and product keep their low 16 bits, as
// HIDIOCGRAWINFO's signed fields do once cast.
bool ParseHidId(std::string_view uevent, HidAttributes* attributes);

}  // namespace veltrane
