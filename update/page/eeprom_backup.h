// The automatic backup the firmware page takes before every EEPROM Write:
// what the EEPROM holds (read by the one road's backup step) is saved as a file in the user's data folder
// (backups/, named after the device and the time), and only the newest
// backups of each device are kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <QDateTime>
#include <QString>

namespace veltrane {

class EepromBackup {
 public:
  static constexpr int kKeptPerDevice = 20;

  // Backups go to `folder` (created when needed).
  explicit EepromBackup(QString folder);

  // <data folder>/backups: QStandardPaths::AppDataLocation.
  static QString DefaultFolder();

  // The name part that tells one device's backups from another's: the serial
  // number when the device has one, else the product ID; then the revision.
  static QString DeviceKey(const QString& serial, std::uint16_t product_id, std::uint16_t revision);

  // How many bytes to save: the length the image in the EEPROM gives in its
  // header (bytes 16 and 17), or the whole EEPROM when that length cannot be
  // an image's; and never less than what the Write is about to overwrite.
  static std::size_t LengthToSave(const std::uint8_t header[18], std::size_t new_image_length);

  // The reason given when the EEPROM could not be read for a backup.
  static QString ReadFailedText(const std::string& where);

  // Writes `bytes` as the backup of `device_key` taken at `when`, then drops
  // all but the newest kKeptPerDevice of that device.
  std::optional<QString> Save(const QString& device_key, const std::vector<std::uint8_t>& bytes,
                              const QDateTime& when, QString* error);

  const QString& Folder() const { return folder_; }

 private:
  void Prune(const QString& device_key);

  QString folder_;
};

}  // namespace veltrane
