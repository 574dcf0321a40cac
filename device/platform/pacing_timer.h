// The logic of a pause that keeps its length on a system whose default timer
// tick is coarse (Windows: 15.6 ms), apart from the system calls themselves.
//
// A pacing thread owns one PacingTimer. It asks its system once for a
// high-resolution waitable timer; where the system refuses that, it takes a
// plain waitable timer and raises the system's tick to 1 ms while it paces a
// device: for the length of a transfer (TransferBegan/TransferEnded, held by a
// PacingScope), or for the one pause when no transfer is marked. The tick is
// a system-wide setting: every raise is matched by exactly one lowering.
#pragma once

#include <cstdint>

namespace veltrane {

// The calls a PacingTimer makes; the Windows binding lives in
// device/platform/windows, tests give a recording fake.
class PacingSystem {
 public:
  virtual ~PacingSystem() = default;
  // A waitable timer with the high-resolution flag; false when the flag (or
  // the call) is refused.
  virtual bool CreateHighResolutionTimer() = 0;
  // A waitable timer without it; false when none can be had (the pause then
  // falls back to the plain sleep call).
  virtual bool CreatePlainTimer() = 0;
  // Raises the system tick to 1 ms; false when refused (nothing to lower then).
  virtual bool RaiseTick() = 0;
  virtual void LowerTick() = 0;
  // A monotonic clock in 100 ns units.
  virtual std::int64_t Now() = 0;
  // Waits about `duration` (100 ns units, > 0) on the timer, or with the plain
  // sleep call when no timer was created; may return early.
  virtual void Wait(std::int64_t duration) = 0;
};

enum class PacingMode {
  kHighResolutionTimer,  // the system's own precise timer: nothing else to do
  kRaisedTick,           // a plain timer with the tick raised while pacing
  kPlainSleep,           // no timer at all: the plain sleep, tick raised while pacing
};

class PacingTimer {
 public:
  // Makes the choice at once, with `system`'s calls.
  explicit PacingTimer(PacingSystem& system);
  ~PacingTimer();
  PacingTimer(const PacingTimer&) = delete;
  PacingTimer& operator=(const PacingTimer&) = delete;

  PacingMode Mode() const { return mode_; }
  // Waits until `milliseconds` have passed since the call: an absolute
  // deadline, so a wait that ends early is resumed for what is left only.
  void Sleep(unsigned milliseconds);
  // Nested: the tick is raised at the outermost begin and lowered at its end.
  void TransferBegan();
  void TransferEnded();
  // Whether the tick is raised now (by this timer).
  bool TickRaised() const { return tick_raised_; }

 private:
  bool Raise();
  void Lower();

  PacingSystem& system_;
  PacingMode mode_;
  int transfers_ = 0;
  bool tick_raised_ = false;
};

}  // namespace veltrane
