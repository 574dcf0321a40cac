// SHA-256, as lower-case hex: the bench log and the service history name
// images and backups by it. One implementation for both programs.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace veltrane {

class Sha256 {
 public:
  Sha256();
  void Update(std::span<const std::uint8_t> bytes);
  // The digest of everything given so far, as 64 hex digits. Ends the hash.
  std::string HexDigest();

 private:
  void Compress(const std::uint8_t* block);

  std::array<std::uint32_t, 8> state_;
  std::array<std::uint8_t, 64> pending_{};
  std::size_t pending_length_ = 0;
  std::uint64_t total_ = 0;
};

std::string Sha256Hex(std::span<const std::uint8_t> bytes);
inline std::string Sha256Hex(const std::vector<std::uint8_t>& bytes) {
  return Sha256Hex(std::span<const std::uint8_t>(bytes));
}

}  // namespace veltrane
