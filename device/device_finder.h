// Finding the DAC, or saying why it cannot be had: one answer for the pages
// and the command line alike.
#pragma once

#include <string>

#include "device/hid_device_link.h"

namespace veltrane {

enum class FindOutcome {
  kFound,
  kNotFound,      // no interface of ours is present
  kAccessDenied,  // ours is present, but this user may not open it
  kOther,         // ours is present, but opening it failed for another reason
};

struct FindResult {
  FindOutcome outcome = FindOutcome::kNotFound;
  // The platform's advice for kAccessDenied (Linux: the udev rule); may be empty.
  std::string hint;
  // The sentence to show when not found (empty when found); for kAccessDenied
  // it is followed by the hint, or by general advice when there is none.
  std::string message;

  bool Found() const { return outcome == FindOutcome::kFound; }
};

// Runs the link's discovery and words its outcome.
FindResult FindOrExplain(HidDeviceLink& link);

}  // namespace veltrane
