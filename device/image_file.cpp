#include "device/image_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>

#include "device/platform/file_names.h"

namespace veltrane {
namespace {

constexpr char kTooLargeText[] = "too large";
constexpr char kReadErrorText[] = "read error";
constexpr std::size_t kChunk = 64 * 1024;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// Takes the chunks `read_some` hands over until it gives none or the limit is
// passed by one byte; the last byte past the limit is never kept.
template <typename ReadSome>
ImageFile ReadBounded(std::size_t limit, ReadSome read_some) {
  ImageFile result;
  // limit + 1 must not wrap round to 0.
  if (limit == SIZE_MAX) --limit;
  std::vector<std::uint8_t> buffer(std::min(kChunk, limit + 1));
  for (;;) {
    const std::size_t room = limit + 1 - result.bytes.size();
    const std::size_t want = std::min(buffer.size(), room);
    const std::size_t n = read_some(buffer.data(), want);
    if (n == 0) break;
    const std::size_t keep = std::min(n, limit - result.bytes.size());
    result.bytes.insert(result.bytes.end(), buffer.data(), buffer.data() + keep);
    if (keep < n) {
      result.status = ImageFileStatus::kTooLarge;
      result.system_text = kTooLargeText;
      return result;
    }
  }
  result.status = ImageFileStatus::kOk;
  return result;
}

}  // namespace

ImageFile ReadImageFile(std::FILE* file, std::size_t limit) {
  errno = 0;
  ImageFile result = ReadBounded(limit, [file](std::uint8_t* to, std::size_t n) {
    return std::fread(to, 1, n, file);
  });
  if (result.status == ImageFileStatus::kOk && std::ferror(file) != 0) {
    // A directory opens but does not read.
    result.status = ImageFileStatus::kUnreadable;
    result.system_text = errno != 0 ? std::strerror(errno) : kReadErrorText;
    result.bytes.clear();
  }
  return result;
}

ImageFile ReadImageFile(std::istream& stream, std::size_t limit) {
  ImageFile result = ReadBounded(limit, [&stream](std::uint8_t* to, std::size_t n) {
    stream.read(reinterpret_cast<char*>(to), static_cast<std::streamsize>(n));
    return static_cast<std::size_t>(stream.gcount());
  });
  if (result.status == ImageFileStatus::kOk && stream.bad()) {
    result.status = ImageFileStatus::kUnreadable;
    result.system_text = kReadErrorText;
    result.bytes.clear();
  }
  return result;
}

ImageFile ReadImageFile(const std::string& path, std::size_t limit) {
  errno = 0;
  std::unique_ptr<std::FILE, FileCloser> file(OpenFile(path, "rb"));
  if (!file) {
    ImageFile result;
    const int error = errno;
    result.status = error == ENOENT ? ImageFileStatus::kMissing : ImageFileStatus::kUnreadable;
    result.system_text = std::strerror(error);
    return result;
  }
  return ReadImageFile(file.get(), limit);
}

}  // namespace veltrane
