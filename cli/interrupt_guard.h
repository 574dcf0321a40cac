// Ctrl-C, SIGTERM and SIGHUP (on Windows Ctrl-C, Ctrl-Break and closing the
// console): while a guard lives, each sets a flag that a transfer looks at
// between packets and a read from a pipe looks at while it waits, so the
// program stops at a packet boundary and its destructors release the DAC.
// The first signal asks to stop; a second one ends the program as usual.
#pragma once

#include <atomic>

namespace veltrane::cli {

class InterruptGuard {
 public:
  InterruptGuard();
  ~InterruptGuard();
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

  // The flag the handler sets; cleared when a guard is made.
  static const std::atomic<bool>* Flag();
  // The name of what asked to stop ("SIGTERM", "Ctrl-C"), or null.
  static const char* SignalName();
  // Raises the flag as a signal would (tests, and a platform that cannot signal).
  static void RequestStop(int signal_number);
};

}  // namespace veltrane::cli
