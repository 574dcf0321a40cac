#include "cli/file_io.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace veltrane::cli {
namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

FileRead ReadFileBytes(const std::string& path, std::vector<std::uint8_t>* bytes,
                       std::string* reason) {
  errno = 0;
  File file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    const int error = errno;
    *reason = std::strerror(error);
    return error == ENOENT ? FileRead::kMissing : FileRead::kUnreadable;
  }
  bytes->clear();
  std::uint8_t buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
    bytes->insert(bytes->end(), buffer, buffer + n);
  }
  if (std::ferror(file.get()) != 0) {
    // A directory opens but does not read.
    *reason = errno != 0 ? std::strerror(errno) : "read error";
    return FileRead::kUnreadable;
  }
  return FileRead::kOk;
}

bool WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes,
                    std::string* reason) {
  errno = 0;
  File file(std::fopen(path.c_str(), "wb"));
  if (!file) {
    *reason = std::strerror(errno);
    return false;
  }
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
    *reason = std::strerror(errno);
    return false;
  }
  if (std::fclose(file.release()) != 0) {
    *reason = std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace veltrane::cli
