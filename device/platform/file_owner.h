// What the system says of who may change a file or folder: its owner and
// mode bits (Linux), or its owner and access list as an SDDL string
// (Windows). The signing library judges the answer (service/file_trust.h).
#pragma once

#include <cstdint>
#include <string>

namespace veltrane {

struct FileOwner {
  bool exists = false;
  std::string error;        // set when it exists but the system would not say
  std::uint32_t owner = 0;  // Linux: st_uid
  std::uint32_t mode = 0;   // Linux: st_mode
  std::string sddl;         // Windows: "O:…D:…"
};

// Follows symbolic links: what counts is the file that is read.
FileOwner ReadFileOwner(const std::string& path);

// The user this program runs as: the real user ID (Linux, 0 on Windows).
std::uint32_t CurrentUserId();
// The user's SID as text, "S-1-5-21-…" (Windows; empty elsewhere, or when
// the system will not say).
std::string CurrentUserSid();

}  // namespace veltrane
