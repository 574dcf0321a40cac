// Devices coming and going on Linux, as udev announces them: a monitor of
// the hidraw and USB subsystems, read without blocking longer than asked.
#pragma once

#include <memory>

#include "device/platform/arrival_watcher.h"

namespace veltrane {

// Null when no udev monitor can be had (no udev daemon, a container): the
// caller falls back to polling.
std::unique_ptr<ArrivalWatcher> CreateUdevArrivalWatcher();

}  // namespace veltrane
