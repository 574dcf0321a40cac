// The automatic backup's rules: how much is saved, how files are named, and
// that only the newest twenty of a DAC stay, unless the history still needs one.
#include "service/backup_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "service/device_change.h"
#include "tests/update/scratch_dir.h"

namespace veltrane {
namespace {

TEST(EepromBackup, SavesTheStatedImageOrTheWholeEepromAndNeverLessThanTheWrite) {
  const struct {
    std::uint8_t high, low;
    std::size_t new_length, saved;
  } cases[] = {
      {0x08, 0x00, 1024, 2048},     // the image's own length
      {0x08, 0x00, 8192, 8192},     // what the Write will overwrite beyond it
      {0x00, 0x00, 1024, 65536},    // no length: everything
      {0x00, 0x11, 1024, 65536},    // shorter than a header: not an image's
      {0xFF, 0xFF, 1024, 65535},    // an erased EEPROM states its largest length
  };
  for (const auto& c : cases) {
    std::uint8_t header[18] = {};
    header[16] = c.high;
    header[17] = c.low;
    EXPECT_EQ(BackupLength(BackupSpan::kHeldImage, header, c.new_length), c.saved) << int(c.high) << " " << int(c.low);
  }
}

TEST(EepromBackup, NamesByDacAndKeepsTheNewestTwentyOfEachUnlessStillNeeded) {
  EXPECT_EQ(BackupFolder::DacKey("", 4), "product0004");
  EXPECT_EQ(BackupFolder::DacKey("SIM/0001", 4), "SIM_0001");
  testing::ScratchDir dir;
  const BackupFolder backup((dir / "backups").string());
  const std::string key = BackupFolder::DacKey("SIM0001", 4);
  std::string path;
  std::string error;
  const auto at = [](int second) { return "2026-12-08T20:00:" + std::to_string(10 + second) + ".000Z"; };
  ASSERT_TRUE(backup.Save("SIM00011", std::vector<std::uint8_t>{1, 2, 3}, &path, &error, at(0))) << error;
  std::vector<std::string> paths;
  for (int i = 0; i < 23; ++i) {
    ASSERT_TRUE(backup.Save(key, std::vector<std::uint8_t>{static_cast<std::uint8_t>(i)}, &path, &error, at(i)))
        << error;
    paths.push_back(path);
  }
  EXPECT_EQ(std::filesystem::path(paths[0]).filename(), "SIM0001-20261208-200010-000.bin");
  // The history still needs the oldest: it alone undoes a change.
  backup.Prune(key, [&](const std::string& p) { return p == paths[0]; });
  EXPECT_TRUE(std::filesystem::exists(paths[0]));
  EXPECT_FALSE(std::filesystem::exists(paths[1]));
  EXPECT_FALSE(std::filesystem::exists(paths[2]));
  EXPECT_TRUE(std::filesystem::exists(paths[3]));
  EXPECT_TRUE(std::filesystem::exists(paths.back()));
  EXPECT_TRUE(std::filesystem::exists(dir / "backups" / "SIM00011-20261208-200010-000.bin"))
      << "a longer key that begins with this one is another DAC";
}

}  // namespace
}  // namespace veltrane
