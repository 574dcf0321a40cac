// Per-mille progress of a firmware transfer.
//
// The transfers are handed nothing for progress: they report to the one
// receiver that the application installed (the desktop program: its main
// window's firmware page; the command line: its terminal bar). Before anything
// is installed, reports go nowhere.
#pragma once

#include <cstdint>

namespace veltrane {

class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void SetProgress(std::uint16_t per_mille) = 0;
};

// Installs the process-wide receiver; nullptr removes it. Returns the previous one.
ProgressSink* InstallProgressSink(ProgressSink* sink);
ProgressSink* InstalledProgressSink();

// Installs a receiver for the lifetime of a scope, restoring the previous one.
class ScopedProgressSink {
 public:
  explicit ScopedProgressSink(ProgressSink* sink) : previous_(InstallProgressSink(sink)) {}
  ~ScopedProgressSink() { InstallProgressSink(previous_); }
  ScopedProgressSink(const ScopedProgressSink&) = delete;
  ScopedProgressSink& operator=(const ScopedProgressSink&) = delete;

 private:
  ProgressSink* previous_;
};

}  // namespace veltrane
