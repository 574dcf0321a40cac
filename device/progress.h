// Per-mille progress of a firmware transfer. Each link reports to the sink
// set on it (`HidDeviceLink::SetProgressSink`): the desktop program's firmware
// page, the command line's terminal bar, a bench one per unit.
#pragma once

#include <cstdint>

namespace veltrane {

class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void SetProgress(std::uint16_t per_mille) = 0;
};

}  // namespace veltrane
