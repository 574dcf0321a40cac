// Devices coming and going on Windows: the configuration manager's
// notifications of HID device interfaces arriving and leaving, handed from
// its thread to whoever waits through one event.
#pragma once

#include <memory>

#include "device/platform/arrival_watcher.h"

namespace veltrane {

// Null when the system offers no such notifications (before Windows 8, or
// under wine, which lists them but aborts when one is called): the caller
// falls back to polling.
std::unique_ptr<ArrivalWatcher> CreateDeviceChangeWatcher();

}  // namespace veltrane
