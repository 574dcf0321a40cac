// Signatures and keys made by minisign, then every way a signature file can
// be wrong; trusted-key folders; the system's policy file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "service/minisign_signature.h"
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

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::vector<std::uint8_t> FromBase64(const std::string& text) {
  std::vector<std::uint8_t> bytes;
  std::uint32_t bits = 0;
  int held = 0;
  for (const char c : text) {
    const char* at = std::strchr(kBase64, c);
    if (c == '=' || at == nullptr) break;
    bits = (bits << 6) | static_cast<std::uint32_t>(at - kBase64);
    held += 6;
    if (held >= 8) bytes.push_back(static_cast<std::uint8_t>(bits >> (held -= 8)));
  }
  return bytes;
}

std::string ToBase64(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    std::uint32_t group = 0;
    for (std::size_t k = 0; k < 3; ++k) group = (group << 8) | (k < n ? bytes[i + k] : 0);
    for (std::size_t k = 0; k < 4; ++k) text += k <= n ? kBase64[(group >> (18 - 6 * k)) & 63] : '=';
  }
  return text;
}

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
  }

  SignatureVerdict Judge(const std::string& signature, const std::string& image,
                         SigningOptions options = {}) {
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

  // IMAGE.minisig beside the image is found by itself.
  std::filesystem::copy_file(FixturePath("image.bin.minisig"), image.string() + ".minisig");
  SigningOptions options;
  options.trusted_key_files.push_back(FixturePath("trusted.pub"));
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
    const char* text;
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
      {"require-signed\n", false, 1},
  };
  for (const Case& c : cases) {
    const SigningPolicy policy = SigningPolicy::Parse(c.text, "veltrane.conf");
    EXPECT_EQ(policy.require_signed, c.required) << c.text;
    EXPECT_EQ(policy.warnings.size(), c.warnings) << c.text;
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
