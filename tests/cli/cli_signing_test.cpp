// The signature commands as a user runs them (in process, with the system's
// and the user's settings folders in a scratch directory): image verify,
// keys, and the signature line of image info.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>
#endif

#include <filesystem>
#include <fstream>
#include <sstream>
#include <iterator>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "service/minisign_signature.h"
#include "service/signing_policy.h"
#include "service/trusted_keys.h"
#include "tests/cli/json_check.h"
#include "tests/support/minisign_tool.h"
#include "tests/update/scratch_dir.h"

namespace veltrane::cli {
namespace {

namespace fs = std::filesystem;
using veltrane::testing::FixturePath;
using veltrane::testing::FixtureText;
using veltrane::testing::JsonCheck;

std::string KeyIdOf(const std::string& pub_file) {
  MinisignPublicKey key;
  std::string reason;
  ParseMinisignPublicKey(FixtureText(pub_file), &key, &reason);
  return KeyIdText(key.key_id);
}

class CliSigningTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (veltrane::testing::MinisignFixtures().empty()) GTEST_SKIP() << veltrane::testing::kNoMinisign;
    if (!SignatureChecksBuiltIn()) GTEST_SKIP() << veltrane::testing::kNoSodium;
    places_.system_dir = (scratch_ / "etc").string();
    places_.user_dir = (scratch_ / "config").string();
#ifndef _WIN32
    places_.system_owner = ::getuid();  // the scratch folders are the test's
#endif
    image_ = (scratch_ / "newer.bin").string();
    fs::copy_file(FixturePath("image.bin"), image_);
    fs::copy_file(FixturePath("image.bin.minisig"), image_ + ".minisig");
    plain_ = (scratch_ / "plain.bin").string();
    fs::copy_file(FixturePath("image.bin"), plain_);
  }

  struct Run {
    int status;
    std::string out;
    std::string err;
  };
  Run Cli(std::vector<std::string> args) {
    std::ostringstream out;
    std::ostringstream err;
    const int status = RunCli(std::move(args), out, err, false, places_);
    return {status, out.str(), err.str()};
  }

  veltrane::testing::ScratchDir scratch_;
  SigningPlaces places_;
  std::string image_;
  std::string plain_;
};

TEST_F(CliSigningTest, ImageVerifySaysWhoSignedAndWhetherTheKeyIsTrusted) {
  const std::string trusted = FixturePath("trusted.pub");
  const std::string id = KeyIdOf("trusted.pub");
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string text;  // in stdout or stderr
  };
  const std::vector<Case> cases = {
      {{"--trusted-key", trusted, "image", "verify", image_}, 0, id},
      {{"image", "verify", image_, "--trusted-key", trusted}, 0, "file:image.bin"},
      {{"--trusted-key", trusted, "--signature", FixturePath("legacy.minisig"), "--allow-legacy-signature", "image",
        "verify", image_},
       0, id},
      {{"--trusted-key", trusted, "--signature", FixturePath("legacy.minisig"), "image", "verify", image_}, 3,
       "--allow-legacy-signature"},
      {{"image", "verify", image_}, 3, "signed by key " + id + ", which is not trusted"},
      {{"--trusted-key", trusted, "--signature", FixturePath("other.minisig"), "image", "verify", image_}, 3,
       "signed by key " + KeyIdOf("other.pub") + ", which is not trusted"},
      {{"--trusted-key", trusted, "--signature", image_, "image", "verify", image_}, 3,
       "is not a minisign signature"},
      {{"--trusted-key", trusted, "image", "verify", plain_}, 3, "unsigned"},
      {{"--trusted-key", trusted, "image", "info", plain_}, 0, "Signature     unsigned"},
      {{"--trusted-key", trusted, "image", "info", image_}, 0, "Signature     signed by key " + id},
  };
  for (const Case& c : cases) {
    const Run run = Cli(c.args);
    const std::string said = run.out + run.err;
    EXPECT_EQ(run.status, c.status) << said;
    EXPECT_NE(said.find(c.text), std::string::npos) << c.text << " not in: " << said;
  }

  const Run json = Cli({"--json", "--trusted-key", trusted, "image", "verify", image_});
  EXPECT_TRUE(JsonCheck::Valid(json.out)) << json.out;
  EXPECT_NE(json.out.find("\"state\": \"good\""), std::string::npos) << json.out;
  EXPECT_NE(json.out.find("\"key_id\": \"" + id + "\""), std::string::npos) << json.out;
}

TEST_F(CliSigningTest, KeysListsEachTrustedKeyWithItsOriginAndNamesSkippedFiles) {
  fs::create_directories(TrustedKeyFolder(places_.system_dir));
  fs::create_directories(TrustedKeyFolder(places_.user_dir));
  fs::copy_file(FixturePath("trusted.pub"), fs::path(TrustedKeyFolder(places_.system_dir)) / "maker.pub");
  std::ofstream(fs::path(TrustedKeyFolder(places_.user_dir)) / "broken.pub") << "not a key\n";
  const Run run = Cli({"keys", "--trusted-key", FixturePath("other.pub")});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find(KeyIdOf("trusted.pub") + "  system"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(KeyIdOf("other.pub") + "  --trusted-key"), std::string::npos) << run.out;
  EXPECT_NE(run.err.find("broken.pub"), std::string::npos) << run.err;

  // A key in the system's folder is trusted without any option.
  EXPECT_EQ(Cli({"image", "verify", image_}).status, 0);
}

// The "Done when" of signed images, on the simulated DAC: a refused image
// sends nothing (the trace holds no output report), an allowed one is flashed.
TEST_F(CliSigningTest, CheckFlashAndBenchJudgeTheSignatureBeforeAnythingIsSent) {
  const std::string trusted = FixturePath("trusted.pub");
  const std::string flipped = (scratch_ / "flipped.bin").string();
  std::string bytes = FixtureText("image.bin");
  bytes[100] = static_cast<char>(bytes[100] ^ 0x01);
  std::ofstream(flipped, std::ios::binary) << bytes;
  fs::copy_file(FixturePath("image.bin.minisig"), flipped + ".minisig");
  const std::string edited = (scratch_ / "edited.minisig").string();
  std::string signature = FixtureText("image.bin.minisig");
  signature.insert(signature.find("\ntrusted comment: ") + 18, "x");
  std::ofstream(edited, std::ios::binary) << signature;
  const std::string conf_dir = (scratch_ / "factory").string();
  fs::create_directories(TrustedKeyFolder(conf_dir));
  std::ofstream(fs::path(conf_dir) / "veltrane.conf") << "require-signed = true\n";
  // The system's file counts the system's keys only.
  fs::copy_file(trusted, fs::path(TrustedKeyFolder(conf_dir)) / "maker.pub");

  struct Case {
    const char* name;
    std::vector<std::string> args;
    bool factory;  // require-signed = true in the system's file
    int status;
    std::string text;
  };
  const std::vector<Case> cases = {
      {"good", {"--trusted-key", trusted, "flash", image_}, false, 0, "Signature: signed by key " + KeyIdOf("trusted.pub")},
      {"good, check", {"--trusted-key", trusted, "check", image_}, true, 0, "ready to flash"},
      {"one bit", {"--trusted-key", trusted, "flash", flipped}, false, 3, "signature does not match the image"},
      {"one bit, check", {"--trusted-key", trusted, "check", flipped}, false, 3, "signature does not match the image"},
      {"comment edited", {"--trusted-key", trusted, "--signature", edited, "flash", image_}, false, 3, "trusted comment"},
      {"not trusted", {"flash", image_}, false, 3, "signed by key " + KeyIdOf("trusted.pub") + ", which is not trusted"},
      {"unsigned", {"flash", plain_}, false, 0, "Signature: unsigned"},
      {"unsigned, check", {"check", plain_}, false, 0, "Signature: unsigned"},
      {"unsigned, --require-signed", {"--require-signed", "flash", plain_}, false, 3, "only signed images"},
      {"unsigned, factory", {"flash", plain_}, true, 3, "require-signed = true in"},
      {"unsigned, bench", {"--require-signed", "bench", "--units", "1", plain_}, false, 3, "only signed images"},
  };
  for (const Case& c : cases) {
    const std::string eeprom = (scratch_ / (std::string(c.name) + ".eeprom")).string();
    const std::string trace = (scratch_ / (std::string(c.name) + ".trace")).string();
    std::vector<std::string> args = {"--simulate=" + eeprom, "--virtual-time", "--trace", trace};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const SigningPlaces saved = places_;
    if (c.factory) places_.system_dir = conf_dir;
    const Run run = Cli(args);
    places_ = saved;
    const std::string said = run.out + run.err;
    EXPECT_EQ(run.status, c.status) << c.name << ": " << said;
    EXPECT_NE(said.find(c.text), std::string::npos) << c.name << ": " << said;
    if (c.status == 3) {
      std::ifstream lines(trace);
      for (std::string line; std::getline(lines, line);) {
        EXPECT_FALSE(line.rfind("out ", 0) == 0 || line.rfind("write ", 0) == 0) << c.name << ": " << line;
      }
    }
  }
}

}  // namespace
}  // namespace veltrane::cli

namespace veltrane::cli {
namespace {

namespace fs = std::filesystem;
using veltrane::testing::FixturePath;
using veltrane::testing::FixtureText;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Packets that change a DAC: an EEPROM write (command 0x04, after the
// report ID and the length), a bulk start (0x01) or end (0xFF), and every
// interrupt write.
bool WritesInTrace(const std::string& trace) {
  std::istringstream lines(trace);
  for (std::string line; std::getline(lines, line);) {
    const std::string command = line.size() >= 14 ? line.substr(10, 3) : "";
    if (line.rfind("write ", 0) == 0 ||
        (line.rfind("out ", 0) == 0 && (command == "04 " || command == "01 " || command == "ff "))) {
      return true;
    }
  }
  return false;
}

enum class PolicyFrom { kNone, kFile, kOption };
enum class KeyFrom { kSystem, kUser, kOption };

// The signed-only rule on every road (simulated DAC, virtual time): each
// row is one change, with where the requirement and the key come from. A
// refusal must leave the EEPROM file as it was and send no write.
class SignedOnlyTest : public CliSigningTest {
 protected:
  struct Row {
    const char* name;
    PolicyFrom policy;
    KeyFrom key;
    std::vector<std::string> args;  // after the simulation options
    int status;
    std::string text;  // in stdout or stderr
    std::vector<std::string> sim = {};
  };

  Run Change(const Row& row, const std::string& eeprom) {
    const SigningPlaces saved = places_;
    places_.system_dir = (scratch_ / (std::string(row.name) + ".etc")).string();
    fs::create_directories(TrustedKeyFolder(places_.system_dir));
    fs::create_directories(TrustedKeyFolder(places_.user_dir));
    if (row.policy == PolicyFrom::kFile) {
      std::ofstream(PolicyFile(places_), std::ios::binary) << policy_text_;
    }
    std::vector<std::string> args = {"--simulate=" + eeprom, "--virtual-time", "--trace", eeprom + ".trace"};
    args.insert(args.end(), row.sim.begin(), row.sim.end());
    if (row.policy == PolicyFrom::kOption) args.push_back("--require-signed");
    const std::string key = FixturePath(key_name_);
    const fs::path user_key = fs::path(TrustedKeyFolder(places_.user_dir)) / "key.pub";
    const fs::path system_key = fs::path(TrustedKeyFolder(places_.system_dir)) / "key.pub";
    fs::remove(user_key);
    fs::remove(system_key);
    switch (row.key) {
      case KeyFrom::kSystem: fs::copy_file(key, system_key); break;
      case KeyFrom::kUser: fs::copy_file(key, user_key); break;
      case KeyFrom::kOption: args.insert(args.end(), {"--trusted-key", key}); break;
    }
    args.insert(args.end(), row.args.begin(), row.args.end());
    const Run run = Cli(args);
    places_ = saved;
    return run;
  }

  void Check(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
      const std::string eeprom = (scratch_ / (std::string(row.name) + ".eeprom")).string();
      std::vector<std::string> info = {"--simulate=" + eeprom, "--virtual-time"};
      info.insert(info.end(), row.sim.begin(), row.sim.end());
      info.push_back("info");
      ASSERT_EQ(Cli(info).status, 0) << row.name;
      const std::string before = ReadAll(eeprom);
      const Run run = Change(row, eeprom);
      const std::string said = run.out + run.err;
      EXPECT_EQ(run.status, row.status) << row.name << ": " << said;
      EXPECT_NE(said.find(row.text), std::string::npos) << row.name << ": " << row.text << " not in: " << said;
      if (row.status == 3) {
        EXPECT_EQ(ReadAll(eeprom), before) << row.name;
        EXPECT_FALSE(WritesInTrace(ReadAll(eeprom + ".trace"))) << row.name << ": " << said;
      }
    }
  }

  std::string File(const std::string& name, const std::string& bytes) {
    const std::string path = (scratch_ / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  std::string policy_text_ = "require-signed = true\n";
  std::string key_name_ = "trusted.pub";
};

TEST_F(SignedOnlyTest, EveryRoadTakesOnlyWholeSignedImagesWhereRequired) {
  const std::string image = FixtureText("image.bin");
  const std::string part = File("part.bin", image.substr(0x20, 0x40));
  const std::string tail = File("tail.bin", std::string(16, '\x5a'));
  const std::string settings = File("settings.bin", std::string("\x00\x01\x02\x03", 4));
  const std::string mine = File("mine.bin", image);
  File("mine.bin.minisig", FixtureText("other.minisig"));
  const std::string rule = "only a whole";
  using P = PolicyFrom;
  using K = KeyFrom;
  std::vector<Row> rows = {
      // No requirement: raw bytes go in as before; an image's signature is still judged.
      {"none, eeprom write 0", P::kNone, K::kOption, {"eeprom", "write", "0", plain_}, 0, "Wrote"},
      {"none, flash signed", P::kNone, K::kOption, {"flash", image_}, 0, "Signature: signed by key"},
      {"none, flash other key", P::kNone, K::kOption, {"flash", mine}, 3, "which is not trusted"},
      // Required by the option: every road that reaches the image area.
      {"option, eeprom write 0", P::kOption, K::kOption, {"eeprom", "write", "0", plain_}, 3, rule},
      {"option, eeprom write 0x20", P::kOption, K::kOption, {"eeprom", "write", "0x20", part}, 3,
       "a write at 0x0020 changes the firmware image"},
      {"option, eeprom write past the image", P::kOption, K::kOption, {"eeprom", "write", "0xfff0", tail}, 0,
       "Wrote"},
      {"option, feedback block", P::kOption, K::kOption, {"eeprom", "write", "0x1712", settings}, 0, "Wrote"},
      {"option, feedback set", P::kOption, K::kOption, {"feedback", "set", "0.25", "0.50", "1.00"}, 0, ""},
      {"option, flash unsigned", P::kOption, K::kOption, {"flash", plain_}, 3, "only signed images"},
      {"option, flash --force --no-verify", P::kOption, K::kOption,
       {"flash", "--force", "--no-verify", plain_}, 3, "only signed images"},
      {"option, bench unsigned", P::kOption, K::kOption, {"bench", "--units", "1", plain_}, 3, "only signed"},
      {"option, flash signed, user key", P::kOption, K::kUser, {"flash", image_}, 0, "signed by key"},
      {"option, eeprom write 0 signed", P::kOption, K::kOption, {"eeprom", "write", "0", image_}, 0, "Wrote"},
      {"option, bench signed", P::kOption, K::kOption, {"bench", "--units", "1", image_}, 0, "passed"},
      // Required by the system's file: only the system's keys count.
      {"file, flash signed, system key", P::kFile, K::kSystem, {"flash", image_}, 0, "signed by key"},
      {"file, eeprom write 0 signed, system key", P::kFile, K::kSystem, {"eeprom", "write", "0", image_}, 0,
       "Wrote"},
      {"file, flash signed, user key", P::kFile, K::kUser, {"flash", image_}, 3, "are ignored"},
      {"file, flash signed, option key", P::kFile, K::kOption, {"flash", image_}, 3, "which is not trusted"},
      {"file, feedback set", P::kFile, K::kSystem, {"feedback", "set", "0.25", "0.50", "1.00"}, 0, ""},
  };
  Check(rows);

  // A key made a minute ago, in the user's folder or named on the line.
  key_name_ = "other.pub";
  Check({{"file, own key, option", P::kFile, K::kOption, {"flash", mine}, 3, "which is not trusted"},
         {"file, own key, user folder", P::kFile, K::kUser, {"flash", mine}, 3, "which is not trusted"},
         {"option, own key, user folder", P::kOption, K::kUser, {"flash", mine}, 0, "signed by key"}});

  // The policy file as Windows editors save it, and as no editor should.
  key_name_ = "trusted.pub";
  for (const std::string& text : {std::string("\xEF\xBB\xBFrequire-signed = true\r\n"),
                                 std::string("\xFF\xFEr\0e\0q\0u\0i\0r\0e\0", 16)}) {
    policy_text_ = text;
    Check({{"file text, flash unsigned", P::kFile, K::kSystem, {"flash", plain_}, 3, "veltrane.conf"}});
  }
}

// The relabelled-signature attack, by name: the prehashed signature of an
// image, relabelled "Ed", is a good legacy signature over the image's 64-byte
// hash, which a bulk DAC (product 16) would take as firmware.
TEST_F(SignedOnlyTest, TheRelabelledSignatureStreamsNothingToABulkDac) {
#if VELTRANE_TEST_SODIUM
  const std::string hash = File("hash.bin", testing::Blake2b512(FixtureText("image.bin")));
  File("hash.bin.minisig", testing::Relabelled(FixtureText("image.bin.minisig")));
  const std::vector<std::string> bulk = {"--sim-product", "16"};
  using P = PolicyFrom;
  using K = KeyFrom;
  Check({{"relabelled, option", P::kOption, K::kOption, {"flash", hash}, 3, "legacy form", bulk},
         {"relabelled, file", P::kFile, K::kSystem, {"flash", hash}, 3, "legacy form", bulk},
         {"relabelled, not asked for", P::kNone, K::kOption, {"flash", hash}, 3, "--allow-legacy-signature", bulk},
         {"relabelled, asked for, nothing required", P::kNone, K::kOption,
          {"--allow-legacy-signature", "flash", hash}, 0, "signed by key", bulk},
         {"prehashed, bulk", P::kOption, K::kOption, {"flash", "--force", image_}, 0, "signed by key", bulk}});
#else
  GTEST_SKIP() << veltrane::testing::kNoSodium;
#endif
}

// Rollback puts back bytes that carry no signature of their own: under the
// rule only an image this program flashed signed may be put back.
TEST_F(SignedOnlyTest, RollbackPutsBackOnlyImagesFlashedSigned) {
  const std::string eeprom = (scratch_ / "dac.eeprom").string();
  const auto cli = [&](std::vector<std::string> args) {
    std::vector<std::string> all = {"--simulate=" + eeprom, "--virtual-time", "--trusted-key",
                                    FixturePath("trusted.pub")};
    all.insert(all.end(), args.begin(), args.end());
    return Cli(all);
  };
  // Unsigned bytes written where nothing required signatures, then undone under the rule.
  ASSERT_EQ(cli({"eeprom", "write", "0", plain_}).status, 0);
  std::string before = ReadAll(eeprom);
  Run run = cli({"--require-signed", "rollback"});
  EXPECT_EQ(run.status, 3) << run.err;
  EXPECT_NE(run.err.find("put back a signed image instead: veltrane-cli flash OLDER.bin"), std::string::npos)
      << run.err;
  EXPECT_EQ(ReadAll(eeprom), before);
  ASSERT_EQ(cli({"rollback"}).status, 0);  // outside the rule, as before

  // An image flashed signed, flashed again (its feedback block changed in
  // between), then undone: the kept signature vouches for the bytes put back.
  ASSERT_EQ(cli({"--require-signed", "flash", image_}).status, 0);
  ASSERT_EQ(cli({"feedback", "set", "0.25", "0.50", "1.00"}).status, 0);
  ASSERT_EQ(cli({"--require-signed", "flash", "--force", image_}).status, 0);
  before = ReadAll(eeprom);
  run = cli({"--require-signed", "rollback"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Rolled back"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace veltrane::cli
