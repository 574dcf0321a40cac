// System error codes as the device link's callers see them.
#pragma once

#include <cstdint>
#include <string>

#include "device/platform/hid_platform.h"

namespace veltrane::windows {

// ERROR_ACCESS_DENIED is kAccessDenied; a device that is gone or was never
// there (ERROR_FILE_NOT_FOUND, ERROR_DEVICE_NOT_CONNECTED) is kNotFound.
HidError MapSystemError(std::uint32_t code);

// The system's own sentence for `code` (FormatMessage), without the trailing
// line break; a neutral text with the number when the system has none.
std::string SystemErrorText(std::uint32_t code);

}  // namespace veltrane::windows
