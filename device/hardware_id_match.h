// Which of the system's hardware-ID strings belongs to a device.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace veltrane {

// The first of `ids` that names VID_vvvv&PID_pppp (case ignored), upper-cased;
// empty when none does.
std::string MatchHardwareId(const std::vector<std::string>& ids, std::uint16_t vendor_id,
                            std::uint16_t product_id);

}  // namespace veltrane
