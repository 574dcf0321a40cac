#include "service/signing_policy.h"

#include "service/signing_texts.h"

namespace veltrane {
namespace {

namespace texts = signing_texts;

std::string_view Trimmed(std::string_view text) {
  const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!text.empty() && space(text.front())) text.remove_prefix(1);
  while (!text.empty() && space(text.back())) text.remove_suffix(1);
  return text;
}

SignatureVerdict Unreadable(std::string path, std::string reason) {
  SignatureVerdict v;
  v.state = SignatureState::kMalformed;
  v.signature_path = std::move(path);
  v.reason = std::move(reason);
  return v;
}

}  // namespace

std::string PolicyFile(const SigningPlaces& places) { return JoinPath(places.system_dir, "veltrane.conf"); }

SigningPolicy SigningPolicy::Parse(const std::string& text, const std::string& path) {
  SigningPolicy policy;
  std::string_view rest = text;
  for (std::size_t number = 1; !rest.empty(); ++number) {
    const std::size_t end = rest.find('\n');
    const std::string_view line = Trimmed(rest.substr(0, end));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    if (line.empty() || line.front() == '#' || line.front() == ';') continue;
    const std::size_t equals = line.find('=');
    const std::string at = std::to_string(number);
    if (equals == std::string_view::npos) {
      policy.warnings.push_back(texts::FillIn(texts::kPolicyBadLine, {path, at}));
      continue;
    }
    const std::string_view name = Trimmed(line.substr(0, equals));
    const std::string_view value = Trimmed(line.substr(equals + 1));
    if (name != "require-signed") {
      policy.warnings.push_back(texts::FillIn(texts::kPolicyUnknown, {path, at, name}));
      continue;
    }
    if (value == "false" || value == "no" || value == "0") continue;
    // A factory's setting fails closed: anything but a plain "no" requires.
    if (value != "true" && value != "yes" && value != "1") {
      policy.warnings.push_back(texts::FillIn(texts::kPolicyBadValue, {path, at}));
    }
    policy.require_signed = true;
    policy.required_by = texts::FillIn(texts::kRequiredByFile, {path});
  }
  return policy;
}

SigningPolicy SigningPolicy::Load(const SigningPlaces& places, bool option_requires) {
  SigningPolicy policy;
  if (!places.system_dir.empty()) {
    const std::string path = PolicyFile(places);
    std::string text;
    std::string problem;
    const SmallFileRead read = ReadSigningFile(path, &text, &problem);
    if (read == SmallFileRead::kOk) {
      policy = Parse(text, path);
    } else if (read != SmallFileRead::kMissing) {
      policy.require_signed = true;
      policy.required_by = texts::FillIn(texts::kRequiredByFile, {path});
      policy.warnings.push_back(texts::FillIn(texts::kPolicyUnreadable, {path, problem}));
    }
  }
  if (option_requires && !policy.require_signed) {
    policy.require_signed = true;
    policy.required_by = texts::kRequiredByOption;
  }
  return policy;
}

const char* SignatureVerdict::Name() const {
  switch (state) {
    case SignatureState::kUnsigned: return texts::kUnsigned;
    case SignatureState::kGood: return texts::kGood;
    case SignatureState::kBad: return texts::kBad;
    case SignatureState::kUntrusted: return texts::kUntrusted;
    case SignatureState::kMalformed: return texts::kMalformed;
    case SignatureState::kUnchecked: return texts::kUnchecked;
  }
  return texts::kMalformed;
}

std::string SignatureVerdict::Summary() const {
  if (state == SignatureState::kGood) {
    return texts::FillIn(texts::kSignedBy, {key_id}) +
           (trusted_comment.empty() ? "" : " (" + trusted_comment + ")");
  }
  if (state == SignatureState::kUnsigned && !refused) return texts::kUnsigned;
  return reason;
}

std::string SignaturePathFor(const std::string& image_path, const std::string& option) {
  if (!option.empty()) return option;
  if (image_path.empty() || image_path == "-") return "";
  return image_path + ".minisig";
}

ImageSigning ImageSigning::Load(const SigningPlaces& places, const SigningOptions& options) {
  ImageSigning signing;
  signing.options_ = options;
  signing.policy_ = SigningPolicy::Load(places, options.require_signed);
  signing.keys_ = TrustedKeys::Load(places, options.trusted_key_files);
  return signing;
}

std::vector<std::string> ImageSigning::Warnings() const {
  std::vector<std::string> all = policy_.warnings;
  all.insert(all.end(), keys_.Warnings().begin(), keys_.Warnings().end());
  return all;
}

SignatureVerdict ImageSigning::Check(std::span<const std::uint8_t> image,
                                    const std::string& image_path) const {
  const std::string path = SignaturePathFor(image_path, options_.signature_path);
  if (path.empty()) return SignatureVerdict{};
  std::string text;
  std::string problem;
  const SmallFileRead file = ReadSigningFile(path, &text, &problem);
  // No signature beside the image: an unsigned image. A named one must be there.
  if (file == SmallFileRead::kMissing && options_.signature_path.empty()) return SignatureVerdict{};
  if (file != SmallFileRead::kOk) return Unreadable(path, problem);
  MinisignSignature signature;
  std::string why;
  if (!ParseMinisignSignature(text, &signature, &why)) {
    return Unreadable(path, texts::FillIn(texts::kNotSignature, {path, why}));
  }
  SignatureVerdict read;
  read.signature_path = path;
  read.key_id = KeyIdText(signature.key_id);
  read.algorithm = signature.algorithm == SignatureAlgorithm::kPrehashed ? "prehashed" : "legacy";
  const TrustedKey* key = keys_.Find(signature.key_id);
  if (key == nullptr) {
    read.state = SignatureState::kUntrusted;
    read.reason = texts::FillIn(texts::kNotTrusted, {read.key_id});
    return read;
  }
  read.key_path = key->path;
  read.key_origin = key->origin;
  switch (VerifyMinisign(signature, key->key, image)) {
    case SignatureCheck::kGood:
      read.state = SignatureState::kGood;
      read.trusted_comment = signature.trusted_comment;
      break;
    case SignatureCheck::kImageMismatch:
      read.state = SignatureState::kBad;
      read.reason = texts::kDoesNotMatch;
      break;
    case SignatureCheck::kCommentMismatch:
      read.state = SignatureState::kBad;
      read.reason = texts::kCommentEdited;
      break;
    case SignatureCheck::kUnavailable:
      read.state = SignatureState::kUnchecked;
      read.reason = texts::FillIn(texts::kNoSupport, {path});
      break;
  }
  return read;
}

SignatureVerdict ImageSigning::Judge(std::span<const std::uint8_t> image,
                                     const std::string& image_path) const {
  SignatureVerdict v = Check(image, image_path);
  switch (v.state) {
    case SignatureState::kGood: break;
    case SignatureState::kUnsigned:
    case SignatureState::kUnchecked:
      v.refused = policy_.require_signed;
      if (v.refused && v.state == SignatureState::kUnsigned) {
        v.reason = texts::FillIn(texts::kUnsignedRefused, {policy_.required_by});
      }
      break;
    case SignatureState::kBad:
    case SignatureState::kUntrusted:
    case SignatureState::kMalformed: v.refused = true; break;
  }
  return v;
}

}  // namespace veltrane
