// The protocol's pauses, slept as close to their length as the system allows.
#pragma once

namespace veltrane {

// Sleeps `milliseconds`, never less. On Linux the calling thread's timer
// slack is first set to 1 ns: the default 50 µs is 5% of the bulk stream's
// 1 ms pause, and it adds up over a thousand blocks.
void PreciseSleep(unsigned milliseconds);

}  // namespace veltrane
