// The protocol's pauses, slept as close to their length as the system allows.
#pragma once

namespace veltrane {

// Sleeps `milliseconds`, never less, to an absolute deadline. On Linux the
// calling thread's timer slack is first set to 1 ns: the default 50 µs is 5%
// of the bulk stream's 1 ms pause, and it adds up over a thousand blocks. On
// Windows each pacing thread waits on its own high-resolution waitable timer;
// where the system refuses one, on a plain timer with the system tick raised
// to 1 ms (see PacingScope).
void PreciseSleep(unsigned milliseconds);

// Held by whoever paces a device, on the pacing thread, for the length of a
// transfer. Where the pauses need the system tick raised (Windows without
// high-resolution timers) it stays raised while a scope lives, and is lowered
// again when the last scope of the thread ends, however the transfer ends.
// Without a scope each pause raises and lowers it for itself. Elsewhere it
// does nothing.
class PacingScope {
 public:
  PacingScope();
  ~PacingScope();
  PacingScope(const PacingScope&) = delete;
  PacingScope& operator=(const PacingScope&) = delete;
};

// How this thread's pauses are slept, in a few words (for benchmarks' logs).
const char* PauseTimerName();

}  // namespace veltrane
