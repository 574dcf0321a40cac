// File reads bounded by a limit, and writes that never leave half a file
// under the final name. "-" is stdin for reads; callers send "-" outputs to
// their own stdout. The command line's only file-system calls live here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "device/platform/durable_file.h"

namespace veltrane::cli {

enum class FileRead { kOk, kMissing, kUnreadable, kTooLarge };

// Reads at most `limit` + 1 bytes of `path` ("-": stdin): kTooLarge when there
// is more than `limit`, and never more than that in memory. On failure `reason`
// holds the system's word for it. A pipe or FIFO is waited on only until the
// stop flag is raised (Ctrl-C): a FIFO nobody writes to never hangs the program.
FileRead ReadFileBytes(const std::string& path, std::size_t limit, std::vector<std::uint8_t>* bytes,
                       std::string* reason);

// True when `a` and `b` name the same existing file (by device and inode, on
// Windows by volume and file index), whatever the spelling or links.
using veltrane::SameFile;

// Writes to a new temporary file of an unpredictable name beside `path`
// (created exclusively, never through a symbolic link), puts it and the
// folder on disk and renames it over `path`, so a reader never sees half a
// file (WriteFileDurably, as the backups are written). A `path` that exists and is no
// regular file (a device, a pipe) is written in place. Refuses a `path` that
// is one of `inputs`.
bool WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes,
                    std::string* reason, const std::vector<std::string>& inputs = {});

}  // namespace veltrane::cli
