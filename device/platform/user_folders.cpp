#include "device/platform/user_folders.h"

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cwchar>
#else
#include <unistd.h>

#include <cstdlib>
#endif

namespace veltrane {

#if defined(_WIN32)

namespace {

std::string Utf8(const wchar_t* text, int length) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string out(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
  return out;
}

}  // namespace

std::string UserDataFolder() {
  const wchar_t* local = ::_wgetenv(L"LOCALAPPDATA");
  if (local == nullptr || *local == L'\0') return {};
  return Utf8(local, static_cast<int>(std::wcslen(local))) + "\\Veltrane";
}

std::string HostName() {
  wchar_t name[256] = {};
  DWORD length = 256;
  if (!::GetComputerNameExW(ComputerNameDnsHostname, name, &length)) return {};
  return Utf8(name, static_cast<int>(length));
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
