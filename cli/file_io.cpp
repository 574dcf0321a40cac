#include "cli/file_io.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace veltrane::cli {
namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool IsRegularOrMissing(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return true;
  return S_ISREG(st.st_mode);
}

FileRead ReadBounded(std::FILE* file, std::size_t limit, std::vector<std::uint8_t>* bytes,
                     std::string* reason) {
  bytes->clear();
  std::uint8_t buffer[65536];
  while (bytes->size() <= limit) {
    // Never more than one byte past the limit: /dev/zero ends here too.
    const std::size_t want = std::min(sizeof buffer, limit + 1 - bytes->size());
    const std::size_t n = std::fread(buffer, 1, want, file);
    bytes->insert(bytes->end(), buffer, buffer + n);
    if (n < want) break;
  }
  if (std::ferror(file) != 0) {
    // A directory opens but does not read.
    *reason = errno != 0 ? std::strerror(errno) : "read error";
    return FileRead::kUnreadable;
  }
  if (bytes->size() > limit) {
    *reason = "too large";
    return FileRead::kTooLarge;
  }
  return FileRead::kOk;
}

}  // namespace

FileRead ReadFileBytes(const std::string& path, std::size_t limit, std::vector<std::uint8_t>* bytes,
                       std::string* reason) {
  errno = 0;
  if (path == "-") {
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);
#endif
    return ReadBounded(stdin, limit, bytes, reason);
  }
  File file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    const int error = errno;
    *reason = std::strerror(error);
    return error == ENOENT ? FileRead::kMissing : FileRead::kUnreadable;
  }
  return ReadBounded(file.get(), limit, bytes, reason);
}

bool WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes,
                    std::string* reason) {
  const bool in_place = !IsRegularOrMissing(path);
  const std::string target = in_place ? path : path + ".part";
  errno = 0;
  File file(std::fopen(target.c_str(), "wb"));
  if (!file) {
    *reason = std::strerror(errno);
    return false;
  }
  bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
  ok = std::fflush(file.get()) == 0 && ok;
#ifndef _WIN32
  // On disk before the rename makes it the file.
  if (ok && !in_place) ok = ::fsync(fileno(file.get())) == 0;
#endif
  if (!ok) *reason = std::strerror(errno);
  if (std::fclose(file.release()) != 0 && ok) {
    *reason = std::strerror(errno);
    ok = false;
  }
  if (in_place) return ok;
  if (ok) {
#ifdef _WIN32
    std::remove(path.c_str());  // rename does not replace on Windows
#endif
    if (std::rename(target.c_str(), path.c_str()) == 0) return true;
    *reason = std::strerror(errno);
  }
  std::remove(target.c_str());
  return false;
}

}  // namespace veltrane::cli
