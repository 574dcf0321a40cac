// Devices coming and going on Linux, as udev announces them: a monitor of
// the hidraw and USB subsystems, read without blocking longer than asked.
#pragma once

#include <memory>

#include "device/platform/arrival_watcher.h"

namespace veltrane {

// Null when no udev monitor can be had (no udev daemon, a container): the
// caller falls back to polling. Without `hidraw_nodes` only USB devices are
// watched: the usbfs transport's own claim takes the hidraw node away and
// gives it back, which is no plug or unplug.
std::unique_ptr<ArrivalWatcher> CreateUdevArrivalWatcher(bool hidraw_nodes = true);

}  // namespace veltrane
