#include "cli/hex_dump.h"

#include <cstdio>

namespace veltrane::cli {

namespace {
constexpr std::size_t kBytesPerLine = 16;
}  // namespace

std::string HexDump(std::uint32_t address, const std::vector<std::uint8_t>& bytes) {
  std::string text;
  for (std::size_t line = 0; line < bytes.size(); line += kBytesPerLine) {
    char field[16];
    std::snprintf(field, sizeof field, "%04x:", static_cast<unsigned>(address + line));
    text += field;
    std::string printable;
    for (std::size_t i = 0; i < kBytesPerLine; ++i) {
      if (line + i < bytes.size()) {
        const std::uint8_t b = bytes[line + i];
        std::snprintf(field, sizeof field, " %02x", b);
        text += field;
        printable += (b >= 0x20 && b < 0x7F) ? static_cast<char>(b) : '.';
      } else {
        text += "   ";
      }
    }
    text += "  ";
    text += printable;
    text += '\n';
  }
  return text;
}

}  // namespace veltrane::cli
