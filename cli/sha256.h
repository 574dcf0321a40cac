// SHA-256 of a byte string, as lower-case hex: the bench log names the image
// each unit received by it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace veltrane::cli {

std::string Sha256Hex(const std::vector<std::uint8_t>& bytes);

}  // namespace veltrane::cli
