#include "service/signing_files.h"

#include <algorithm>
#include <cwchar>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>
#endif

#include "device/image_file.h"
#include "device/platform/file_names.h"
#include "device/platform/file_owner.h"
#include "service/minisign_signature.h"
#include "service/signing_texts.h"

namespace veltrane {
namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
// The known folder, not %ProgramData%: a user's environment must not move the
// system's policy somewhere the user may write.
std::string ProgramDataFolder() {
  PWSTR wide = nullptr;
  std::string path = "C:\\ProgramData";
  if (SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &wide) == S_OK) {
    path = Utf8Of(wide, std::wcslen(wide));
  }
  CoTaskMemFree(wide);
  return path;
}
#endif

}  // namespace

SigningPlaces SystemSigningPlaces() {
  SigningPlaces places;
#ifdef _WIN32
  places.system_dir = JoinPath(ProgramDataFolder(), "Veltrane");
  const std::string appdata = EnvironmentVariable("APPDATA");
  if (!appdata.empty()) places.user_dir = JoinPath(appdata, "Veltrane");
#else
  places.system_dir = VELTRANE_SYSTEM_CONFIG_DIR;
  std::string config = EnvironmentVariable("XDG_CONFIG_HOME");
  if (config.empty() || config.front() != '/') {
    const std::string home = EnvironmentVariable("HOME");
    config = home.empty() ? "" : home + "/.config";
  }
  if (!config.empty()) places.user_dir = config + "/veltrane";
#endif
  return places;
}

std::string JoinPath(const std::string& dir, const std::string& name) {
  return NameOf(PathOf(dir) / PathOf(name));
}

std::vector<std::string> KeyFilesIn(const std::string& dir) {
  std::vector<std::string> files;
  std::error_code error;
  for (fs::directory_iterator it(PathOf(dir), error), end; !error && it != end; it.increment(error)) {
    if (it->path().extension() == ".pub") files.push_back(NameOf(it->path()));
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string WhyNotTrusted(const std::string& path, TrustScope scope, const SigningPlaces& places) {
  const FileOwner owner = ReadFileOwner(path);
  if (!owner.exists) return {};
  if (!owner.error.empty()) {
    return signing_texts::FillIn(signing_texts::kUnreadable, {path, owner.error});
  }
#ifdef _WIN32
  (void)places;
  return JudgeSecurityDescriptor(scope, path, owner.sddl, CurrentUserSid());
#else
  return JudgeOwnerAndMode(scope, path, owner.owner, owner.mode, CurrentUserId(), places.system_owner);
#endif
}

SmallFileRead ReadSmallFile(const std::string& path, std::size_t limit, std::string* text,
                            std::string* reason) {
  std::error_code error;
  const fs::file_status status = fs::status(PathOf(path), error);
  if (status.type() == fs::file_type::not_found) return SmallFileRead::kMissing;
  if (error) {
    *reason = error.message();
    return SmallFileRead::kUnreadable;
  }
  if (status.type() != fs::file_type::regular) return SmallFileRead::kNotRegular;
  const ImageFile file = ReadImageFile(path, limit);
  switch (file.status) {
    case ImageFileStatus::kOk: break;
    case ImageFileStatus::kMissing: return SmallFileRead::kMissing;
    case ImageFileStatus::kTooLarge: return SmallFileRead::kTooLarge;
    case ImageFileStatus::kUnreadable: *reason = file.system_text; return SmallFileRead::kUnreadable;
  }
  text->assign(file.bytes.begin(), file.bytes.end());
  return SmallFileRead::kOk;
}

SmallFileRead ReadSigningFile(const std::string& path, std::string* text, std::string* problem) {
  namespace texts = signing_texts;
  std::string reason;
  const SmallFileRead read = ReadSmallFile(path, kMaxSignatureFile, text, &reason);
  switch (read) {
    case SmallFileRead::kOk: break;
    case SmallFileRead::kMissing: *problem = texts::FillIn(texts::kNoSuchFile, {path}); break;
    case SmallFileRead::kNotRegular: *problem = texts::FillIn(texts::kNotRegular, {path}); break;
    case SmallFileRead::kTooLarge:
      *problem = texts::FillIn(texts::kTooLarge, {path, std::to_string(kMaxSignatureFile)});
      break;
    case SmallFileRead::kUnreadable: *problem = texts::FillIn(texts::kUnreadable, {path, reason}); break;
  }
  return read;
}

}  // namespace veltrane
