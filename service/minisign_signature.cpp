#include "service/minisign_signature.h"

#include <optional>
#include <vector>

#if VELTRANE_HAVE_SODIUM
#include <sodium.h>
#endif

#include "service/signing_texts.h"

namespace veltrane {
namespace {

namespace texts = signing_texts;

constexpr std::string_view kUntrustedPrefix = "untrusted comment: ";
constexpr std::string_view kTrustedPrefix = "trusted comment: ";
constexpr std::size_t kSignatureBytes = 2 + 8 + 64;
constexpr std::size_t kKeyBytes = 2 + 8 + 32;

std::string Hex(std::span<const std::uint8_t> bytes, bool reversed) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const std::uint8_t b = bytes[reversed ? bytes.size() - 1 - i : i];
    text += kDigits[b >> 4];
    text += kDigits[b & 0x0f];
  }
  return text;
}

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Strict standard base64: padded to a multiple of four, nothing else on the
// line, and no bits left over in the last group.
std::optional<std::vector<std::uint8_t>> DecodeBase64(std::string_view text) {
  if (text.empty() || text.size() % 4 != 0) return std::nullopt;
  std::size_t padding = 0;
  while (padding < 2 && text[text.size() - 1 - padding] == '=') ++padding;
  std::vector<std::uint8_t> bytes;
  std::uint32_t bits = 0;
  int held = 0;
  for (std::size_t i = 0; i < text.size() - padding; ++i) {
    const int value = Base64Value(text[i]);
    if (value < 0) return std::nullopt;
    bits = (bits << 6) | static_cast<std::uint32_t>(value);
    held += 6;
    if (held >= 8) {
      held -= 8;
      bytes.push_back(static_cast<std::uint8_t>(bits >> held));
      bits &= (1u << held) - 1;
    }
  }
  if (bits != 0) return std::nullopt;
  return bytes;
}

// The file's lines without their line ends; CRLF and a last line without an
// end are taken, blank lines at the end dropped.
std::vector<std::string_view> LinesOf(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

// Decodes a base64 line that must hold exactly `size` bytes.
bool DecodeLine(std::string_view line, std::size_t size, const char* name,
                std::vector<std::uint8_t>* bytes, std::string* reason) {
  std::optional<std::vector<std::uint8_t>> decoded = DecodeBase64(line);
  if (!decoded) {
    *reason = texts::FillIn(texts::kBadBase64, {name});
    return false;
  }
  if (decoded->size() != size) {
    *reason = texts::FillIn(texts::kWrongLength,
                            {name, std::to_string(decoded->size()), std::to_string(size)});
    return false;
  }
  *bytes = std::move(*decoded);
  return true;
}

}  // namespace

std::string KeyIdText(const KeyId& id) { return "0x" + Hex(id, true); }

bool ParseMinisignSignature(std::string_view text, MinisignSignature* signature, std::string* reason) {
  const std::vector<std::string_view> lines = LinesOf(text);
  if (lines.empty() || !lines[0].starts_with(kUntrustedPrefix)) {
    *reason = texts::kNoUntrustedComment;
    return false;
  }
  if (lines.size() < 2) {
    *reason = texts::kNoSignatureLine;
    return false;
  }
  std::vector<std::uint8_t> bytes;
  if (!DecodeLine(lines[1], kSignatureBytes, texts::kSignatureLine, &bytes, reason)) return false;
  if (bytes[0] == 'E' && bytes[1] == 'd') {
    signature->algorithm = SignatureAlgorithm::kLegacy;
  } else if (bytes[0] == 'E' && bytes[1] == 'D') {
    signature->algorithm = SignatureAlgorithm::kPrehashed;
  } else {
    *reason = texts::FillIn(texts::kUnknownAlgorithm, {Hex({bytes.data(), 2}, false)});
    return false;
  }
  if (lines.size() < 3 || !lines[2].starts_with(kTrustedPrefix)) {
    *reason = texts::kNoTrustedComment;
    return false;
  }
  if (lines.size() < 4) {
    *reason = texts::kNoGlobalSignature;
    return false;
  }
  std::vector<std::uint8_t> global;
  if (!DecodeLine(lines[3], 64, texts::kGlobalSignatureLine, &global, reason)) return false;
  if (lines.size() > 4) {
    *reason = texts::kTrailingText;
    return false;
  }
  std::copy(bytes.begin() + 2, bytes.begin() + 10, signature->key_id.begin());
  std::copy(bytes.begin() + 10, bytes.end(), signature->signature.begin());
  std::copy(global.begin(), global.end(), signature->global_signature.begin());
  signature->untrusted_comment = std::string(lines[0].substr(kUntrustedPrefix.size()));
  signature->trusted_comment = std::string(lines[2].substr(kTrustedPrefix.size()));
  return true;
}

bool ParseMinisignPublicKey(std::string_view text, MinisignPublicKey* key, std::string* reason) {
  const std::vector<std::string_view> lines = LinesOf(text);
  std::size_t at = 0;
  if (!lines.empty() && lines[0].starts_with(kUntrustedPrefix)) {
    key->untrusted_comment = std::string(lines[0].substr(kUntrustedPrefix.size()));
    at = 1;
  }
  if (lines.size() <= at) {
    *reason = texts::kNoKeyLine;
    return false;
  }
  std::vector<std::uint8_t> bytes;
  if (!DecodeLine(lines[at], kKeyBytes, texts::kKeyLine, &bytes, reason)) return false;
  if (bytes[0] != 'E' || bytes[1] != 'd') {
    *reason = texts::FillIn(texts::kUnknownKeyAlgorithm, {Hex({bytes.data(), 2}, false)});
    return false;
  }
  if (lines.size() > at + 1) {
    *reason = texts::kTrailingText;
    return false;
  }
  std::copy(bytes.begin() + 2, bytes.begin() + 10, key->key_id.begin());
  std::copy(bytes.begin() + 10, bytes.end(), key->key.begin());
  return true;
}

#if VELTRANE_HAVE_SODIUM

bool SignatureChecksBuiltIn() { return true; }

SignatureCheck VerifyMinisign(const MinisignSignature& signature, const MinisignPublicKey& key,
                              std::span<const std::uint8_t> image) {
  if (sodium_init() < 0) return SignatureCheck::kUnavailable;
  bool image_matches = false;
  if (signature.algorithm == SignatureAlgorithm::kPrehashed) {
    std::array<std::uint8_t, crypto_generichash_BYTES_MAX> hash{};
    crypto_generichash(hash.data(), hash.size(), image.data(), image.size(), nullptr, 0);
    image_matches = crypto_sign_verify_detached(signature.signature.data(), hash.data(), hash.size(),
                                                key.key.data()) == 0;
  } else {
    image_matches = crypto_sign_verify_detached(signature.signature.data(), image.data(),
                                                image.size(), key.key.data()) == 0;
  }
  if (!image_matches) return SignatureCheck::kImageMismatch;
  std::vector<std::uint8_t> covered(signature.signature.begin(), signature.signature.end());
  covered.insert(covered.end(), signature.trusted_comment.begin(), signature.trusted_comment.end());
  if (crypto_sign_verify_detached(signature.global_signature.data(), covered.data(), covered.size(),
                                  key.key.data()) != 0) {
    return SignatureCheck::kCommentMismatch;
  }
  return SignatureCheck::kGood;
}

#else

bool SignatureChecksBuiltIn() { return false; }

SignatureCheck VerifyMinisign(const MinisignSignature&, const MinisignPublicKey&,
                              std::span<const std::uint8_t>) {
  return SignatureCheck::kUnavailable;
}

#endif

}  // namespace veltrane
