#include "device/platform/precise_sleep.h"

// Windows: device/platform/windows/precise_sleep_windows.cpp.
#if !defined(_WIN32)

#include <chrono>
#include <thread>

#if defined(__linux__)
#include <sys/prctl.h>
#include <time.h>

#include <cerrno>
#endif

namespace veltrane {

PacingScope::PacingScope() = default;
PacingScope::~PacingScope() = default;

#if defined(__linux__)

void PreciseSleep(unsigned milliseconds) {
  // Timer slack belongs to the thread: set it once on every thread that paces a device.
  thread_local const bool slack_set = ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL) == 0;
  static_cast<void>(slack_set);
  // An absolute deadline: a signal that cuts the pause short does not lengthen it when resumed.
  timespec deadline{};
  ::clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += static_cast<time_t>(milliseconds / 1000);
  deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
  if (deadline.tv_nsec >= 1000000000L) {
    deadline.tv_nsec -= 1000000000L;
    ++deadline.tv_sec;
  }
  while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
  }
}

const char* PauseTimerName() { return "clock_nanosleep to an absolute deadline, 1 ns slack"; }

#else

void PreciseSleep(unsigned milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

const char* PauseTimerName() { return "std::this_thread::sleep_for"; }

#endif

}  // namespace veltrane

#endif  // !_WIN32
