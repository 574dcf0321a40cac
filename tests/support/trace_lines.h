// Builds the trace lines the simulated DAC records, for byte-exact assertions.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace veltrane::testing {

// "KIND 00 <packet bytes> 00 ..." for a report of `report_length` bytes.
inline std::string ReportLine(const std::string& kind, const std::vector<std::uint8_t>& packet,
                              std::size_t report_length = 65) {
  std::string line = kind + " 00";
  for (std::size_t i = 1; i < report_length; ++i) {
    char hex[4];
    std::snprintf(hex, sizeof hex, " %02x", i - 1 < packet.size() ? packet[i - 1] : 0);
    line += hex;
  }
  return line;
}

inline std::string Out(const std::vector<std::uint8_t>& packet, std::size_t report_length = 65) {
  return ReportLine("out", packet, report_length);
}

inline std::string Write(const std::vector<std::uint8_t>& packet, std::size_t report_length = 65) {
  return ReportLine("write", packet, report_length);
}

inline std::string In(const std::vector<std::uint8_t>& payload, std::size_t report_length = 65) {
  return ReportLine("in", payload, report_length);
}

// Only the lines that start with `kind ` (for example every "out" line).
inline std::vector<std::string> LinesOf(const std::vector<std::string>& trace,
                                        const std::string& kind) {
  std::vector<std::string> out;
  for (const auto& line : trace) {
    if (line.rfind(kind + " ", 0) == 0 || line == kind) out.push_back(line);
  }
  return out;
}

}  // namespace veltrane::testing
