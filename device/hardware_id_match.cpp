#include "device/hardware_id_match.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace veltrane {

std::string MatchHardwareId(const std::vector<std::string>& ids, std::uint16_t vendor_id,
                            std::uint16_t product_id) {
  char pattern[32];
  std::snprintf(pattern, sizeof pattern, "VID_%04X&PID_%04X", vendor_id, product_id);
  for (std::string id : ids) {
    std::transform(id.begin(), id.end(), id.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (id.find(pattern) != std::string::npos) return id;
  }
  return {};
}

}  // namespace veltrane
