#include "device/platform/windows/windows_error.h"

#include <cstdio>

#include "device/platform/windows/windows_headers.h"

namespace veltrane::windows {

HidError MapSystemError(std::uint32_t code) {
  switch (code) {
    case ERROR_SUCCESS:
      return HidError::kNone;
    case ERROR_ACCESS_DENIED:
      return HidError::kAccessDenied;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_DEVICE_NOT_CONNECTED:
      return HidError::kNotFound;
    case ERROR_CALL_NOT_IMPLEMENTED:
    case ERROR_PROC_NOT_FOUND:
      return HidError::kUnsupported;
    case ERROR_SEM_TIMEOUT:
    case WAIT_TIMEOUT:
      return HidError::kTimedOut;
    default:
      return HidError::kOther;
  }
}

std::string SystemErrorText(std::uint32_t code) {
  char* buffer = nullptr;
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&buffer), 0,
      nullptr);
  std::string text;
  if (buffer != nullptr) {
    text.assign(buffer, length);
    ::LocalFree(buffer);
  }
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  if (text.empty()) {
    char fallback[48];
    std::snprintf(fallback, sizeof fallback, "System error %lu.", static_cast<unsigned long>(code));
    text = fallback;
  }
  return text;
}

}  // namespace veltrane::windows
