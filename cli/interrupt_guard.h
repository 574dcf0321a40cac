// Ctrl-C during a flash: while a guard lives, SIGINT sets a flag that the
// transfer looks at between packets. The first Ctrl-C asks the transfer to
// stop; a second one ends the program as usual.
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

 private:
  void (*previous_)(int);
};

}  // namespace veltrane::cli
