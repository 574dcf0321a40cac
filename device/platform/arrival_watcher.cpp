#include "device/platform/arrival_watcher.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "device/platform/hid_platform.h"

namespace veltrane {
namespace {

class PollingWatcher : public ArrivalWatcher {
 public:
  PollingWatcher(HidPlatform& platform, unsigned period_ms)
      : platform_(platform), period_ms_(std::max(1u, period_ms)), paths_(Paths()) {}

  // Lists the interfaces at its own period, however short the caller's waits.
  bool WaitForChange(unsigned timeout_ms) override {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
      std::this_thread::sleep_until(std::min(end, next_poll_));
      const auto now = Clock::now();
      if (now >= next_poll_) {
        next_poll_ = now + std::chrono::milliseconds(period_ms_);
        std::vector<std::string> paths = Paths();
        if (paths != paths_) {
          paths_ = std::move(paths);
          return true;
        }
      }
      if (now >= end) return false;
    }
  }

 private:
  std::vector<std::string> Paths() {
    std::vector<std::string> paths;
    for (const HidInterface& iface : platform_.EnumerateInterfaces()) paths.push_back(iface.path);
    std::sort(paths.begin(), paths.end());
    return paths;
  }

  HidPlatform& platform_;
  unsigned period_ms_;
  std::vector<std::string> paths_;
  std::chrono::steady_clock::time_point next_poll_ =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(period_ms_);
};

}  // namespace

std::unique_ptr<ArrivalWatcher> CreatePollingWatcher(HidPlatform& platform, unsigned period_ms) {
  return std::make_unique<PollingWatcher>(platform, period_ms);
}

std::unique_ptr<ArrivalWatcher> HidPlatform::CreateArrivalWatcher() {
  return CreatePollingWatcher(*this);
}

}  // namespace veltrane
