#include "device/platform/durable_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#include "device/platform/file_names.h"

#ifdef _WIN32
// NOMINMAX and WIN32_LEAN_AND_MEAN come from the library's build.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace veltrane {
namespace {

constexpr int kTempAttempts = 16;

std::string Folder(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string RandomPart() {
  std::random_device random;
  char text[24];
  std::snprintf(text, sizeof text, "%08x%08x", random(), random());
  return text;
}

#ifdef _WIN32

std::string SystemText(DWORD code) {
  char text[256] = {};
  ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, sizeof text,
                   nullptr);
  std::string s = text;
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  return s;
}

constexpr int kCreateFlags = _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY;  // CREATE_NEW: never through a link
constexpr int kInPlaceFlags = _O_WRONLY | _O_BINARY;
int OpenFd(const std::string& path, int flags) { return ::_wopen(WideOf(path).c_str(), flags, _S_IREAD | _S_IWRITE); }
int CloseFd(int fd) { return ::_close(fd); }
int WriteFd(int fd, const std::uint8_t* data, std::size_t n) { return ::_write(fd, data, static_cast<unsigned>(n)); }
int SyncFd(int fd) { return ::_commit(fd); }
bool IsRegularOrMissing(const std::string& path) {
  struct _stat64 st {};
  if (::_wstat64(WideOf(path).c_str(), &st) != 0) return true;
  return (st.st_mode & _S_IFMT) == _S_IFREG;
}
void RemoveFile(const std::string& path) { ::_wremove(WideOf(path).c_str()); }
// The rename goes to disk with the data (the folder's entry included).
bool Rename(const std::string& from, const std::string& to, std::string* reason) {
  if (::MoveFileExW(WideOf(from).c_str(), WideOf(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  *reason = SystemText(::GetLastError());
  return false;
}
bool SyncFolder(const std::string&) { return true; }

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
void RemoveFile(const std::string& path) { ::unlink(path.c_str()); }
bool Rename(const std::string& from, const std::string& to, std::string* reason) {
  if (std::rename(from.c_str(), to.c_str()) == 0) return true;
  *reason = std::strerror(errno);
  return false;
}
// The new name is on disk only when the folder that holds it is.
bool SyncFolder(const std::string& path) {
  const std::string folder = Folder(path);
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

#endif

// A new file beside `path` that did not exist before: the descriptor, or -1.
int CreateTemporary(const std::string& path, std::string* temp) {
  const std::string stem = Folder(path) + "." + path.substr(Folder(path).size()) + ".";
  for (int attempt = 0; attempt < kTempAttempts; ++attempt) {
    *temp = stem + RandomPart() + ".part";
    const int fd = OpenFd(*temp, kCreateFlags);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

bool WriteAll(int fd, std::span<const std::uint8_t> bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const auto n = WriteFd(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

bool IdentityOf(const std::string& path, FileIdentity* identity) {
  if (path.empty()) return false;
#ifdef _WIN32
  HANDLE h = ::CreateFileW(WideOf(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool ok = ::GetFileInformationByHandle(h, &info) != 0;
  ::CloseHandle(h);
  if (!ok) return false;
  identity->device = info.dwVolumeSerialNumber;
  identity->index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return true;
#else
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  identity->device = static_cast<std::uint64_t>(st.st_dev);
  identity->index = static_cast<std::uint64_t>(st.st_ino);
  return true;
#endif
}

bool SameFile(const std::string& a, const std::string& b) {
  FileIdentity x;
  FileIdentity y;
  return IdentityOf(a, &x) && IdentityOf(b, &y) && x == y;
}

bool WriteFileDurably(const std::string& path, std::span<const std::uint8_t> bytes, std::string* reason) {
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
  if (ok && Rename(temp, path, reason)) {
    if (SyncFolder(path)) return true;
    *reason = std::strerror(errno);
    return false;
  }
  RemoveFile(temp);
  return false;
}

bool HeldLock::Acquire(const std::string& folder, std::string* reason) {
  Release();
  std::error_code ec;
  std::filesystem::create_directories(PathOf(folder), ec);
  if (ec) {
    *reason = ec.message();
    return false;
  }
  const std::string stem = folder + (folder.empty() || folder.back() == '/' || folder.back() == '\\' ? "" : "/");
  for (int attempt = 0; attempt < kTempAttempts; ++attempt) {
    const std::string path = stem + RandomPart() + ".lock";
#ifdef _WIN32
    // The system deletes the file with the last handle, also when the process dies.
    HANDLE h = ::CreateFileW(WideOf(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      const DWORD code = ::GetLastError();
      if (code == ERROR_FILE_EXISTS) continue;
      *reason = SystemText(code);
      return false;
    }
    OVERLAPPED at = {};
    if (!::LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
      *reason = SystemText(::GetLastError());
      ::CloseHandle(h);
      return false;
    }
    handle_ = reinterpret_cast<std::intptr_t>(h);
#else
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      *reason = std::strerror(errno);
      if (fd >= 0) {
        ::close(fd);
        ::unlink(path.c_str());
      }
      return false;
    }
    handle_ = fd;
#endif
    path_ = path;
    return true;
  }
  *reason = std::strerror(EEXIST);
  return false;
}

void HeldLock::Release() {
  if (handle_ == kNone) return;
#ifdef _WIN32
  ::CloseHandle(reinterpret_cast<HANDLE>(handle_));  // drops the lock and deletes the file
#else
  // The name goes first: a reader that still finds it finds it locked.
  ::unlink(path_.c_str());
  ::close(static_cast<int>(handle_));
#endif
  handle_ = kNone;
  path_.clear();
}

bool HeldLock::IsHeld(const std::string& path) {
  if (path.empty()) return false;
#ifdef _WIN32
  HANDLE h = ::CreateFileW(WideOf(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  // Gone, or pending deletion because its holder closed it: nobody holds it.
  if (h == INVALID_HANDLE_VALUE) return false;
  OVERLAPPED at = {};
  const bool free = ::LockFileEx(h, LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) != 0;
  if (free) ::UnlockFileEx(h, 0, 1, 0, &at);
  ::CloseHandle(h);
  return !free;
#else
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  // A shared probe: two readers looking at once do not see each other as the holder.
  const bool free = ::flock(fd, LOCK_SH | LOCK_NB) == 0;
  ::close(fd);
  return !free;
#endif
}

}  // namespace veltrane
