#include "device/platform/pacing_timer.h"

namespace veltrane {

PacingTimer::PacingTimer(PacingSystem& system) : system_(system) {
  if (system_.CreateHighResolutionTimer()) {
    mode_ = PacingMode::kHighResolutionTimer;
  } else if (system_.CreatePlainTimer()) {
    mode_ = PacingMode::kRaisedTick;
  } else {
    mode_ = PacingMode::kPlainSleep;
  }
}

PacingTimer::~PacingTimer() { Lower(); }

bool PacingTimer::Raise() {
  if (mode_ == PacingMode::kHighResolutionTimer || tick_raised_) return false;
  tick_raised_ = system_.RaiseTick();
  return tick_raised_;
}

void PacingTimer::Lower() {
  if (!tick_raised_) return;
  system_.LowerTick();
  tick_raised_ = false;
}

void PacingTimer::TransferBegan() {
  if (transfers_++ == 0) Raise();
}

void PacingTimer::TransferEnded() {
  if (transfers_ == 0) return;
  if (--transfers_ == 0) Lower();
}

void PacingTimer::Sleep(unsigned milliseconds) {
  const std::int64_t deadline = system_.Now() + std::int64_t{milliseconds} * 10000;
  // Outside a transfer the tick is raised for this pause alone.
  const bool raised_here = transfers_ == 0 && Raise();
  for (std::int64_t left = deadline - system_.Now(); left > 0; left = deadline - system_.Now()) {
    system_.Wait(left);
  }
  if (raised_here) Lower();
}

}  // namespace veltrane
