// Files that must be whole after a crash or a power cut, and the identity of
// a file whatever name reaches it: the OS calls of the `-o` outputs, the
// backups and the service history's running-change locks, kept in one place.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace veltrane {

// Which file a name reaches: device and inode on Linux, volume serial number
// and file index on Windows. Two names with equal identities are one file,
// whatever links, `..` or doubled separators lie between them.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t index = 0;
  bool operator==(const FileIdentity&) const = default;
  bool operator<(const FileIdentity& o) const { return device != o.device ? device < o.device : index < o.index; }
};

// False when `path` names no file that can be looked at.
bool IdentityOf(const std::string& path, FileIdentity* identity);

// True when `a` and `b` name the same existing file.
bool SameFile(const std::string& a, const std::string& b);

// Writes `bytes` to a new temporary file of an unpredictable name in the
// folder of `path` (created exclusively, never through a symbolic link),
// puts it on disk, renames it over `path` and puts the folder on disk too: a
// reader sees the old file or the whole new one, also after a power cut. A
// `path` that exists and is no regular file (a device, a pipe) is written in
// place. False with `reason` set (the system's words) on failure.
bool WriteFileDurably(const std::string& path, std::span<const std::uint8_t> bytes, std::string* reason);

// An exclusive lock on a file of its own, held for as long as the object
// lives (or until Release), and dropped by the system when the process dies
// however it ends: flock on Linux, LockFileEx on Windows. The service
// history names one for every change that is running, so a reader tells a
// change still running from one whose program is gone.
class HeldLock {
 public:
  HeldLock() = default;
  ~HeldLock() { Release(); }
  HeldLock(const HeldLock&) = delete;
  HeldLock& operator=(const HeldLock&) = delete;

  // Creates a new lock file of an unpredictable name in `folder` (made when
  // needed) and locks it. False with `reason` set when it cannot.
  bool Acquire(const std::string& folder, std::string* reason);
  // Drops the lock and removes its file.
  void Release();
  const std::string& Path() const { return path_; }

  // True when some handle, in this process or another, holds the lock on
  // `path`; false when the file is gone or nobody holds it.
  static bool IsHeld(const std::string& path);

 private:
  static constexpr std::intptr_t kNone = -1;
  std::intptr_t handle_ = kNone;
  std::string path_;
};

}  // namespace veltrane
