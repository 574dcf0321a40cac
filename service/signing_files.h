// Everything the signing library asks of the system, in one place: where the
// system's and the user's settings live, which key files a folder holds,
// who may change a file, and bounded reads of small files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "service/file_trust.h"

namespace veltrane {

// The folders that hold veltrane.conf and trusted-keys/. Tests and special
// builds hand their own; the programs take SystemSigningPlaces().
struct SigningPlaces {
  std::string system_dir;  // /etc/veltrane, %ProgramData%\Veltrane
  std::string user_dir;    // $XDG_CONFIG_HOME/veltrane, %APPDATA%\Veltrane; empty when unknown
  // Linux: who must own the system's folder and files (root; a test hands
  // whoever runs it).
  std::uint32_t system_owner = 0;
};

SigningPlaces SystemSigningPlaces();

// `dir` joined with `name` by the system's separator.
std::string JoinPath(const std::string& dir, const std::string& name);

// The *.pub files in `dir`, sorted by name; none when the folder is missing.
std::vector<std::string> KeyFilesIn(const std::string& dir);

// Empty when `path` (a folder or file) counts for `scope` or is not there;
// else why not, naming it: on Linux its owner and mode bits, on Windows its
// owner and access list (service/file_trust.h).
std::string WhyNotTrusted(const std::string& path, TrustScope scope, const SigningPlaces& places);

enum class SmallFileRead { kOk, kMissing, kNotRegular, kUnreadable, kTooLarge };

// Reads a regular file of at most `limit` bytes; never blocks on a FIFO or a
// device. On kUnreadable `reason` holds the system's word for it.
SmallFileRead ReadSmallFile(const std::string& path, std::size_t limit, std::string* text,
                            std::string* reason);

// Reads a signature, key or settings file (at most kMaxSignatureFile bytes).
// Unless kOk, `problem` says why, naming the file.
SmallFileRead ReadSigningFile(const std::string& path, std::string* text, std::string* problem);

}  // namespace veltrane
