// An exclusive lock on a file for the length of a run, and the writes in
// place that keep it; the only OS calls of the simulator (flock and pwrite on
// Linux, LockFileEx and WriteFile on Windows).
#pragma once

#include <cstddef>
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
  // is dropped, and `path` is held open beside it for the writes.
  bool Acquire(const std::string& path, bool create, bool* busy, std::string* error);
  void Release();
  bool Held() const { return handle_ != kNone; }

  // Writes `length` bytes at `offset` of the locked file, in place (the file
  // grows when they reach past its end). Not flushed to the disk: a killed
  // program's writes are kept by the system all the same.
  bool WriteAt(std::uint64_t offset, const std::uint8_t* bytes, std::size_t length, std::string* error);

 private:
  static constexpr std::intptr_t kNone = -1;
  std::intptr_t handle_ = kNone;
#ifdef _WIN32
  std::intptr_t data_ = kNone;  // the file itself; `handle_` is its lock file
#endif
};

}  // namespace veltrane::sim
