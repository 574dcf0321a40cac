#include "device/platform/linux/hardware_id.h"

#include <cstdio>

namespace veltrane {
namespace {

bool HexDigit(char c, std::uint32_t* digit) {
  if (c >= '0' && c <= '9') *digit = static_cast<std::uint32_t>(c - '0');
  else if (c >= 'a' && c <= 'f') *digit = static_cast<std::uint32_t>(c - 'a' + 10);
  else if (c >= 'A' && c <= 'F') *digit = static_cast<std::uint32_t>(c - 'A' + 10);
  else return false;
  return true;
}

// Reads up to `max_digits` hexadecimal digits; at least one is needed.
bool ParseHex(std::string_view text, std::size_t max_digits, std::uint32_t* value) {
  if (text.empty() || text.size() > max_digits) return false;
  std::uint32_t result = 0;
  for (char c : text) {
    std::uint32_t digit = 0;
    if (!HexDigit(c, &digit)) return false;
    result = (result << 4) | digit;
  }
  *value = result;
  return true;
}

std::string_view TrimLineEnd(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.remove_suffix(1);
  }
  return text;
}

}  // namespace

std::string UsbHardwareId(std::uint16_t vendor_id, std::uint16_t product_id,
                          std::uint16_t bcd_device) {
  char id[48];
  std::snprintf(id, sizeof id, "USB\\VID_%04X&PID_%04X&REV_%04X", vendor_id, product_id,
                bcd_device);
  return id;
}

std::string HidHardwareId(std::uint16_t vendor_id, std::uint16_t product_id) {
  char id[32];
  std::snprintf(id, sizeof id, "HID\\VID_%04X&PID_%04X", vendor_id, product_id);
  return id;
}

bool ParseHexAttribute(std::string_view text, std::uint16_t* value) {
  std::uint32_t parsed = 0;
  if (!ParseHex(TrimLineEnd(text), 4, &parsed)) return false;
  *value = static_cast<std::uint16_t>(parsed);
  return true;
}

bool ParseHidId(std::string_view uevent, HidAttributes* attributes) {
  constexpr std::string_view kKey = "HID_ID=";
  std::size_t start = 0;
  while (start < uevent.size()) {
    std::size_t end = uevent.find('\n', start);
    if (end == std::string_view::npos) end = uevent.size();
    std::string_view line = TrimLineEnd(uevent.substr(start, end - start));
    start = end + 1;
    if (line.substr(0, kKey.size()) != kKey) continue;
    line.remove_prefix(kKey.size());
    // bus:vendor:product, each up to eight hexadecimal digits.
    const std::size_t first = line.find(':');
    const std::size_t second = first == std::string_view::npos ? first : line.find(':', first + 1);
    if (second == std::string_view::npos) return false;
    std::uint32_t bus = 0, vendor = 0, product = 0;
    if (!ParseHex(line.substr(0, first), 8, &bus) ||
        !ParseHex(line.substr(first + 1, second - first - 1), 8, &vendor) ||
        !ParseHex(line.substr(second + 1), 8, &product)) {
      return false;
    }
    attributes->vendor_id = static_cast<std::uint16_t>(vendor);
    attributes->product_id = static_cast<std::uint16_t>(product);
    return true;
  }
  return false;
}

}  // namespace veltrane
