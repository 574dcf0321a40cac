// File reads bounded by a limit, and writes that never leave half a file
// under the final name. "-" is stdin for reads; callers send "-" outputs to
// their own stdout.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace veltrane::cli {

enum class FileRead { kOk, kMissing, kUnreadable, kTooLarge };

// Reads at most `limit` + 1 bytes of `path` ("-": stdin): kTooLarge when there
// is more than `limit`, and never more than that in memory. On failure `reason`
// holds the system's word for it.
FileRead ReadFileBytes(const std::string& path, std::size_t limit, std::vector<std::uint8_t>* bytes,
                       std::string* reason);

// Writes to a temporary name beside `path` and renames it over `path`, so a
// reader never sees half a file. A `path` that exists and is no regular file
// (a device, a pipe) is written in place.
bool WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes,
                    std::string* reason);

}  // namespace veltrane::cli
