#include "cli/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <random>

#include "cli/interrupt_guard.h"
#include "device/image_file.h"
#include "device/platform/durable_file.h"
#include "device/platform/file_names.h"
#include "device/stop_flag.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <poll.h>
#include <unistd.h>
#endif

namespace veltrane::cli {
namespace {

constexpr char kInterruptedText[] = "interrupted while waiting for data";
constexpr char kIsInputText[] = "it is the input file; choose another name";
#ifndef _WIN32
// Reads `fd` to its end, waiting for a pipe only while no stop is asked for.
ImageFile ReadWatching(int fd, std::size_t limit) {
  const std::atomic<bool>* stop = InterruptGuard::Flag();
  bool interrupted = false;
  int error = 0;
  std::size_t total = 0;
  ImageFile file;
  std::vector<std::uint8_t> chunk(64 * 1024);
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, 250);
    if (StopRequested(stop)) {
      interrupted = true;
      break;
    }
    if (ready < 0 && errno == EINTR) continue;
    if (ready == 0) continue;
    const ssize_t n = ::read(fd, chunk.data(), std::min(chunk.size(), limit + 1 - total));
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n < 0) {
      error = errno;
      break;
    }
    if (n == 0) break;
    total += static_cast<std::size_t>(n);
    file.bytes.insert(file.bytes.end(), chunk.begin(), chunk.begin() + n);
    if (total > limit) {
      file.bytes.resize(limit);
      file.status = ImageFileStatus::kTooLarge;
      file.system_text = "too large";
      return file;
    }
  }
  if (interrupted || error != 0) {
    file.bytes.clear();
    file.status = ImageFileStatus::kUnreadable;
    file.system_text = interrupted ? kInterruptedText : std::strerror(error);
    return file;
  }
  file.status = ImageFileStatus::kOk;
  return file;
}

// A FIFO opens without waiting for a writer; a regular file reads as before.
ImageFile ReadPath(const std::string& path, std::size_t limit) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    ImageFile file;
    file.status = errno == ENOENT ? ImageFileStatus::kMissing : ImageFileStatus::kUnreadable;
    file.system_text = std::strerror(errno);
    return file;
  }
  struct stat st {};
  ImageFile file;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    ::close(fd);
    return ReadImageFile(path, limit);
  }
  file = ReadWatching(fd, limit);
  ::close(fd);
  return file;
}
#endif

}  // namespace

FileRead ReadFileBytes(const std::string& path, std::size_t limit, std::vector<std::uint8_t>* bytes,
                       std::string* reason) {
  ImageFile file;
  if (path == "-") {
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);
    file = ReadImageFile(stdin, limit);
#else
    file = ReadWatching(STDIN_FILENO, limit);
#endif
  } else {
#ifdef _WIN32
    file = ReadImageFile(path, limit);
#else
    file = ReadPath(path, limit);
#endif
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
                    std::string* reason, const std::vector<std::string>& inputs) {
  for (const std::string& input : inputs) {
    if (SameFile(path, input)) {
      *reason = kIsInputText;
      return false;
    }
  }
  return WriteFileDurably(path, bytes, reason);
}

}  // namespace veltrane::cli
