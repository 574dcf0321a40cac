// The signature commands as a user runs them (in process, with the system's
// and the user's settings folders in a scratch directory): image verify,
// keys, and the signature line of image info.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "service/minisign_signature.h"
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
      {{"--trusted-key", trusted, "--signature", FixturePath("legacy.minisig"), "image", "verify", image_}, 0, id},
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
  fs::create_directories(conf_dir);
  std::ofstream(fs::path(conf_dir) / "veltrane.conf") << "require-signed = true\n";

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
