// Numbers on the command line: decimal, or hexadecimal after 0x.
#pragma once

#include <cstdint>
#include <string_view>

namespace veltrane::cli {

// Parses `text` as a decimal number or, after "0x"/"0X", a hexadecimal one.
// False for an empty text, a sign, stray characters or a value above `max`.
bool ParseNumber(std::string_view text, std::uint64_t max, std::uint64_t* value);

}  // namespace veltrane::cli
