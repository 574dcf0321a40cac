// PreciseSleep on Windows: one waitable timer per pacing thread, with the
// high-resolution flag (Windows 10 1803 and later); otherwise a plain timer
// and the system tick raised to 1 ms while pacing (timeBeginPeriod). The
// choice and the bookkeeping are PacingTimer's; the system calls are here.
#include "device/platform/pacing_timer.h"
#include "device/platform/per_thread.h"
#include "device/platform/precise_sleep.h"
#include "device/platform/windows/windows_headers.h"

#include <mmsystem.h>

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace veltrane {
namespace {

class WindowsPacingSystem final : public PacingSystem {
 public:
  WindowsPacingSystem() {
    LARGE_INTEGER frequency{};
    ::QueryPerformanceFrequency(&frequency);
    frequency_ = frequency.QuadPart > 0 ? frequency.QuadPart : 1;
  }
  ~WindowsPacingSystem() override {
    if (timer_ != nullptr) ::CloseHandle(timer_);
  }
  WindowsPacingSystem(const WindowsPacingSystem&) = delete;
  WindowsPacingSystem& operator=(const WindowsPacingSystem&) = delete;

  bool CreateHighResolutionTimer() override {
    return Create(CREATE_WAITABLE_TIMER_HIGH_RESOLUTION);
  }
  bool CreatePlainTimer() override { return Create(0); }
  bool RaiseTick() override { return ::timeBeginPeriod(1) == TIMERR_NOERROR; }
  void LowerTick() override { ::timeEndPeriod(1); }

  std::int64_t Now() override {
    LARGE_INTEGER counter{};
    ::QueryPerformanceCounter(&counter);
    const std::int64_t c = counter.QuadPart;
    // In two parts: c * 10^7 alone would overflow after some weeks of uptime.
    return c / frequency_ * 10000000 + c % frequency_ * 10000000 / frequency_;
  }

  void Wait(std::int64_t duration) override {
    if (timer_ != nullptr) {
      LARGE_INTEGER due{};
      due.QuadPart = -duration;  // negative: relative, in 100 ns units
      if (::SetWaitableTimer(timer_, &due, 0, nullptr, nullptr, FALSE) &&
          ::WaitForSingleObject(timer_, INFINITE) == WAIT_OBJECT_0) {
        return;
      }
    }
    ::Sleep(static_cast<DWORD>((duration + 9999) / 10000));
  }

 private:
  bool Create(DWORD flags) {
    timer_ = ::CreateWaitableTimerExW(nullptr, nullptr, flags, TIMER_ALL_ACCESS);
    return timer_ != nullptr;
  }

  HANDLE timer_ = nullptr;
  std::int64_t frequency_ = 1;
};

// The calling thread's timer, made at its first pause and closed when the
// thread ends.
struct ThreadPacing {
  WindowsPacingSystem system;
  PacingTimer timer{system};
};

PacingTimer& ThreadTimer() { return PerThread<ThreadPacing>().timer; }

}  // namespace

void PreciseSleep(unsigned milliseconds) { ThreadTimer().Sleep(milliseconds); }

PacingScope::PacingScope() { ThreadTimer().TransferBegan(); }
PacingScope::~PacingScope() { ThreadTimer().TransferEnded(); }

const char* PauseTimerName() {
  switch (ThreadTimer().Mode()) {
    case PacingMode::kHighResolutionTimer:
      return "high-resolution waitable timer";
    case PacingMode::kRaisedTick:
      return "waitable timer, system tick raised to 1 ms while pacing";
    case PacingMode::kPlainSleep:
      return "Sleep, system tick raised to 1 ms while pacing";
  }
  return "?";
}

}  // namespace veltrane
