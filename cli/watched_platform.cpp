#include "cli/watched_platform.h"

namespace veltrane::cli {

bool WatchedPlatform::WriteReport(HidHandle handle, const std::uint8_t* report,
                                  std::size_t length) {
  stopped_write_ = Stopped();
  if (stopped_write_) return false;
  return inner_.WriteReport(handle, report, length);
}

bool WatchedPlatform::SetOutputReport(HidHandle handle, const std::uint8_t* report,
                                      std::size_t length) {
  stopped_write_ = Stopped();
  if (stopped_write_) return false;
  return inner_.SetOutputReport(handle, report, length);
}

std::string WatchedPlatform::LastErrorText() const {
  return stopped_write_ ? "interrupted (stop requested)" : inner_.LastErrorText();
}

}  // namespace veltrane::cli
