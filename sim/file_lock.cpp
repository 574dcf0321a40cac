#include "sim/file_lock.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "device/platform/file_names.h"

namespace veltrane::sim {

#ifdef _WIN32

namespace {
std::string WindowsText(DWORD code) {
  char text[256] = {};
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                 sizeof text, nullptr);
  std::string s = text;
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  return s;
}
}  // namespace

bool FileLock::Acquire(const std::string& path, bool create, bool* busy, std::string* error) {
  *busy = false;
  Release();
  // The lock lives on a file beside the EEPROM file, which the system deletes
  // with the last handle (a crashed run leaves nothing behind).
  const std::string lock_path = path + ".lock";
  HANDLE h = CreateFileW(WideOf(lock_path).c_str(), GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    // A lock file whose last holder is just closing it is pending deletion
    // and refuses new opens: held a moment ago.
    *busy = code == ERROR_ACCESS_DENIED && GetFileAttributesW(WideOf(lock_path).c_str()) != INVALID_FILE_ATTRIBUTES;
    *error = WindowsText(code);
    return false;
  }
  OVERLAPPED at = {};
  if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
    const DWORD code = GetLastError();
    CloseHandle(h);
    *busy = code == ERROR_LOCK_VIOLATION || code == ERROR_IO_PENDING;
    *error = WindowsText(code);
    return false;
  }
  // The EEPROM file itself, held open for the writes while the lock is held.
  HANDLE data = CreateFileW(WideOf(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            create ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (data == INVALID_HANDLE_VALUE) {
    *error = WindowsText(GetLastError());
    CloseHandle(h);
    return false;
  }
  data_ = reinterpret_cast<std::intptr_t>(data);
  handle_ = reinterpret_cast<std::intptr_t>(h);
  return true;
}

void FileLock::Release() {
  if (handle_ == kNone) return;
  CloseHandle(reinterpret_cast<HANDLE>(data_));
  CloseHandle(reinterpret_cast<HANDLE>(handle_));  // closing drops the lock
  data_ = kNone;
  handle_ = kNone;
}

bool FileLock::WriteAt(std::uint64_t offset, const std::uint8_t* bytes, std::size_t length, std::string* error) {
  while (length > 0) {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD written = 0;
    if (!WriteFile(reinterpret_cast<HANDLE>(data_), bytes, static_cast<DWORD>(length), &written, &at) ||
        written == 0) {
      *error = WindowsText(GetLastError());
      return false;
    }
    offset += written;
    bytes += written;
    length -= written;
  }
  return true;
}

#else

bool FileLock::Acquire(const std::string& path, bool create, bool* busy, std::string* error) {
  *busy = false;
  Release();
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0666);
  if (fd < 0) {
    *error = std::strerror(errno);
    return false;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int code = errno;
    ::close(fd);
    *busy = code == EWOULDBLOCK;
    *error = std::strerror(code);
    return false;
  }
  // A file renamed into place just before our lock leaves us holding the
  // old one: then the name belongs to someone else.
  struct stat held {}, named {};
  if (::fstat(fd, &held) != 0 || ::stat(path.c_str(), &named) != 0 ||
      held.st_ino != named.st_ino || held.st_dev != named.st_dev) {
    ::close(fd);
    *busy = true;
    *error = std::strerror(EWOULDBLOCK);
    return false;
  }
  handle_ = fd;
  return true;
}

void FileLock::Release() {
  if (handle_ == kNone) return;
  ::close(static_cast<int>(handle_));  // closing drops the lock
  handle_ = kNone;
}

bool FileLock::WriteAt(std::uint64_t offset, const std::uint8_t* bytes, std::size_t length, std::string* error) {
  while (length > 0) {
    const ssize_t n = ::pwrite(static_cast<int>(handle_), bytes, length, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *error = std::strerror(n < 0 ? errno : EIO);
      return false;
    }
    offset += static_cast<std::uint64_t>(n);
    bytes += n;
    length -= static_cast<std::size_t>(n);
  }
  return true;
}

#endif

}  // namespace veltrane::sim
