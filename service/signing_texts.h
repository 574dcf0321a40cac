// The signing library's own texts: verdicts on an image's signature, the
// reasons a signature or key file is refused, and the warnings about skipped
// key files. Callers put a file's name in front where the text says "%s".
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace veltrane::signing_texts {

// `text` with each "%s" replaced by the next of `parts`.
inline std::string FillIn(std::string_view text, std::initializer_list<std::string_view> parts) {
  std::string filled;
  const std::string_view* part = parts.begin();
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text.compare(at, 2, "%s") == 0 && part != parts.end()) {
      filled += *part++;
      ++at;
    } else {
      filled += text[at];
    }
  }
  return filled;
}

// What a verdict is called, in text and in --json.
inline constexpr char kUnsigned[] = "unsigned";
inline constexpr char kGood[] = "good";
inline constexpr char kBad[] = "bad";
inline constexpr char kUntrusted[] = "untrusted";
inline constexpr char kMalformed[] = "malformed";
inline constexpr char kUnchecked[] = "unchecked";

// Verdicts on a signature.
inline constexpr char kDoesNotMatch[] = "signature does not match the image";
inline constexpr char kCommentEdited[] =
    "signature does not match its trusted comment: the comment was changed after signing";
inline constexpr char kSignedBy[] = "signed by key %s";
inline constexpr char kNotTrusted[] = "signed by key %s, which is not trusted";
inline constexpr char kUnsignedRefused[] = "the image is unsigned, and only signed images are allowed (%s)";
inline constexpr char kRequiredByOption[] = "--require-signed";
inline constexpr char kRequiredByFile[] = "require-signed = true in %s";
inline constexpr char kNoSupport[] =
    "this build cannot check signatures (it was built without libsodium): %s was not checked";

// Reading a signature or key file.
inline constexpr char kNoSuchFile[] = "%s: no such file";
inline constexpr char kUnreadable[] = "%s cannot be read (%s)";
inline constexpr char kNotRegular[] = "%s is not a regular file";
inline constexpr char kTooLarge[] = "%s is larger than %s bytes: no signature or key file is that long";
inline constexpr char kNotSignature[] = "%s is not a minisign signature: %s";
inline constexpr char kNotPublicKey[] = "%s is not a minisign public key: %s";

// What is wrong inside a signature or key file.
inline constexpr char kNoUntrustedComment[] = "the first line is not an untrusted comment";
inline constexpr char kNoSignatureLine[] = "the signature line is missing";
inline constexpr char kNoTrustedComment[] = "the trusted comment line is missing";
inline constexpr char kNoGlobalSignature[] = "the global signature line is missing";
inline constexpr char kNoKeyLine[] = "the key line is missing";
inline constexpr char kBadBase64[] = "the %s line is not valid base64";
inline constexpr char kWrongLength[] = "the %s line holds %s bytes instead of %s";
inline constexpr char kUnknownAlgorithm[] = "unknown signature algorithm 0x%s (Ed or ED expected)";
inline constexpr char kUnknownKeyAlgorithm[] = "unknown key algorithm 0x%s (Ed expected)";
inline constexpr char kTrailingText[] = "there is text after the last line";
inline constexpr char kSignatureLine[] = "signature";
inline constexpr char kGlobalSignatureLine[] = "global signature";
inline constexpr char kKeyLine[] = "key";

// Trusted keys.
inline constexpr char kKeySkipped[] = "trusted key skipped: %s";
inline constexpr char kFolderSkipped[] = "trusted-key folder skipped: %s";
inline constexpr char kAnyoneMayWrite[] = "anyone may write to %s";
inline constexpr char kOriginSystem[] = "system";
inline constexpr char kOriginUser[] = "user";
inline constexpr char kOriginOption[] = "--trusted-key";

// The options.
inline constexpr char kSignatureNeedsFile[] = "--signature takes the signature's file name";
inline constexpr char kTrustedKeyNeedsFile[] = "--trusted-key takes a public key's file name";

// The system-wide policy file.
inline constexpr char kPolicyUnreadable[] =
    "%s cannot be read (%s): signed images are required until it can be";
inline constexpr char kPolicyBadValue[] =
    "%s line %s: require-signed takes true or false: signed images are required until it is fixed";
inline constexpr char kPolicyBadLine[] = "%s line %s is not a setting (NAME = VALUE): ignored";
inline constexpr char kPolicyUnknown[] = "%s line %s: unknown setting '%s': ignored";

}  // namespace veltrane::signing_texts
