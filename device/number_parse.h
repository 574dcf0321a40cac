// Numbers typed by people (command line, simulation options): strict, so that
// " 3", "+3", "3x" or "nan" are refused instead of read as something else.
#pragma once

#include <cstdint>
#include <string_view>

namespace veltrane {

enum class NumberBase {
  kDecimalOrHex,  // decimal, or hexadecimal after 0x/0X
  kDecimal,
  kHex,           // hexadecimal, with or without 0x (a revision: 0102)
};

// Parses `text` in `base`. False for an empty text, a sign, spaces, stray
// characters or a value above `max`.
bool ParseNumber(std::string_view text, std::uint64_t max, std::uint64_t* value,
                 NumberBase base = NumberBase::kDecimalOrHex);

// Parses a decimal count of seconds with an optional fraction ("2", "5.5",
// ".25") into whole milliseconds, rounded to nearest. False for anything
// else (a sign, an exponent, "nan", "inf") or more than `max_ms`.
bool ParseSecondsAsMs(std::string_view text, std::uint64_t max_ms, std::uint64_t* ms);

}  // namespace veltrane
