// The one reader of image files: reads at most `limit` + 1 bytes, so a wrong
// pick (a disk image, /dev/zero) is refused as too large without ever holding
// more than the limit in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <istream>
#include <string>
#include <vector>

namespace veltrane {

enum class ImageFileStatus {
  kOk,
  kMissing,     // no such file
  kUnreadable,  // it exists but cannot be opened or read (a directory, no permission)
  kTooLarge,    // more than `limit` bytes; `bytes` holds the first `limit` of them
};

struct ImageFile {
  ImageFileStatus status = ImageFileStatus::kUnreadable;
  std::vector<std::uint8_t> bytes;
  std::string system_text;  // the system's word for a failure; "too large" when too large

  bool Ok() const { return status == ImageFileStatus::kOk; }
};

// Reads the file at `path`.
ImageFile ReadImageFile(const std::string& path, std::size_t limit);
// Reads what is left of an already-open file or stream (standard input); it stays open.
ImageFile ReadImageFile(std::FILE* file, std::size_t limit);
ImageFile ReadImageFile(std::istream& stream, std::size_t limit);

}  // namespace veltrane
