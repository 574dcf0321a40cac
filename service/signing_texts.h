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
inline constexpr char kLegacy[] = "legacy";
// A signature's form, as `image verify` and --json name it.
inline constexpr char kFormPrehashed[] = "prehashed";
inline constexpr char kFormLegacy[] = "legacy";

// Verdicts on a signature.
inline constexpr char kDoesNotMatch[] = "signature does not match the image";
inline constexpr char kCommentEdited[] =
    "signature does not match its trusted comment: the comment was changed after signing";
inline constexpr char kSignedBy[] = "signed by key %s";
inline constexpr char kNotTrusted[] = "signed by key %s, which is not trusted";
inline constexpr char kUnsignedRefused[] = "the image is unsigned, and only signed images are allowed (%s)";
inline constexpr char kRequiredByOption[] = "--require-signed";
inline constexpr char kRequiredByFile[] = "require-signed = true in %s";
inline constexpr char kLegacyRefused[] =
    "the signature is in minisign's legacy form (\"Ed\"), which is taken only with --allow-legacy-signature: "
    "sign the image with minisign's default (prehashed) form";
inline constexpr char kLegacyRequired[] =
    "the signature is in minisign's legacy form (\"Ed\"), and only the prehashed form (\"ED\") counts where "
    "signed images are required (%s): sign the image with minisign's default form";
inline constexpr char kPartialImageWrite[] =
    "a write at %s changes the firmware image the DAC holds (0x0000-%s), and only a whole image signed by a "
    "trusted key may be written there (%s)";
inline constexpr char kRawUnsigned[] =
    "these bytes carry no signature by a trusted key, and only a whole signed image may be written from "
    "address 0 (%s)";
inline constexpr char kOnlySystemKeys[] =
    "%s: only the keys in %s count; the user's trusted keys and --trusted-key are ignored";
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
// Who may change a settings folder or file (service/file_trust.h).
inline constexpr char kNotOwnedBySystem[] = "%s is owned by user %s, not by root";
inline constexpr char kGroupMayWrite[] = "the group of %s may write to it";
inline constexpr char kNotOwnedByUser[] = "%s is owned by user %s, not by you";
inline constexpr char kOwnedByOther[] =
    "%s is owned by %s, which is not SYSTEM, Administrators or TrustedInstaller (or you, for your own folder)";
inline constexpr char kPrincipalMayWrite[] = "%s may write to %s";
inline constexpr char kNoAccessList[] = "%s has no access list: anyone may write to it";
inline constexpr char kDescriptorUnreadable[] = "the security descriptor of %s cannot be read (%s)";
inline constexpr char kOriginSystem[] = "system";
inline constexpr char kOriginUser[] = "user";
inline constexpr char kOriginOption[] = "--trusted-key";

// The options.
inline constexpr char kSignatureNeedsFile[] = "--signature takes the signature's file name";
inline constexpr char kTrustedKeyNeedsFile[] = "--trusted-key takes a public key's file name";

// The system-wide policy file.
inline constexpr char kPolicyUnreadable[] = "%s: signed images are required until it is fixed";
inline constexpr char kPolicyBadValue[] =
    "%s line %s: require-signed takes true or false: signed images are required until it is fixed";
inline constexpr char kPolicyBadLine[] =
    "%s line %s is not a setting (NAME = VALUE): signed images are required until it is fixed";
inline constexpr char kPolicyUnknown[] =
    "%s line %s: unknown setting '%s': signed images are required until it is fixed";
inline constexpr char kPolicyUtf16[] =
    "%s is saved as UTF-16: signed images are required until it is saved as UTF-8";
inline constexpr char kPolicyNul[] = "%s holds a NUL byte: signed images are required until it is fixed";
inline constexpr char kPolicyNotUtf8[] =
    "%s is not UTF-8 text: signed images are required until it is saved as UTF-8";

}  // namespace veltrane::signing_texts
