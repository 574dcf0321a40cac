// Who may change the files that decide which images are trusted: the
// system's settings folder, its key files and its policy file, and the
// user's folder. The judgements are pure, over what the system says of a
// file (owner and mode bits on Linux; owner and access list as an SDDL
// string on Windows), so that every case is tested whoever runs the tests;
// signing_files.cpp asks the system and picks the judgement for the build.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace veltrane {

enum class TrustScope {
  kSystem,  // only the system's administrators may change it
  kUser,    // only they and the user
};

// Linux: empty when a file owned by `owner` with `mode` (st_mode bits) counts
// for `scope`, else why not, naming `path`. kSystem: owned by `system_owner`
// (root) and writable by neither group nor others, as sshd and sudo judge
// their files; kUser: owned by `user` (or `system_owner`) and not writable by
// others.
std::string JudgeOwnerAndMode(TrustScope scope, const std::string& path, std::uint32_t owner, std::uint32_t mode,
                              std::uint32_t user, std::uint32_t system_owner);

// Windows: empty when the security descriptor `sddl` (owner and DACL, as
// ConvertSecurityDescriptorToStringSecurityDescriptor writes it) lets no
// principal but SYSTEM, Administrators and TrustedInstaller (and for kUser
// `user_sid`) own or write the file, else why not, naming `path`. Deny
// entries are not weighed: an allow entry for anyone else is enough to refuse.
std::string JudgeSecurityDescriptor(TrustScope scope, const std::string& path, std::string_view sddl,
                                    std::string_view user_sid);

}  // namespace veltrane
