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

TrustedKeys TrustedKeys::Load(const SigningPlaces& places, const std::vector<std::string>& option_files) {
  TrustedKeys keys;
  if (!places.system_dir.empty()) keys.AddFolder(TrustedKeyFolder(places.system_dir), KeyOrigin::kSystem);
  if (!places.user_dir.empty()) keys.AddFolder(TrustedKeyFolder(places.user_dir), KeyOrigin::kUser);
  for (const std::string& path : option_files) keys.AddFile(path, KeyOrigin::kOption);
  return keys;
}

const TrustedKey* TrustedKeys::Find(const KeyId& id) const {
  const auto it = std::find_if(keys_.begin(), keys_.end(),
                               [&id](const TrustedKey& k) { return k.key.key_id == id; });
  return it == keys_.end() ? nullptr : &*it;
}

void TrustedKeys::AddFolder(const std::string& dir, KeyOrigin origin) {
  // Anyone who may add a file to the folder may add a key.
  if (AnyoneMayWrite(dir)) {
    warnings_.push_back(texts::FillIn(texts::kFolderSkipped, {texts::FillIn(texts::kAnyoneMayWrite, {dir})}));
    return;
  }
  for (const std::string& path : KeyFilesIn(dir)) AddFile(path, origin);
}

void TrustedKeys::AddFile(const std::string& path, KeyOrigin origin) {
  std::string text;
  std::string problem;
  ReadSigningFile(path, &text, &problem);
  TrustedKey key;
  if (problem.empty() && AnyoneMayWrite(path)) problem = texts::FillIn(texts::kAnyoneMayWrite, {path});
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
