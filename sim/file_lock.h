// An exclusive lock on a file for the length of a run, and the replacing
// rename that saves it; the only OS calls of the simulator (flock and rename
// on Linux, LockFileEx and MoveFileEx on Windows).
#pragma once

#include <cstdint>
#include <string>

namespace veltrane::sim {

class FileLock {
 public:
  FileLock() = default;
  ~FileLock() { Release(); }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Opens `path` for reading and writing (creating it when `create`) and
  // takes an exclusive lock without waiting. False with `error` set when the
  // file cannot be opened, or `*busy` true when another process holds it.
  // On Windows the lock is held on "`path`.lock", removed again when the lock
  // is dropped: a file that is held open cannot be replaced by a rename
  // there, and every save replaces `path`.
  bool Acquire(const std::string& path, bool create, bool* busy, std::string* error);
  void Release();
  bool Held() const { return handle_ != kNone; }

 private:
  static constexpr std::intptr_t kNone = -1;
  std::intptr_t handle_ = kNone;
};

// Puts `from` in the place of `to` in one step: a reader sees the old file or
// the new one, never a part. False with `error` set on failure.
bool ReplaceFile(const std::string& from, const std::string& to, std::string* error);

}  // namespace veltrane::sim
