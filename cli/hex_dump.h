// The hex dump of `eeprom read`: 16 bytes a line, the EEPROM address first,
// the printable characters last.
//
//   1712: 00 0f 1f 3f ff ff ff ff ff ff ff ff ff ff ff ff  ...?............
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace veltrane::cli {

// Lines start at `address`, which need not be a multiple of 16.
std::string HexDump(std::uint32_t address, const std::vector<std::uint8_t>& bytes);

}  // namespace veltrane::cli
