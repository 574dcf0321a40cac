// Whether an image may be sent, as far as its signature goes: the system's
// policy file and the user's options, the trusted keys, and the verdict on
// one image's bytes (the bytes that will be sent, read once by the caller).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "service/signing_files.h"
#include "service/trusted_keys.h"

namespace veltrane {

// What the user asked for: --signature, --trusted-key (repeatable),
// --require-signed, --allow-legacy-signature.
struct SigningOptions {
  std::string signature_path;
  std::vector<std::string> trusted_key_files;
  bool require_signed = false;
  bool allow_legacy = false;  // accept minisign's legacy form ("Ed") where nothing requires signatures
};

// require-signed from the system's veltrane.conf, or from the user's option.
// The option can only add the requirement, never lift the file's. The file
// is read as an administrator writes it: UTF-8 with or without a byte-order
// mark, LF or CRLF, comments (# or ;) and blank lines; anything else (an
// unknown setting, a bad value, UTF-16, a NUL byte, a file that cannot be
// read or that others than the system's administrators may change) requires
// signatures, with a warning that names the file and says why.
struct SigningPolicy {
  bool require_signed = false;
  bool from_file = false;             // the system's file requires them: only its keys count
  std::string required_by;            // "--require-signed", or the file's line
  std::vector<std::string> warnings;  // why the file requires signatures when it does not say so plainly

  static SigningPolicy Load(const SigningPlaces& places, bool option_requires);
  // `text` is the policy file's content, `path` its name for messages.
  static SigningPolicy Parse(const std::string& text, const std::string& path);
};

std::string PolicyFile(const SigningPlaces& places);

enum class SignatureState {
  kUnsigned,   // no signature file
  kGood,       // made by a trusted key over these bytes and this trusted comment
  kBad,        // a trusted key's signature that does not match
  kUntrusted,  // made by a key nobody trusts
  kMalformed,  // no signature that can be read
  kUnchecked,  // a build without libsodium: read but not checked
  kLegacy,     // minisign's legacy form ("Ed"), not accepted here (see SigningOptions::allow_legacy)
};

struct SignatureVerdict {
  SignatureState state = SignatureState::kUnsigned;
  bool refused = false;
  std::string reason;          // why refused, or what to know; empty for good and unsigned
  std::string signature_path;  // the file read; empty when unsigned
  std::string key_id;          // "0x…", once the signature could be read
  std::string algorithm;       // "prehashed" or "legacy", once the signature could be read
  std::string trusted_comment; // only when good: it is not vouched for otherwise
  std::string key_path;        // the trusted key, when good
  KeyOrigin key_origin = KeyOrigin::kOption;
  std::string signature_text;  // only when good: the signature file as read (kept beside the backups)

  // "unsigned", "good", "bad", "untrusted", "malformed", "unchecked", "legacy".
  const char* Name() const;
  // One line for a person: "signed by key 0x… (comment)", or "unsigned", or the reason.
  std::string Summary() const;
};

// The signature file an image takes: `option` when given, else IMAGE.minisig
// beside it; empty for standard input.
std::string SignaturePathFor(const std::string& image_path, const std::string& option);

// What a program sets up once from its options: policy and keys.
class ImageSigning {
 public:
  static ImageSigning Load(const SigningPlaces& places, const SigningOptions& options);

  // Judges `image`, read from `image_path`.
  SignatureVerdict Judge(std::span<const std::uint8_t> image, const std::string& image_path) const;
  // Judges `image` against a signature already read (`text`, from `signature_path`).
  SignatureVerdict JudgeText(std::span<const std::uint8_t> image, const std::string& text,
                             const std::string& signature_path) const;

  const TrustedKeys& Keys() const { return keys_; }
  const SigningPolicy& Policy() const { return policy_; }
  // Every skipped key file and unreadable setting, naming it.
  std::vector<std::string> Warnings() const;

 private:
  // The signature's own verdict, before the policy has its say.
  SignatureVerdict Check(std::span<const std::uint8_t> image, const std::string& image_path) const;
  SignatureVerdict CheckText(std::span<const std::uint8_t> image, const std::string& text,
                             const std::string& path) const;
  SignatureVerdict Policed(SignatureVerdict v) const;

  SigningOptions options_;
  SigningPolicy policy_;
  TrustedKeys keys_;
};

}  // namespace veltrane
