#include "device/device_finder.h"

#include <cstdio>

#include "device/device_texts.h"

namespace veltrane {

FindResult FindOrExplain(HidDeviceLink& link) {
  FindResult result;
  if (link.FindDevice() == 1) {
    result.outcome = FindOutcome::kFound;
    return result;
  }
  const LinkFailure& failure = link.LastFailure();
  if (link.AccessDenied()) {
    result.outcome = FindOutcome::kAccessDenied;
    result.hint = link.Platform().AccessDeniedHint();
    result.message = device_texts::kAccessDenied;
    result.message += '\n';
    result.message += result.hint.empty() ? device_texts::kAccessDeniedNoHint : result.hint.c_str();
  } else if (failure.stage == LinkStage::kOpening) {
    result.outcome = FindOutcome::kOther;
    char text[512];
    std::snprintf(text, sizeof text, device_texts::kCannotOpen, failure.system_text.c_str());
    result.message = text;
  } else {
    result.outcome = FindOutcome::kNotFound;
    result.message = device_texts::kNotFound;
  }
  return result;
}

}  // namespace veltrane
