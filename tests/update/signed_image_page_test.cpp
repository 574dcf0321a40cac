// Signed images in the desktop program: the main window on the simulated
// DAC, an image chosen with its signature beside it (made by minisign). A
// refused signature gives the described "Invalid Image!" box with the reason
// in the status strip, and nothing is sent; the strip names a good image's
// signer, or says it is unsigned.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "service/minisign_signature.h"
#include "service/signing_policy.h"
#include "sim/simulated_dac.h"
#include "tests/support/minisign_tool.h"
#include "tests/update/scratch_dir.h"
#include "ui/bitmap_button.h"
#include "ui/file_chooser.h"
#include "ui/recording_message_boxes.h"
#include "ui/status_strip.h"

namespace veltrane {
namespace {

namespace fs = std::filesystem;
using testing::FixturePath;
using testing::FixtureText;

class ListChooser : public FileChooser {
 public:
  std::optional<QString> ChooseFile(QWidget*) override { return path; }
  QString path;
};

std::string KeyIdOf(const std::string& pub_file) {
  MinisignPublicKey key;
  std::string reason;
  ParseMinisignPublicKey(FixtureText(pub_file), &key, &reason);
  return KeyIdText(key.key_id);
}

TEST(SignedImagePageTest, ARefusedSignatureSendsNothingAndTheStripSaysWhyOrWhoSigned) {
  if (testing::MinisignFixtures().empty()) GTEST_SKIP() << testing::kNoMinisign;
  if (!SignatureChecksBuiltIn()) GTEST_SKIP() << testing::kNoSodium;
  const testing::ScratchDir dir;
  const std::string image = FixtureText("image.bin");
  std::string flipped = image;
  flipped[100] = static_cast<char>(flipped[100] ^ 0x01);
  const auto place = [&](const std::string& name, const std::string& bytes, const char* signature) {
    const std::string path = dir.Write(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), name);
    if (signature != nullptr) fs::copy_file(FixturePath(signature), path + ".minisig");
    return path;
  };
  struct Case {
    const char* name;
    std::string path;
    bool require_signed;
    bool refused;
    std::string note;  // a part of the strip's note
  };
  const std::vector<Case> cases = {
      {"good", place("good.BIN", image, "image.bin.minisig"), false, false,
       "Image signed by key " + KeyIdOf("trusted.pub") + ": timestamp:"},
      {"one bit flipped", place("flipped.BIN", flipped, "image.bin.minisig"), false, true,
       "signature does not match the image"},
      {"another key", place("other.BIN", image, "other.minisig"), false, true,
       "signed by key " + KeyIdOf("other.pub") + ", which is not trusted"},
      {"unsigned", place("plain.BIN", image, nullptr), false, false, "Image unsigned"},
      {"unsigned, signed only", place("plain2.BIN", image, nullptr), true, true, "only signed images"},
  };
  for (const Case& c : cases) {
    sim::SimOptions options;
    options.virtual_time = true;
    sim::SimulatedDac dac(options);
    const std::vector<std::uint8_t> before = dac.Eeprom();
    MainWindow window(dac);
    FirmwarePage& page = window.Firmware();
    RecordingMessageBoxes boxes;
    ListChooser chooser;
    chooser.path = QString::fromStdString(c.path);
    page.SetMessageBoxes(&boxes);
    page.SetFileChooser(&chooser);
    page.SetBackupFolder(QString());
    SigningOptions signing;
    signing.trusted_key_files.push_back(FixturePath("trusted.pub"));
    signing.require_signed = c.require_signed;
    page.SetSigning(ImageSigning::Load(SigningPlaces{}, signing));

    page.OnBrowse();
    EXPECT_NE(window.Strip()->Note().toStdString().find(c.note), std::string::npos)
        << c.name << ": " << window.Strip()->Note().toStdString();
    if (c.refused) {
      EXPECT_EQ(boxes.Texts(), std::vector<QString>{QStringLiteral("Invalid Image!")}) << c.name;
      EXPECT_FALSE(page.Ready()) << c.name;
      page.OnWrite();
      for (const std::string& line : dac.Trace()) {
        EXPECT_FALSE(line.rfind("out ", 0) == 0 || line.rfind("write ", 0) == 0) << c.name << ": " << line;
      }
      EXPECT_EQ(dac.Eeprom(), before) << c.name;
    } else {
      EXPECT_TRUE(boxes.Texts().empty()) << c.name;
      page.OnWrite();
      EXPECT_EQ(boxes.Texts().back(), QStringLiteral("EEPROM program completed. ")) << c.name;
      EXPECT_TRUE(std::equal(image.begin(), image.end(), dac.Eeprom().begin(),
                             [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }))
          << c.name;
    }
  }
}

}  // namespace
}  // namespace veltrane
