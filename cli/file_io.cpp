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
constexpr int kTempAttempts = 16;

#ifdef _WIN32
constexpr int kCreateFlags = _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY;  // CREATE_NEW
constexpr int kInPlaceFlags = _O_WRONLY | _O_BINARY;
int OpenFd(const std::string& path, int flags) {
  return ::_wopen(WideOf(path).c_str(), flags, _S_IREAD | _S_IWRITE);
}
int CloseFd(int fd) { return ::_close(fd); }
int WriteFd(int fd, const std::uint8_t* data, std::size_t n) {
  return ::_write(fd, data, static_cast<unsigned>(n));
}
int SyncFd(int fd) { return ::_commit(fd); }
bool IsRegularOrMissing(const std::string& path) {
  struct _stat64 st {};
  if (::_wstat64(WideOf(path).c_str(), &st) != 0) return true;
  return (st.st_mode & _S_IFMT) == _S_IFREG;
}
void RemoveFile(const std::string& path) { ::_wremove(WideOf(path).c_str()); }
#else
constexpr int kCreateFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
constexpr int kInPlaceFlags = O_WRONLY | O_CLOEXEC;
int OpenFd(const std::string& path, int flags) { return ::open(path.c_str(), flags, 0666); }
int CloseFd(int fd) { return ::close(fd); }
ssize_t WriteFd(int fd, const std::uint8_t* data, std::size_t n) { return ::write(fd, data, n); }
int SyncFd(int fd) { return ::fsync(fd); }
bool IsRegularOrMissing(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return true;
  return S_ISREG(st.st_mode);
}
void RemoveFile(const std::string& path) { std::remove(path.c_str()); }
#endif

std::string Folder(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// A new file beside `path` that did not exist before: the descriptor, or -1.
int CreateTemporary(const std::string& path, std::string* temp) {
  std::random_device random;
  const std::string stem = Folder(path) + "." + path.substr(Folder(path).size()) + ".";
  for (int attempt = 0; attempt < kTempAttempts; ++attempt) {
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, "%08x%08x.part", random(), random());
    *temp = stem + suffix;
    const int fd = OpenFd(*temp, kCreateFlags);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

bool WriteAll(int fd, const std::vector<std::uint8_t>& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const auto n = WriteFd(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool ReplaceFile(const std::string& from, const std::string& to) {
#ifdef _WIN32
  if (::MoveFileExW(WideOf(from).c_str(), WideOf(to).c_str(), MOVEFILE_REPLACE_EXISTING) != 0) return true;
  errno = EACCES;
  return false;
#else
  return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

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

bool SameFile(const std::string& a, const std::string& b) {
  if (a == "-" || b == "-") return false;
#ifdef _WIN32
  auto identity = [](const std::string& path, BY_HANDLE_FILE_INFORMATION* info) {
    HANDLE h = ::CreateFileW(WideOf(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool ok = ::GetFileInformationByHandle(h, info) != 0;
    ::CloseHandle(h);
    return ok;
  };
  BY_HANDLE_FILE_INFORMATION x{};
  BY_HANDLE_FILE_INFORMATION y{};
  return identity(a, &x) && identity(b, &y) && x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
         x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
#else
  struct stat x {};
  struct stat y {};
  return ::stat(a.c_str(), &x) == 0 && ::stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev &&
         x.st_ino == y.st_ino;
#endif
}

bool WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes,
                    std::string* reason, const std::vector<std::string>& inputs) {
  for (const std::string& input : inputs) {
    if (SameFile(path, input)) {
      *reason = kIsInputText;
      return false;
    }
  }
  const bool in_place = !IsRegularOrMissing(path);
  std::string temp;
  errno = 0;
  const int fd = in_place ? OpenFd(path, kInPlaceFlags) : CreateTemporary(path, &temp);
  if (fd < 0) {
    *reason = std::strerror(errno);
    return false;
  }
  bool ok = WriteAll(fd, bytes);
  // On disk before the rename makes it the file.
  if (ok && !in_place) ok = SyncFd(fd) == 0;
  if (!ok) *reason = std::strerror(errno);
  if (CloseFd(fd) != 0 && ok) {
    *reason = std::strerror(errno);
    ok = false;
  }
  if (in_place) return ok;
  if (ok) {
    if (ReplaceFile(temp, path)) return true;
    *reason = std::strerror(errno);
  }
  RemoveFile(temp);
  return false;
}

}  // namespace veltrane::cli
