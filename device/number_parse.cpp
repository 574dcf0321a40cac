#include "device/number_parse.h"

namespace veltrane {
namespace {

bool DigitValue(char c, unsigned base, unsigned* digit) {
  if (c >= '0' && c <= '9') {
    *digit = static_cast<unsigned>(c - '0');
  } else if (base == 16 && c >= 'a' && c <= 'f') {
    *digit = static_cast<unsigned>(c - 'a' + 10);
  } else if (base == 16 && c >= 'A' && c <= 'F') {
    *digit = static_cast<unsigned>(c - 'A' + 10);
  } else {
    return false;
  }
  return true;
}

}  // namespace

bool ParseNumber(std::string_view text, std::uint64_t max, std::uint64_t* value, NumberBase base) {
  unsigned radix = base == NumberBase::kHex ? 16 : 10;
  if (base != NumberBase::kDecimal && text.size() > 2 && text[0] == '0' &&
      (text[1] == 'x' || text[1] == 'X')) {
    radix = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return false;
  std::uint64_t result = 0;
  for (const char c : text) {
    unsigned digit = 0;
    if (!DigitValue(c, radix, &digit)) return false;
    // Stop as soon as the value passes `max`, long before it could overflow.
    result = result * radix + digit;
    if (result > max) return false;
  }
  *value = result;
  return true;
}

bool ParseSecondsAsMs(std::string_view text, std::uint64_t max_ms, std::uint64_t* ms) {
  const std::size_t dot = text.find('.');
  const std::string_view whole = text.substr(0, dot);
  const std::string_view fraction = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
  if (whole.empty() && fraction.empty()) return false;
  std::uint64_t seconds = 0;
  if (!whole.empty() && !ParseNumber(whole, max_ms / 1000 + 1, &seconds, NumberBase::kDecimal)) {
    return false;
  }
  // Milliseconds from the first three fraction digits, rounded by the fourth.
  std::uint64_t part = 0;
  std::uint64_t scale = 100;
  bool round_up = false;
  for (std::size_t i = 0; i < fraction.size(); ++i) {
    unsigned digit = 0;
    if (!DigitValue(fraction[i], 10, &digit)) return false;
    if (i < 3) {
      part += digit * scale;
      scale /= 10;
    } else if (i == 3) {
      round_up = digit >= 5;
    }
  }
  const std::uint64_t total = seconds * 1000 + part + (round_up ? 1 : 0);
  if (total > max_ms) return false;
  *ms = total;
  return true;
}

}  // namespace veltrane
