// ADDR and LEN of the eeprom commands, inside the 64 KiB address space.
#include "cli/cli_texts.h"
#include "cli/device_commands.h"
#include "device/number_parse.h"
#include "device/hid_device_link.h"

namespace veltrane::cli {

bool ParseEepromRange(const std::string& address_text, const std::string& length_text,
                      std::uint32_t* address, std::size_t* length, std::string* error) {
  std::uint64_t a = 0;
  std::uint64_t n = 0;
  if (!ParseNumber(address_text, kMaxEepromImage - 1, &a)) {
    *error = Fill(texts::kBadAddress, address_text.c_str());
    return false;
  }
  if (!ParseNumber(length_text, kMaxEepromImage, &n) || n == 0) {
    *error = Fill(texts::kBadLength, length_text.c_str());
    return false;
  }
  if (a + n > kMaxEepromImage) {
    *error = Fill(texts::kBeyondEeprom, static_cast<unsigned>(a), static_cast<std::size_t>(n));
    return false;
  }
  *address = static_cast<std::uint32_t>(a);
  *length = static_cast<std::size_t>(n);
  return true;
}

}  // namespace veltrane::cli
