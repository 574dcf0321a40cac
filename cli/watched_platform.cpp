#include "cli/watched_platform.h"

namespace veltrane::cli {

void WatchedPlatform::ResetCounts() {
  output_reports_sent_ = 0;
  writes_sent_ = 0;
  writes_failed_ = 0;
  device_gone_ = false;
}

bool WatchedPlatform::SetOutputReport(HidHandle handle, const std::uint8_t* report,
                                      std::size_t length) {
  if (inner_.SetOutputReport(handle, report, length)) {
    ++output_reports_sent_;
    return true;
  }
  if (inner_.LastError() == HidError::kNotFound) device_gone_ = true;
  return false;
}

bool WatchedPlatform::WriteReport(HidHandle handle, const std::uint8_t* report,
                                  std::size_t length) {
  if (Stopped()) {
    ++writes_failed_;
    return false;
  }
  if (inner_.WriteReport(handle, report, length)) {
    ++writes_sent_;
    return true;
  }
  ++writes_failed_;
  if (inner_.LastError() == HidError::kNotFound) device_gone_ = true;
  return false;
}

bool WatchedPlatform::GetInputReport(HidHandle handle, std::uint8_t* report, std::size_t length) {
  if (inner_.GetInputReport(handle, report, length)) return true;
  if (inner_.LastError() == HidError::kNotFound) device_gone_ = true;
  return false;
}

}  // namespace veltrane::cli
