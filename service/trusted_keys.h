// The public keys whose signatures are trusted: every *.pub in the system's
// and the user's trusted-keys folders, and each --trusted-key file. A file
// that cannot be read, that anyone may write to, or that is no key is
// skipped with a warning that names it.
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
  // Reads the folders' keys, then `option_files` (in that order).
  static TrustedKeys Load(const SigningPlaces& places, const std::vector<std::string>& option_files);

  // The first key with this ID, or null.
  const TrustedKey* Find(const KeyId& id) const;
  const std::vector<TrustedKey>& Keys() const { return keys_; }
  // One sentence per skipped file or folder, naming it.
  const std::vector<std::string>& Warnings() const { return warnings_; }

 private:
  void AddFolder(const std::string& dir, KeyOrigin origin);
  void AddFile(const std::string& path, KeyOrigin origin);

  std::vector<TrustedKey> keys_;
  std::vector<std::string> warnings_;
};

// The folder inside a settings folder that holds its keys.
std::string TrustedKeyFolder(const std::string& settings_dir);

}  // namespace veltrane
