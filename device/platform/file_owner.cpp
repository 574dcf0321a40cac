#include "device/platform/file_owner.h"

#include "device/platform/file_names.h"

#if defined(_WIN32)
// NOMINMAX and WIN32_LEAN_AND_MEAN come from the library's build.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#else
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace veltrane {

#if defined(_WIN32)

FileOwner ReadFileOwner(const std::string& path) {
  FileOwner owner;
  const std::wstring wide = WideOf(path);
  if (::GetFileAttributesW(wide.c_str()) == INVALID_FILE_ATTRIBUTES) return owner;
  owner.exists = true;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const SECURITY_INFORMATION wanted = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  const DWORD got = ::GetNamedSecurityInfoW(wide.c_str(), SE_FILE_OBJECT, wanted, nullptr, nullptr, nullptr,
                                            nullptr, &descriptor);
  if (got != ERROR_SUCCESS) {
    owner.error = "error " + std::to_string(got);
    return owner;
  }
  LPWSTR text = nullptr;
  if (::ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, wanted, &text,
                                                             nullptr)) {
    owner.sddl = Utf8Of(std::wstring(text));
    ::LocalFree(text);
  } else {
    owner.error = "error " + std::to_string(::GetLastError());
  }
  ::LocalFree(descriptor);
  return owner;
}

std::uint32_t CurrentUserId() { return 0; }

std::string CurrentUserSid() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  std::string sid;
  DWORD size = 0;
  ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::string buffer(size, '\0');
  if (size > 0 && ::GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
    const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.data());
    LPWSTR text = nullptr;
    if (::ConvertSidToStringSidW(user->User.Sid, &text)) {
      sid = Utf8Of(std::wstring(text));
      ::LocalFree(text);
    }
  }
  ::CloseHandle(token);
  return sid;
}

#else

FileOwner ReadFileOwner(const std::string& path) {
  FileOwner owner;
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    if (errno != ENOENT && errno != ENOTDIR) {
      owner.exists = true;
      owner.error = std::strerror(errno);
    }
    return owner;
  }
  owner.exists = true;
  owner.owner = status.st_uid;
  owner.mode = status.st_mode;
  return owner;
}

std::uint32_t CurrentUserId() { return ::getuid(); }

std::string CurrentUserSid() { return {}; }

#endif

}  // namespace veltrane
