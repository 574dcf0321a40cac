// The public keys whose signatures are trusted: every *.pub in the system's
// and the user's trusted-keys folders, and each --trusted-key file. A folder
// or file that someone else than its owners may change (file_trust.h), that
// cannot be read or that is no key is skipped with a warning that names it
// and says why.
#pragma once

#include <string>
#include <vector>

#include "service/minisign_signature.h"
#include "service/signing_files.h"

namespace veltrane {

enum class KeyOrigin { kSystem, kUser, kOption };

struct TrustedKey {
  MinisignPublicKey key;
  std::string path;
  KeyOrigin origin = KeyOrigin::kOption;
};

// "system", "user" or "--trusted-key".
const char* KeyOriginName(KeyOrigin origin);

class TrustedKeys {
 public:
  // Reads the folders' keys, then `option_files` (in that order). With
  // `system_only` (the system's file requires signatures) only the system's
  // folder is read.
  static TrustedKeys Load(const SigningPlaces& places, const std::vector<std::string>& option_files,
                          bool system_only = false);

  // The first key with this ID, or null.
  const TrustedKey* Find(const KeyId& id) const;
  const std::vector<TrustedKey>& Keys() const { return keys_; }
  // One sentence per skipped file or folder, naming it.
  const std::vector<std::string>& Warnings() const { return warnings_; }

 private:
  void AddFolder(const std::string& settings_dir, KeyOrigin origin, const SigningPlaces& places);
  void AddFile(const std::string& path, KeyOrigin origin, const SigningPlaces& places);

  std::vector<TrustedKey> keys_;
  std::vector<std::string> warnings_;
};

// The folder inside a settings folder that holds its keys.
std::string TrustedKeyFolder(const std::string& settings_dir);

}  // namespace veltrane
