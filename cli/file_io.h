// Whole-file reads and writes with the reason of a failure, for messages.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace veltrane::cli {

enum class FileRead { kOk, kMissing, kUnreadable };

// Reads the whole file; on failure `reason` holds the system's word for it.
FileRead ReadFileBytes(const std::string& path, std::vector<std::uint8_t>* bytes,
                       std::string* reason);
bool WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes,
                    std::string* reason);

}  // namespace veltrane::cli
