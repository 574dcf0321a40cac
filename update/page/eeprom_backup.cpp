#include "update/page/eeprom_backup.h"

#include <algorithm>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

#include "service/device_change.h"

namespace veltrane {

namespace {

const QString kSuffix = QStringLiteral(".bin");

}  // namespace

EepromBackup::EepromBackup(QString folder) : folder_(std::move(folder)) {}

QString EepromBackup::DefaultFolder() {
  return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/backups");
}

QString EepromBackup::DeviceKey(const QString& serial, std::uint16_t product_id, std::uint16_t revision) {
  QString name = serial;
  // Only characters that are safe in a file name on every system.
  for (QChar& c : name) {
    if (!c.isLetterOrNumber() && c != QLatin1Char('-') && c != QLatin1Char('_')) c = QLatin1Char('_');
  }
  if (name.isEmpty()) name = QStringLiteral("product%1").arg(product_id, 4, 16, QLatin1Char('0'));
  return QStringLiteral("%1-rev%2").arg(name).arg(revision, 4, 16, QLatin1Char('0'));
}

std::size_t EepromBackup::LengthToSave(const std::uint8_t header[18], std::size_t new_image_length) {
  return BackupLength(BackupSpan::kHeldImage, header, new_image_length);
}

QString EepromBackup::ReadFailedText(const std::string& where) {
  return QCoreApplication::translate("EepromBackup", "Backup failed: the EEPROM could not be read (%1).")
      .arg(QString::fromStdString(where));
}

std::optional<QString> EepromBackup::Save(const QString& device_key, const std::vector<std::uint8_t>& bytes,
                                          const QDateTime& when, QString* error) {
  if (!QDir().mkpath(folder_)) {
    *error = QCoreApplication::translate("EepromBackup", "Backup failed: cannot create the folder %1.").arg(folder_);
    return std::nullopt;
  }
  // The time to the millisecond: two Writes in one second keep two backups,
  // and the names sort in the order they were taken.
  const QString path = QDir(folder_).filePath(
      device_key + QLatin1Char('-') + when.toString(QStringLiteral("yyyyMMdd-HHmmss-zzz")) + kSuffix);
  QSaveFile file(path);
  const bool written =
      file.open(QIODevice::WriteOnly) &&
      file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size())) ==
          static_cast<qint64>(bytes.size()) &&
      file.commit();
  if (!written) {
    *error = QCoreApplication::translate("EepromBackup", "Backup failed: cannot write %1 (%2).")
                 .arg(path, file.errorString());
    return std::nullopt;
  }
  Prune(device_key);
  return path;
}

void EepromBackup::Prune(const QString& device_key) {
  QDir dir(folder_);
  QStringList names = dir.entryList({device_key + QStringLiteral("-*") + kSuffix}, QDir::Files, QDir::Name);
  // Only names of exactly this device's shape: key, dash, the 19-character
  // time, suffix (a longer key that begins with this one is another device).
  names.erase(std::remove_if(names.begin(), names.end(),
                             [&](const QString& n) {
                               return n.size() != device_key.size() + 1 + 19 + kSuffix.size();
                             }),
              names.end());
  for (qsizetype i = 0; i + kKeptPerDevice < names.size(); ++i) dir.remove(names[i]);
}

}  // namespace veltrane
