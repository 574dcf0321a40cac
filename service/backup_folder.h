// The one backup folder: before a change, what it will overwrite is saved
// here, one file a backup, named by the DAC's serial number and the time
// (UTC) it was taken. The newest kKeptPerDac of each DAC stay; an older one
// stays too while the service history still needs it to undo a change.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace veltrane {

class BackupFolder {
 public:
  static constexpr int kKeptPerDac = 20;

  explicit BackupFolder(std::string folder);

  // backups/ in the user's program data folder; empty when the system names none.
  static std::string DefaultFolder();

  // The part of a backup's name that tells one DAC from another: its serial
  // number, made safe for a file name, or the product ID when it has none.
  static std::string DacKey(const std::string& serial, std::uint16_t product_id);

  // Saves `bytes` as a new backup of `key` (the folder is made when needed),
  // named by the time `utc` (ISO 8601; empty: now); false with `error` set
  // when it cannot be written.
  bool Save(const std::string& key, std::span<const std::uint8_t> bytes, std::string* path,
            std::string* error, const std::string& utc = {}) const;

  // Drops all but the newest kKeptPerDac backups of `key`; an older one
  // stays when `needed(path)` says so.
  void Prune(const std::string& key, const std::function<bool(const std::string& path)>& needed) const;

  const std::string& Folder() const { return folder_; }

 private:
  std::string folder_;
};

}  // namespace veltrane
