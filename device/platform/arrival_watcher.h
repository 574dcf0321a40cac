// Devices coming and going: the one watcher of the platform layer. A udev
// monitor on Linux and device-change notifications on Windows can stand
// behind it; polling the interface list is the fallback every platform has,
// and the simulated DAC plugs its scheduled arrivals in through it.
#pragma once

#include <memory>

namespace veltrane {

class HidPlatform;

class ArrivalWatcher {
 public:
  virtual ~ArrivalWatcher() = default;
  // Waits at most `timeout_ms` for a HID device to arrive or leave. True
  // when one may have: the caller lists the interfaces again.
  virtual bool WaitForChange(unsigned timeout_ms) = 0;
};

// Lists `platform`'s interfaces every `period_ms` and reports a change of the
// set of paths. The platform must outlive the watcher.
std::unique_ptr<ArrivalWatcher> CreatePollingWatcher(HidPlatform& platform, unsigned period_ms = 250);

}  // namespace veltrane
