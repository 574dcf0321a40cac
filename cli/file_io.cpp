#include "cli/file_io.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "device/image_file.h"

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

}  // namespace

FileRead ReadFileBytes(const std::string& path, std::size_t limit, std::vector<std::uint8_t>* bytes,
                       std::string* reason) {
  ImageFile file;
  if (path == "-") {
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);
#endif
    file = ReadImageFile(stdin, limit);
  } else {
    file = ReadImageFile(path, limit);
  }
  *bytes = std::move(file.bytes);
  *reason = file.system_text;
  switch (file.status) {
    case ImageFileStatus::kOk: return FileRead::kOk;
    case ImageFileStatus::kMissing: return FileRead::kMissing;
    case ImageFileStatus::kTooLarge: return FileRead::kTooLarge;
    case ImageFileStatus::kUnreadable: break;
  }
  return FileRead::kUnreadable;
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
