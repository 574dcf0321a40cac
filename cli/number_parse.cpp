#include "cli/number_parse.h"

namespace veltrane::cli {

bool ParseNumber(std::string_view text, std::uint64_t max, std::uint64_t* value) {
  unsigned base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return false;
  std::uint64_t result = 0;
  for (const char c : text) {
    unsigned digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = static_cast<unsigned>(c - 'a' + 10);
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = static_cast<unsigned>(c - 'A' + 10);
    } else {
      return false;
    }
    // Stop as soon as the value passes `max`, long before it could overflow.
    result = result * base + digit;
    if (result > max) return false;
  }
  *value = result;
  return true;
}

}  // namespace veltrane::cli
