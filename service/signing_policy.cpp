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

// Well-formed UTF-8: no stray continuation bytes, no overlong forms, no
// surrogates, nothing past U+10FFFF.
bool ValidUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t extra = 0;
    std::uint32_t point = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      extra = 1;
      point = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2;
      point = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      extra = 3;
      point = c & 0x07;
    } else {
      return false;
    }
    if (i + extra >= text.size()) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      point = point << 6 | (next & 0x3F);
    }
    static constexpr std::uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
    if (point < kLeast[extra] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return false;
    i += extra + 1;
  }
  return true;
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
  // Anything the file says that is not plainly a setting requires signatures:
  // a factory's intent must not be lost to an editor's choice of encoding.
  const auto fail_closed = [&](std::string why) {
    policy.require_signed = true;
    policy.from_file = true;
    policy.required_by = texts::FillIn(texts::kRequiredByFile, {path});
    policy.warnings.push_back(std::move(why));
  };
  std::string_view rest = text;
  if (rest.starts_with("\xEF\xBB\xBF")) rest.remove_prefix(3);
  if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF")) {
    fail_closed(texts::FillIn(texts::kPolicyUtf16, {path}));
    return policy;
  }
  if (rest.find('\0') != std::string_view::npos) {
    fail_closed(texts::FillIn(texts::kPolicyNul, {path}));
    return policy;
  }
  if (!ValidUtf8(rest)) {
    fail_closed(texts::FillIn(texts::kPolicyNotUtf8, {path}));
    return policy;
  }
  for (std::size_t number = 1; !rest.empty(); ++number) {
    const std::size_t end = rest.find('\n');
    const std::string_view line = Trimmed(rest.substr(0, end));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    if (line.empty() || line.front() == '#' || line.front() == ';') continue;
    const std::size_t equals = line.find('=');
    const std::string at = std::to_string(number);
    if (equals == std::string_view::npos) {
      fail_closed(texts::FillIn(texts::kPolicyBadLine, {path, at}));
      continue;
    }
    const std::string_view name = Trimmed(line.substr(0, equals));
    const std::string_view value = Trimmed(line.substr(equals + 1));
    if (name != "require-signed") {
      fail_closed(texts::FillIn(texts::kPolicyUnknown, {path, at, name}));
      continue;
    }
    if (value == "false" || value == "no" || value == "0") continue;
    if (value != "true" && value != "yes" && value != "1") {
      fail_closed(texts::FillIn(texts::kPolicyBadValue, {path, at}));
      continue;
    }
    policy.require_signed = true;
    policy.from_file = true;
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
    // Whoever may change the file or its folder decides what it says.
    std::string why = read == SmallFileRead::kMissing ? "" : WhyNotTrusted(places.system_dir, TrustScope::kSystem, places);
    if (why.empty() && read != SmallFileRead::kMissing) why = WhyNotTrusted(path, TrustScope::kSystem, places);
    if (read == SmallFileRead::kOk && why.empty()) {
      policy = Parse(text, path);
    } else if (read != SmallFileRead::kMissing) {
      policy.require_signed = true;
      policy.from_file = true;
      policy.required_by = texts::FillIn(texts::kRequiredByFile, {path});
      policy.warnings.push_back(texts::FillIn(texts::kPolicyUnreadable, {why.empty() ? problem : why}));
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
    case SignatureState::kLegacy: return texts::kLegacy;
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
  // The system's own requirement is the system's own keys': no user may add one.
  const bool system_only = signing.policy_.from_file;
  signing.keys_ = TrustedKeys::Load(places, options.trusted_key_files, system_only);
  if (system_only && (!options.trusted_key_files.empty() ||
                      (!places.user_dir.empty() && !KeyFilesIn(TrustedKeyFolder(places.user_dir)).empty()))) {
    signing.policy_.warnings.push_back(texts::FillIn(
        texts::kOnlySystemKeys, {signing.policy_.required_by, TrustedKeyFolder(places.system_dir)}));
  }
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
  return CheckText(image, text, path);
}

SignatureVerdict ImageSigning::CheckText(std::span<const std::uint8_t> image, const std::string& text,
                                        const std::string& path) const {
  MinisignSignature signature;
  std::string why;
  if (!ParseMinisignSignature(text, &signature, &why)) {
    return Unreadable(path, texts::FillIn(texts::kNotSignature, {path, why}));
  }
  SignatureVerdict read;
  read.signature_path = path;
  read.key_id = KeyIdText(signature.key_id);
  const bool legacy = signature.algorithm == SignatureAlgorithm::kLegacy;
  read.algorithm = legacy ? texts::kFormLegacy : texts::kFormPrehashed;
  // The form's two letters are not covered by the signature: "ED" turned
  // into "Ed" is a good legacy signature over the image's BLAKE2b hash, 64
  // bytes anyone could then send as an image. Only the prehashed form is
  // taken unless the user asks for the other where nothing requires signatures.
  if (legacy && (policy_.require_signed || !options_.allow_legacy)) {
    read.state = SignatureState::kLegacy;
    read.reason = policy_.require_signed ? texts::FillIn(texts::kLegacyRequired, {policy_.required_by})
                                         : std::string(texts::kLegacyRefused);
    return read;
  }
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
      read.signature_text = text;
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

SignatureVerdict ImageSigning::Policed(SignatureVerdict v) const {
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
    case SignatureState::kMalformed:
    case SignatureState::kLegacy: v.refused = true; break;
  }
  return v;
}

SignatureVerdict ImageSigning::Judge(std::span<const std::uint8_t> image,
                                     const std::string& image_path) const {
  return Policed(Check(image, image_path));
}

SignatureVerdict ImageSigning::JudgeText(std::span<const std::uint8_t> image, const std::string& text,
                                         const std::string& signature_path) const {
  return Policed(CheckText(image, text, signature_path));
}

}  // namespace veltrane
