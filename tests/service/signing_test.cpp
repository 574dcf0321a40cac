// Signatures and keys made by minisign, then every way a signature file can
// be wrong; trusted-key folders; the system's policy file.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>
#endif

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "service/file_trust.h"
#include "service/minisign_signature.h"
#include "service/signed_image_store.h"
#include "service/signing_args.h"
#include "service/signing_policy.h"
#include "service/trusted_keys.h"
#include "tests/support/minisign_tool.h"
#include "tests/update/scratch_dir.h"

namespace veltrane {
namespace {

using testing::FixturePath;
using testing::FixtureText;
using testing::MinisignFixtures;
using testing::ScratchDir;

using testing::FromBase64;
using testing::ToBase64;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Joined(const std::vector<std::string>& lines, const std::string& end = "\n") {
  std::string text;
  for (const std::string& line : lines) text += line + end;
  return text;
}

// Rewrites the decoded signature line (algorithm, key ID, signature bytes).
std::string WithSignatureBytes(const std::string& text,
                               const std::function<void(std::vector<std::uint8_t>&)>& change) {
  std::vector<std::string> lines = Lines(text);
  std::vector<std::uint8_t> bytes = FromBase64(lines[1]);
  change(bytes);
  lines[1] = ToBase64(bytes);
  return Joined(lines);
}

class SigningTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (MinisignFixtures().empty()) GTEST_SKIP() << testing::kNoMinisign;
    if (!SignatureChecksBuiltIn()) GTEST_SKIP() << testing::kNoSodium;
    image_ = FixtureText("image.bin");
    places_.system_dir = (scratch_ / "etc").string();
    places_.user_dir = (scratch_ / "config").string();
#ifndef _WIN32
    places_.system_owner = ::getuid();  // the scratch folders are the test's
#endif
  }

  // The legacy form is taken here unless a test says otherwise: these cases
  // are about the signature's bytes, not its form.
  static SigningOptions LegacyAllowed() {
    SigningOptions options;
    options.allow_legacy = true;
    return options;
  }

  SignatureVerdict Judge(const std::string& signature, const std::string& image,
                         SigningOptions options = LegacyAllowed()) {
    const std::string path = (scratch_ / "signature.minisig").string();
    std::ofstream(path, std::ios::binary) << signature;
    options.signature_path = path;
    options.trusted_key_files.push_back(FixturePath("trusted.pub"));
    const ImageSigning signing = ImageSigning::Load(places_, options);
    const std::vector<std::uint8_t> bytes(image.begin(), image.end());
    return signing.Judge(bytes, "image.bin");
  }

  ScratchDir scratch_;
  SigningPlaces places_;
  std::string image_;
};

TEST_F(SigningTest, MinisignsOwnSignaturesInBothFormsAreGoodAndNameTheKey) {
  MinisignPublicKey key;
  std::string reason;
  ASSERT_TRUE(ParseMinisignPublicKey(FixtureText("trusted.pub"), &key, &reason)) << reason;
  // minisign writes the key ID into the public key's comment as it prints it:
  // upper-case hex without leading zeros (one key in 256 starts with a zero byte).
  const std::string id = KeyIdText(key.key_id);
  std::string digits = id.substr(2);
  digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1));
  EXPECT_NE(key.untrusted_comment.find(digits), std::string::npos) << key.untrusted_comment << " / " << id;

  for (const char* name : {"image.bin.minisig", "legacy.minisig"}) {
    const SignatureVerdict v = Judge(FixtureText(name), image_);
    EXPECT_EQ(v.state, SignatureState::kGood) << name << ": " << v.reason;
    EXPECT_FALSE(v.refused);
    EXPECT_EQ(v.key_id, id);
    EXPECT_NE(v.trusted_comment.find("file:image.bin"), std::string::npos) << v.trusted_comment;
    EXPECT_EQ(v.algorithm, std::string(name) == "legacy.minisig" ? "legacy" : "prehashed");
  }
}

TEST_F(SigningTest, EveryTamperedOrMalformedSignatureIsRefusedWithItsReason) {
  const std::string good = FixtureText("image.bin.minisig");
  const std::string other = FixtureText("other.minisig");
  MinisignPublicKey trusted;
  MinisignPublicKey other_key;
  std::string reason;
  ASSERT_TRUE(ParseMinisignPublicKey(FixtureText("trusted.pub"), &trusted, &reason));
  ASSERT_TRUE(ParseMinisignPublicKey(FixtureText("other.pub"), &other_key, &reason));
  std::string flipped = image_;
  flipped[flipped.size() / 2] ^= 0x01;
  std::vector<std::string> lines = Lines(good);
  const auto edited_comment = [&] {
    std::vector<std::string> l = lines;
    l[2] += " ";
    return Joined(l);
  };
  const auto without = [&](std::size_t keep) {
    return Joined(std::vector<std::string>(lines.begin(), lines.begin() + keep));
  };

  struct Case {
    const char* name;
    std::string signature;
    std::string image;
    SignatureState state;
    std::string reason;  // a part of it
  };
  const std::vector<Case> cases = {
      {"one bit of the image", good, flipped, SignatureState::kBad, "does not match the image"},
      {"legacy form, one bit of the image", FixtureText("legacy.minisig"), flipped, SignatureState::kBad,
       "does not match the image"},
      {"trusted comment edited", edited_comment(), image_, SignatureState::kBad, "trusted comment"},
      {"signature bytes", WithSignatureBytes(good, [](auto& b) { b[40] ^= 0x80; }), image_,
       SignatureState::kBad, "does not match the image"},
      {"another key, not trusted", other, image_, SignatureState::kUntrusted,
       "signed by key " + KeyIdText(other_key.key_id) + ", which is not trusted"},
      {"another key under the trusted key's ID",
       WithSignatureBytes(other, [&](auto& b) { std::copy(trusted.key_id.begin(), trusted.key_id.end(), b.begin() + 2); }),
       image_, SignatureState::kBad, "does not match the image"},
      {"key ID matching no key", WithSignatureBytes(good, [](auto& b) { b[2] ^= 0xff; }), image_,
       SignatureState::kUntrusted, "which is not trusted"},
      {"bad base64", Joined({lines[0], "!" + lines[1].substr(1), lines[2], lines[3]}), image_,
       SignatureState::kMalformed, "signature line is not valid base64"},
      {"bad base64 in the global signature", Joined({lines[0], lines[1], lines[2], lines[3] + "A"}), image_,
       SignatureState::kMalformed, "global signature line is not valid base64"},
      {"wrong length", WithSignatureBytes(good, [](auto& b) { b.resize(71); }), image_,
       SignatureState::kMalformed, "holds 71 bytes instead of 74"},
      {"unknown algorithm", WithSignatureBytes(good, [](auto& b) { b[1] = 'X'; }), image_,
       SignatureState::kMalformed, "unknown signature algorithm 0x4558"},
      {"no untrusted comment", Joined({lines[1], lines[2], lines[3]}), image_, SignatureState::kMalformed,
       "not an untrusted comment"},
      {"signature line missing", without(1), image_, SignatureState::kMalformed, "signature line is missing"},
      {"trusted comment missing", without(2), image_, SignatureState::kMalformed,
       "trusted comment line is missing"},
      {"global signature missing", without(3), image_, SignatureState::kMalformed,
       "global signature line is missing"},
      {"text after the global signature", good + "more\n", image_, SignatureState::kMalformed,
       "text after the last line"},
      {"empty file", "", image_, SignatureState::kMalformed, "not an untrusted comment"},
      {"oversized file", lines[0] + std::string(kMaxSignatureFile, 'x') + "\n" + Joined({lines[1], lines[2], lines[3]}),
       image_, SignatureState::kMalformed, "larger than 4096 bytes"},
      {"CRLF line ends (accepted)", Joined(lines, "\r\n"), image_, SignatureState::kGood, ""},
      {"no line end after the last line (accepted)", good.substr(0, good.size() - 1), image_,
       SignatureState::kGood, ""},
  };
  for (const Case& c : cases) {
    const SignatureVerdict v = Judge(c.signature, c.image);
    EXPECT_EQ(v.state, c.state) << c.name << ": " << v.reason;
    EXPECT_EQ(v.refused, c.state != SignatureState::kGood) << c.name;
    EXPECT_NE(v.reason.find(c.reason), std::string::npos) << c.name << ": " << v.reason;
    if (c.state != SignatureState::kGood) {
      EXPECT_TRUE(v.trusted_comment.empty()) << c.name;
    }
  }
}

TEST_F(SigningTest, UnsignedImagesPassUnlessRequiredAndTheOptionCannotLiftTheSystemFile) {
  const std::filesystem::path image = scratch_ / "plain.bin";
  std::ofstream(image, std::ios::binary) << image_;
  const std::vector<std::uint8_t> bytes(image_.begin(), image_.end());
  const auto judge = [&](bool option) {
    SigningOptions options;
    options.require_signed = option;
    return ImageSigning::Load(places_, options).Judge(bytes, image.string());
  };
  EXPECT_EQ(judge(false).state, SignatureState::kUnsigned);
  EXPECT_FALSE(judge(false).refused);
  EXPECT_EQ(judge(false).Summary(), "unsigned");
  EXPECT_TRUE(judge(true).refused);
  EXPECT_NE(judge(true).reason.find("unsigned"), std::string::npos);
  EXPECT_NE(judge(true).reason.find("--require-signed"), std::string::npos);

  std::filesystem::create_directories(places_.system_dir);
  std::ofstream(PolicyFile(places_)) << "# factory\nrequire-signed = true\n";
  EXPECT_TRUE(judge(false).refused);
  EXPECT_NE(judge(false).reason.find("veltrane.conf"), std::string::npos) << judge(false).reason;

  // IMAGE.minisig beside the image is found by itself (the system's file
  // counts the system's keys only).
  std::filesystem::copy_file(FixturePath("image.bin.minisig"), image.string() + ".minisig");
  std::filesystem::create_directories(TrustedKeyFolder(places_.system_dir));
  std::filesystem::copy_file(FixturePath("trusted.pub"),
                             std::filesystem::path(TrustedKeyFolder(places_.system_dir)) / "maker.pub");
  SigningOptions options;
  const SignatureVerdict beside = ImageSigning::Load(places_, options).Judge(bytes, image.string());
  EXPECT_EQ(beside.state, SignatureState::kGood) << beside.reason;
  EXPECT_FALSE(beside.refused);

  // A signature file that is named must be there.
  options.signature_path = (scratch_ / "missing.minisig").string();
  const SignatureVerdict missing = ImageSigning::Load(places_, options).Judge(bytes, image.string());
  EXPECT_EQ(missing.state, SignatureState::kMalformed);
  EXPECT_NE(missing.reason.find("missing.minisig: no such file"), std::string::npos) << missing.reason;
}

TEST(SigningPolicyTest, TheSystemFileFailsClosed) {
  struct Case {
    std::string text;
    bool required;
    std::size_t warnings;
  };
  const Case cases[] = {
      {"", false, 0},
      {"require-signed = true\n", true, 0},
      {"  require-signed=yes\r\n", true, 0},
      {"require-signed = false\n", false, 0},
      {"require-signed = maybe\n", true, 1},
      {"# comment\n\nrequire-signed = 1\nother = 2\n", true, 1},
      {"require-signed\n", true, 1},
      // As administrators' editors save it: a byte-order mark, CRLF, comments.
      {"\xEF\xBB\xBFrequire-signed = true\r\n", true, 0},
      {"\xEF\xBB\xBF; factory\r\n\r\nrequire-signed = no\r\n", false, 0},
      {"# require-signed = true\n", false, 0},
      // Anything else fails closed.
      {"\xEF\xBB\xBFrequire-signd = false\n", true, 1},
      {"require-signed = false\nrequire-signed = true\n", true, 0},
      {std::string("\xFF\xFEr\0e\0q\0", 8), true, 1},             // UTF-16, little-endian
      {std::string("r\0e\0q\0u\0", 8), true, 1},                     // UTF-16 without its mark
      {std::string("require-signed = false\0\n", 24), true, 1},        // a NUL byte
      {"require-signed = f\xE4lse\n", true, 1},                       // Latin-1, not UTF-8
      {"require-signed = \xC3\xA9\n", true, 1},                       // UTF-8, but no value
  };
  for (const Case& c : cases) {
    const SigningPolicy policy = SigningPolicy::Parse(c.text, "veltrane.conf");
    EXPECT_EQ(policy.require_signed, c.required) << c.text;
    EXPECT_EQ(policy.from_file, c.required) << c.text;
    ASSERT_EQ(policy.warnings.size(), c.warnings) << c.text;
    for (const std::string& w : policy.warnings) {
      EXPECT_NE(w.find("veltrane.conf"), std::string::npos) << w;
      EXPECT_NE(w.find("signed images are required"), std::string::npos) << w;
    }
  }
  // A policy file that exists but cannot be read requires signatures.
  ScratchDir scratch;
  SigningPlaces places;
  places.system_dir = scratch.Path().string();
  std::filesystem::create_directories(PolicyFile(places));  // a folder, not a file
  const SigningPolicy policy = SigningPolicy::Load(places, false);
  EXPECT_TRUE(policy.require_signed);
  ASSERT_EQ(policy.warnings.size(), 1u);
  EXPECT_NE(policy.warnings[0].find("veltrane.conf"), std::string::npos);
}

TEST_F(SigningTest, KeyFilesThatCannotBeTrustedAreSkippedWithAWarningNamingThem) {
  namespace fs = std::filesystem;
  const fs::path system_keys = TrustedKeyFolder(places_.system_dir);
  const fs::path user_keys = TrustedKeyFolder(places_.user_dir);
  fs::create_directories(system_keys);
  fs::create_directories(user_keys);
  fs::copy_file(FixturePath("trusted.pub"), system_keys / "maker.pub");
  // The key line alone, as minisign prints it for -P.
  std::ofstream(user_keys / "bare.pub", std::ios::binary) << Lines(FixtureText("other.pub"))[1] << "\r\n";
  std::ofstream(user_keys / "notes.txt") << "not a key, not looked at\n";
  std::ofstream(user_keys / "broken.pub") << "untrusted comment: x\nRWQ=\n";
  fs::create_directories(user_keys / "folder.pub");
  std::vector<std::string> expected_warnings = {"broken.pub", "folder.pub"};
#ifndef _WIN32
  std::ofstream(user_keys / "open.pub") << FixtureText("other.pub");
  fs::permissions(user_keys / "open.pub", fs::perms::others_write, fs::perm_options::add);
  expected_warnings.push_back("open.pub");
#endif
  const TrustedKeys keys = TrustedKeys::Load(places_, {(scratch_ / "absent.pub").string()});
  ASSERT_EQ(keys.Keys().size(), 2u);
  EXPECT_EQ(keys.Keys()[0].origin, KeyOrigin::kSystem);
  EXPECT_EQ(keys.Keys()[0].path, (system_keys / "maker.pub").string());
  EXPECT_EQ(keys.Keys()[1].origin, KeyOrigin::kUser);
  expected_warnings.push_back("absent.pub: no such file");
  ASSERT_EQ(keys.Warnings().size(), expected_warnings.size());
  for (const std::string& part : expected_warnings) {
    const bool named = std::any_of(keys.Warnings().begin(), keys.Warnings().end(),
                                   [&](const std::string& w) { return w.find(part) != std::string::npos; });
    EXPECT_TRUE(named) << part;
  }
#ifndef _WIN32
  // A folder anyone may write to gives anyone a say: none of its keys count.
  fs::permissions(system_keys, fs::perms::others_write, fs::perm_options::add);
  const TrustedKeys open = TrustedKeys::Load(places_, {});
  EXPECT_EQ(open.Keys().size(), 1u);
  EXPECT_NE(open.Warnings()[0].find("anyone may write"), std::string::npos);
#endif
}

}  // namespace
}  // namespace veltrane

namespace veltrane {
namespace {

TEST(SigningArgsTest, BothProgramsTakeTheOptionsAnywhereAndLeaveTheRest) {
  std::vector<std::string> args = {"--trusted-key", "a.pub", "flash", "--signature=x.minisig", "IMAGE",
                                   "--trusted-key=b.pub", "--require-signed", "--", "--require-signed"};
  SigningOptions options;
  std::string error;
  ASSERT_TRUE(ExtractSigningArgs(&args, &options, &error)) << error;
  EXPECT_EQ(args, (std::vector<std::string>{"flash", "IMAGE", "--", "--require-signed"}));
  EXPECT_EQ(options.signature_path, "x.minisig");
  EXPECT_EQ(options.trusted_key_files, (std::vector<std::string>{"a.pub", "b.pub"}));
  EXPECT_TRUE(options.require_signed);

  for (std::vector<std::string> bad : {std::vector<std::string>{"flash", "--signature"},
                                       std::vector<std::string>{"--trusted-key="}}) {
    EXPECT_FALSE(ExtractSigningArgs(&bad, &options, &error));
    EXPECT_NE(error.find("takes"), std::string::npos);
  }
}

}  // namespace
}  // namespace veltrane

namespace veltrane {
namespace {

// Who may change a settings file, as sshd and sudo judge their own: the
// system's must be root's and writable by nobody else; the user's the user's
// (or root's) and not writable by others.
TEST(FileTrustTest, OwnerAndModeDecideWhetherAFileCounts) {
  constexpr std::uint32_t kRoot = 0;
  constexpr std::uint32_t kUser = 1000;
  struct Case {
    TrustScope scope;
    std::uint32_t owner;
    std::uint32_t mode;
    const char* why;  // a part of the reason; empty: it counts
  };
  const Case cases[] = {
      {TrustScope::kSystem, kRoot, 040755, ""},
      {TrustScope::kSystem, kRoot, 0100644, ""},
      {TrustScope::kSystem, kRoot, 0100600, ""},
      {TrustScope::kSystem, kRoot, 040775, "group of /p may write"},
      {TrustScope::kSystem, kRoot, 0100646, "anyone may write"},
      {TrustScope::kSystem, kRoot, 041777, "group of /p may write"},  // sticky /tmp-like
      {TrustScope::kSystem, kUser, 040755, "owned by user 1000, not by root"},
      {TrustScope::kSystem, kUser, 0100600, "owned by user 1000, not by root"},
      {TrustScope::kUser, kUser, 040755, ""},
      {TrustScope::kUser, kUser, 040775, ""},  // a group of one's own
      {TrustScope::kUser, kRoot, 040755, ""},
      {TrustScope::kUser, kUser, 040757, "anyone may write"},
      {TrustScope::kUser, 1001, 040700, "owned by user 1001, not by you"},
  };
  for (const Case& c : cases) {
    const std::string why = JudgeOwnerAndMode(c.scope, "/p", c.owner, c.mode, kUser, kRoot);
    if (std::string(c.why).empty()) {
      EXPECT_EQ(why, "") << c.owner << " " << std::oct << c.mode;
    } else {
      EXPECT_NE(why.find(c.why), std::string::npos) << c.owner << " " << std::oct << c.mode << ": " << why;
    }
  }
}

// The same judgement over Windows' owner and access list, as
// ConvertSecurityDescriptorToStringSecurityDescriptor writes them.
TEST(FileTrustTest, SecurityDescriptorsLetOnlyTheAdministrationWrite) {
  const std::string user = "S-1-5-21-1004336348-1177238915-682003330-1001";
  const std::string other = "S-1-5-21-1004336348-1177238915-682003330-1002";
  const std::string ti = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
  const std::string locked = "D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
  struct Case {
    const char* name;
    TrustScope scope;
    std::string sddl;
    std::string why;  // a part of the reason; empty: it counts
  };
  const std::vector<Case> cases = {
      {"locked down by an administrator", TrustScope::kSystem, "O:BAG:SY" + locked, ""},
      {"owned by SYSTEM", TrustScope::kSystem, "O:SYG:SY" + locked, ""},
      {"owned by TrustedInstaller", TrustScope::kSystem, "O:" + ti + "G:SY" + locked, ""},
      {"SYSTEM by its SID, hexadecimal rights", TrustScope::kSystem,
       "O:S-1-5-18D:P(A;;0x1f01ff;;;S-1-5-18)(A;;0x1200a9;;;WD)", ""},
      {"made by a user under ProgramData", TrustScope::kSystem, "O:" + user + "G:" + user + locked,
       "owned by " + std::string("S-1-5-21")},
      {"inherits ProgramData's Users may add files", TrustScope::kSystem,
       "O:BAG:SYD:AI(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)(A;OICIID;0x1200a9;;;BU)(A;CIID;DCLCRPCR;;;BU)",
       "BU may write"},
      {"Everyone full control", TrustScope::kSystem, "O:BAD:(A;;FA;;;WD)", "WD may write"},
      {"Authenticated Users modify", TrustScope::kSystem, "O:BAD:(A;OICI;0x1301bf;;;AU)", "AU may write"},
      {"generic write", TrustScope::kSystem, "O:BAD:(A;;GW;;;BU)", "BU may write"},
      {"change permissions only", TrustScope::kSystem, "O:BAD:(A;;WD;;;BU)", "BU may write"},
      {"creator owner, inherit only", TrustScope::kSystem, "O:BAD:P(A;OICIIO;GA;;;CO)(A;;FA;;;SY)", ""},
      {"a deny entry grants nothing", TrustScope::kSystem, "O:BAD:P(D;;FA;;;WD)(A;;FA;;;BA)", ""},
      {"null DACL", TrustScope::kSystem, "O:BAD:NO_ACCESS_CONTROL", "no access list"},
      {"no DACL at all", TrustScope::kSystem, "O:BAG:SY", "no access list"},
      {"empty DACL", TrustScope::kSystem, "O:BAD:P", ""},
      {"no owner", TrustScope::kSystem, locked, "cannot be read"},
      {"unknown right", TrustScope::kSystem, "O:BAD:(A;;QQ;;;BU)", "cannot be read"},
      {"cut short", TrustScope::kSystem, "O:BAD:(A;;FA;;;BU", "cannot be read"},
      {"the user's own folder", TrustScope::kUser,
       "O:" + user + "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" + user + ")", ""},
      {"the user's folder, another user may write", TrustScope::kUser,
       "O:" + user + "D:P(A;OICI;FA;;;" + user + ")(A;OICI;FW;;;" + other + ")", "1002 may write"},
      {"the user's folder, owned by another user", TrustScope::kUser, "O:" + other + "D:P(A;;FA;;;SY)",
       "owned by " + other},
      {"a user's SID counts only for the user's folder", TrustScope::kSystem,
       "O:BAD:P(A;;FA;;;" + user + ")", "1001 may write"},
  };
  for (const Case& c : cases) {
    const std::string why = JudgeSecurityDescriptor(c.scope, "C:\\ProgramData\\Veltrane", c.sddl, user);
    if (c.why.empty()) {
      EXPECT_EQ(why, "") << c.name;
    } else {
      EXPECT_NE(why.find(c.why), std::string::npos) << c.name << ": " << why;
    }
  }
}

}  // namespace
}  // namespace veltrane

namespace veltrane {
namespace {

// "ED" relabelled "Ed": a good legacy signature over the image's BLAKE2b
// hash, 64 bytes a bulk DAC would take as an image. Only the prehashed form
// counts unless the user asks, and never where signatures are required.
TEST_F(SigningTest, ARelabelledSignatureCountsOnlyWhenLegacyIsAskedForAndNeverWhereRequired) {
#if VELTRANE_TEST_SODIUM
  const std::string hash = testing::Blake2b512(image_);
  const std::string relabelled = testing::Relabelled(FixtureText("image.bin.minisig"));
  EXPECT_EQ(Judge(relabelled, hash).state, SignatureState::kGood) << "the attack no longer applies?";
  const SignatureVerdict unasked = Judge(relabelled, hash, SigningOptions{});
  EXPECT_EQ(unasked.state, SignatureState::kLegacy);
  EXPECT_TRUE(unasked.refused);
  EXPECT_NE(unasked.reason.find("--allow-legacy-signature"), std::string::npos) << unasked.reason;
  SigningOptions required = LegacyAllowed();
  required.require_signed = true;
  const SignatureVerdict v = Judge(relabelled, hash, required);
  EXPECT_EQ(v.state, SignatureState::kLegacy);
  EXPECT_TRUE(v.refused);
  EXPECT_NE(v.reason.find("--require-signed"), std::string::npos) << v.reason;
  EXPECT_EQ(Judge(FixtureText("image.bin.minisig"), image_, required).state, SignatureState::kGood);
#else
  GTEST_SKIP() << testing::kNoSodium;
#endif
}

}  // namespace
}  // namespace veltrane

namespace veltrane {
namespace {

// Bytes put back from address 0 count as the kept signed image only when
// they restore it as its header describes it; the feedback block is the
// DAC's settings and may differ.
TEST(SignedImageStoreTest, BytesPutBackRestoreAKeptImageOnlyAsItsHeaderDescribesIt) {
  std::vector<std::uint8_t> image(0x1800, 0x11);
  image[16] = 0x17;  // header length 0x1790: the file goes 0x70 bytes further
  image[17] = 0x90;
  const auto with = [&](std::size_t size, std::size_t at = 0, std::uint8_t value = 0x11) {
    std::vector<std::uint8_t> bytes(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(size));
    if (at != 0) bytes[at] = value;
    return bytes;
  };
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    bool restores;
  };
  const std::vector<Case> cases = {
      {"the whole image", with(0x1800), true},
      {"as far as its header's length", with(0x1790), true},
      {"short of its header's length", with(0x178F), false},
      {"past the signed image", [&] { auto b = with(0x1800); b.push_back(0x11); return b; }(), false},
      {"the feedback block changed", with(0x1800, 0x1712, 0x3F), true},
      {"the last settings byte changed", with(0x1800, 0x1715, 0x3F), true},
      {"the byte after the settings", with(0x1800, 0x1716, 0x3F), false},
      {"the byte before the settings", with(0x1800, 0x1711, 0x3F), false},
      {"one byte of the header", with(0x1800, 1, 0x12), false},
  };
  for (const Case& c : cases) EXPECT_EQ(RestoresImage(c.bytes, image), c.restores) << c.name;
}

}  // namespace
}  // namespace veltrane
