// The automatic backup's rules: how much is saved, how files are named, and
// that only the newest twenty of a device stay.
#include "update/page/eeprom_backup.h"

#include <gtest/gtest.h>

#include <QDir>

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
    EXPECT_EQ(EepromBackup::LengthToSave(header, c.new_length), c.saved) << int(c.high) << " " << int(c.low);
  }
}

TEST(EepromBackup, NamesByDeviceAndKeepsTheNewestTwentyOfEach) {
  EXPECT_EQ(EepromBackup::DeviceKey("", 4, 0x0102), "product0004-rev0102");
  EXPECT_EQ(EepromBackup::DeviceKey("SIM/0001", 4, 0x0102), "SIM_0001-rev0102");
  testing::ScratchDir dir;
  EepromBackup backup(QString::fromStdString((dir / "backups").string()));
  const QString key = EepromBackup::DeviceKey("SIM0001", 4, 0x0102);
  const QString other = EepromBackup::DeviceKey("SIM0002", 4, 0x0102);
  const QDateTime start(QDate(2026, 12, 8), QTime(20, 0));
  QString error;
  ASSERT_TRUE(backup.Save(other, {1, 2, 3}, start, &error)) << error.toStdString();
  QStringList paths;
  for (int i = 0; i < 23; ++i) {
    const auto path = backup.Save(key, {static_cast<std::uint8_t>(i)}, start.addSecs(i), &error);
    ASSERT_TRUE(path) << error.toStdString();
    paths << *path;
  }
  const QDir folder(backup.Folder());
  EXPECT_EQ(folder.entryList({key + "-*"}, QDir::Files).size(), EepromBackup::kKeptPerDevice);
  EXPECT_FALSE(QFile::exists(paths[2]));  // the oldest went
  EXPECT_TRUE(QFile::exists(paths[3]));
  EXPECT_TRUE(QFile::exists(paths.last()));
  EXPECT_EQ(folder.entryList({other + "-*"}, QDir::Files).size(), 1);
}

}  // namespace
}  // namespace veltrane
