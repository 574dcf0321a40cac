// Detached signatures and public keys in minisign's text format (Ed25519),
// parsed strictly and verified against the image's bytes:
//
//   untrusted comment: <anything>
//   base64( "Ed" or "ED" | key ID (8) | signature (64) )
//   trusted comment: <text, covered by the global signature>
//   base64( global signature (64) over signature | trusted comment )
//
// "ED" signs the BLAKE2b-512 hash of the image (minisign's default), "Ed" the
// image itself. A public key file is an untrusted comment and
// base64( "Ed" | key ID (8) | Ed25519 key (32) ). Lines may end in CRLF.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace veltrane {

// No signature or key file is longer: a longer one is refused unread.
inline constexpr std::size_t kMaxSignatureFile = 4096;

using KeyId = std::array<std::uint8_t, 8>;

// As minisign prints it (a little-endian number): "0x26E8BA8E5D846CA8".
std::string KeyIdText(const KeyId& id);

enum class SignatureAlgorithm { kLegacy, kPrehashed };

struct MinisignSignature {
  SignatureAlgorithm algorithm = SignatureAlgorithm::kPrehashed;
  KeyId key_id{};
  std::array<std::uint8_t, 64> signature{};
  std::string untrusted_comment;
  std::string trusted_comment;
  std::array<std::uint8_t, 64> global_signature{};
};

struct MinisignPublicKey {
  KeyId key_id{};
  std::array<std::uint8_t, 32> key{};
  std::string untrusted_comment;
};

// On failure `reason` says what is wrong, without the file's name.
bool ParseMinisignSignature(std::string_view text, MinisignSignature* signature, std::string* reason);
// Also takes the key line alone, as minisign prints it for `-P`.
bool ParseMinisignPublicKey(std::string_view text, MinisignPublicKey* key, std::string* reason);

enum class SignatureCheck {
  kGood,
  kImageMismatch,    // the signature is not over these bytes with this key
  kCommentMismatch,  // the image matches, the trusted comment was changed
  kUnavailable,      // built without libsodium
};

// The caller has matched the key IDs.
SignatureCheck VerifyMinisign(const MinisignSignature& signature, const MinisignPublicKey& key,
                              std::span<const std::uint8_t> image);

// False in a build without libsodium: signatures are read but not checked.
bool SignatureChecksBuiltIn();

}  // namespace veltrane
