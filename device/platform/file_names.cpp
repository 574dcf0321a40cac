#include "device/platform/file_names.h"

#include <cstdlib>
#include <cwchar>

#ifdef _WIN32
// NOMINMAX and WIN32_LEAN_AND_MEAN come from the library's build.
#include <windows.h>
#include <shellapi.h>
#endif

namespace veltrane {

#ifdef _WIN32

// Invalid UTF-8 becomes U+FFFD (no MB_ERR_INVALID_CHARS): such a name then
// names no file, and opening it fails as a missing file does.
std::wstring WideOf(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int size = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  if (size <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
  return wide;
}

std::string Utf8Of(const wchar_t* wide, std::size_t length) {
  if (length == 0) return {};
  const int n = static_cast<int>(length);
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide, n, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string utf8(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide, n, utf8.data(), size, nullptr, nullptr);
  return utf8;
}

std::string Utf8Of(const std::wstring& wide) { return Utf8Of(wide.data(), wide.size()); }

std::filesystem::path PathOf(const std::string& name) { return std::filesystem::path(WideOf(name)); }

std::string NameOf(const std::filesystem::path& path) { return Utf8Of(path.native()); }

std::FILE* OpenFile(const std::string& name, const char* mode) {
  return ::_wfopen(WideOf(name).c_str(), WideOf(mode).c_str());
}

std::string EnvironmentVariable(const char* name) {
  const wchar_t* value = ::_wgetenv(WideOf(name).c_str());
  return value != nullptr ? Utf8Of(value, std::wcslen(value)) : std::string();
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
  std::vector<std::string> args;
  for (int i = 1; i < count; ++i) args.push_back(Utf8Of(wide[i], std::wcslen(wide[i])));
  ::LocalFree(wide);
  return args;
}

#else

std::filesystem::path PathOf(const std::string& name) { return std::filesystem::path(name); }

std::string NameOf(const std::filesystem::path& path) { return path.native(); }

std::FILE* OpenFile(const std::string& name, const char* mode) { return std::fopen(name.c_str(), mode); }

std::string EnvironmentVariable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

#endif

}  // namespace veltrane
