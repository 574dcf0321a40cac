#include "service/trusted_keys.h"

#include <algorithm>

#include "service/signing_texts.h"

namespace veltrane {
namespace {

namespace texts = signing_texts;

}  // namespace

const char* KeyOriginName(KeyOrigin origin) {
  switch (origin) {
    case KeyOrigin::kSystem: return texts::kOriginSystem;
    case KeyOrigin::kUser: return texts::kOriginUser;
    case KeyOrigin::kOption: return texts::kOriginOption;
  }
  return texts::kOriginOption;
}

std::string TrustedKeyFolder(const std::string& settings_dir) {
  return JoinPath(settings_dir, "trusted-keys");
}

TrustedKeys TrustedKeys::Load(const SigningPlaces& places, const std::vector<std::string>& option_files,
                              bool system_only) {
  TrustedKeys keys;
  if (!places.system_dir.empty()) keys.AddFolder(places.system_dir, KeyOrigin::kSystem, places);
  if (system_only) return keys;
  if (!places.user_dir.empty()) keys.AddFolder(places.user_dir, KeyOrigin::kUser, places);
  for (const std::string& path : option_files) keys.AddFile(path, KeyOrigin::kOption, places);
  return keys;
}

const TrustedKey* TrustedKeys::Find(const KeyId& id) const {
  const auto it = std::find_if(keys_.begin(), keys_.end(),
                               [&id](const TrustedKey& k) { return k.key.key_id == id; });
  return it == keys_.end() ? nullptr : &*it;
}

void TrustedKeys::AddFolder(const std::string& settings_dir, KeyOrigin origin, const SigningPlaces& places) {
  // Whoever may add a file to the folder, or put another folder in its place,
  // may add a key.
  const std::string dir = TrustedKeyFolder(settings_dir);
  const TrustScope scope = origin == KeyOrigin::kSystem ? TrustScope::kSystem : TrustScope::kUser;
  const std::vector<std::string> files = KeyFilesIn(dir);
  if (files.empty()) return;
  for (const std::string& folder : {settings_dir, dir}) {
    if (const std::string why = WhyNotTrusted(folder, scope, places); !why.empty()) {
      warnings_.push_back(texts::FillIn(texts::kFolderSkipped, {why}));
      return;
    }
  }
  for (const std::string& path : files) AddFile(path, origin, places);
}

void TrustedKeys::AddFile(const std::string& path, KeyOrigin origin, const SigningPlaces& places) {
  std::string text;
  std::string problem;
  ReadSigningFile(path, &text, &problem);
  TrustedKey key;
  const TrustScope scope = origin == KeyOrigin::kSystem ? TrustScope::kSystem : TrustScope::kUser;
  if (problem.empty()) problem = WhyNotTrusted(path, scope, places);
  if (problem.empty() && !ParseMinisignPublicKey(text, &key.key, &problem)) {
    problem = texts::FillIn(texts::kNotPublicKey, {path, problem});
  }
  if (!problem.empty()) {
    warnings_.push_back(texts::FillIn(texts::kKeySkipped, {problem}));
    return;
  }
  key.path = path;
  key.origin = origin;
  keys_.push_back(std::move(key));
}

}  // namespace veltrane
