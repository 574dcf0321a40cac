#include "sim/file_lock.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
// The SDK's macro would rename our ReplaceFile to ReplaceFileA here only, and
// callers elsewhere would find no such function.
#undef ReplaceFile
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
  // Windows refuses to rename over a file while any handle holds it open, so
  // the lock cannot live on the EEPROM file, which every save replaces: it
  // lives on a file beside it, which the system deletes with the last handle
  // (a crashed run leaves nothing behind).
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
  // The EEPROM file itself is only made here, and closed again at once.
  HANDLE data = CreateFileW(WideOf(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            create ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (data == INVALID_HANDLE_VALUE) {
    *error = WindowsText(GetLastError());
    CloseHandle(h);
    return false;
  }
  CloseHandle(data);
  handle_ = reinterpret_cast<std::intptr_t>(h);
  return true;
}

void FileLock::Release() {
  if (handle_ == kNone) return;
  CloseHandle(reinterpret_cast<HANDLE>(handle_));  // closing drops the lock
  handle_ = kNone;
}

bool ReplaceFile(const std::string& from, const std::string& to, std::string* error) {
  if (MoveFileExW(WideOf(from).c_str(), WideOf(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  *error = WindowsText(GetLastError());
  return false;
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
  // A run that saved (renamed a new file into place) just before our lock
  // leaves us holding the old file: then the name belongs to someone else.
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

bool ReplaceFile(const std::string& from, const std::string& to, std::string* error) {
  if (std::rename(from.c_str(), to.c_str()) == 0) return true;
  *error = std::strerror(errno);
  return false;
}

#endif

}  // namespace veltrane::sim
