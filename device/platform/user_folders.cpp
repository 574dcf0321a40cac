#include "device/platform/user_folders.h"

#include "device/platform/file_names.h"

#if defined(_WIN32)
// NOMINMAX and WIN32_LEAN_AND_MEAN come from the library's build.
#include <windows.h>
#else
#include <unistd.h>

#include <cstdlib>
#endif

namespace veltrane {

#if defined(_WIN32)

std::string UserDataFolder() {
  const std::string local = EnvironmentVariable("LOCALAPPDATA");
  if (local.empty()) return {};
  return local + "\\Veltrane";
}

std::string HostName() {
  wchar_t name[256] = {};
  DWORD length = 256;
  if (!::GetComputerNameExW(ComputerNameDnsHostname, name, &length)) return {};
  return Utf8Of(name, length);
}

#else

std::string UserDataFolder() {
  // Only an absolute XDG_DATA_HOME counts; a relative one is to be ignored.
  const char* data_home = std::getenv("XDG_DATA_HOME");
  if (data_home != nullptr && data_home[0] == '/') return std::string(data_home) + "/veltrane";
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] == '\0') return {};
  return std::string(home) + "/.local/share/veltrane";
}

std::string HostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

#endif

}  // namespace veltrane
