// The stop flag a signal handler sets (Ctrl-C, SIGTERM, SIGHUP): long
// operations look at it between packets; null means nobody can ask to stop.
#pragma once

#include <atomic>

namespace veltrane {

inline bool StopRequested(const std::atomic<bool>* stop) { return stop != nullptr && stop->load(); }

}  // namespace veltrane
