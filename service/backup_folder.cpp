#include "service/backup_folder.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "device/platform/durable_file.h"
#include "device/platform/file_names.h"
#include "device/platform/user_folders.h"
#include "service/history_row.h"

namespace veltrane {
namespace {

constexpr char kSuffix[] = ".bin";
// "20261209-024741-123": the time a backup was taken, to the millisecond.
constexpr std::size_t kTimeLength = 19;

// "2026-12-09T02:47:41.123Z" as "20261209-024741-123".
std::string NameTime(const std::string& utc) {
  std::string t;
  for (const char c : utc.substr(0, 23)) {
    if (c >= '0' && c <= '9') t += c;
    if (t.size() == 8 || t.size() == 15) t += '-';
  }
  return t;
}

}  // namespace

BackupFolder::BackupFolder(std::string folder) : folder_(std::move(folder)) {}

std::string BackupFolder::DefaultFolder() {
  const std::string data = UserDataFolder();
  if (data.empty()) return data;
  return NameOf(PathOf(data) / "backups");
}

std::string BackupFolder::DacKey(const std::string& serial, std::uint16_t product_id) {
  std::string key;
  for (const unsigned char c : serial) {
    const bool safe = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' || c == '_';
    key += safe ? static_cast<char>(c) : '_';
  }
  if (key.empty()) {
    char text[16];
    std::snprintf(text, sizeof text, "product%04x", product_id);
    key = text;
  }
  return key;
}

bool BackupFolder::Save(const std::string& key, std::span<const std::uint8_t> bytes, std::string* path,
                        std::string* error, const std::string& utc) const {
  std::error_code ec;
  const std::filesystem::path folder = PathOf(folder_);
  std::filesystem::create_directories(folder, ec);
  if (ec) {
    *error = "cannot create the folder " + folder_ + " (" + ec.message() + ")";
    return false;
  }
  // Two backups of one DAC within a millisecond still get a name each.
  std::filesystem::path file;
  std::string time = NameTime(utc.empty() ? UtcNow() : utc);
  for (int tries = 0; tries < 1000; ++tries) {
    file = folder / PathOf(key + "-" + time + kSuffix);
    if (!std::filesystem::exists(file, ec)) break;
    int ms = std::stoi(time.substr(16)) + 1;
    char text[8];
    std::snprintf(text, sizeof text, "%03d", ms % 1000);
    time = time.substr(0, 16) + text;
  }
  // Written as the -o outputs are: an exclusive temporary that follows no
  // link, on disk with its folder before the rename makes it the backup, so
  // a row that says "saved" never names half a file or an empty one.
  std::string reason;
  if (!WriteFileDurably(NameOf(file), bytes, &reason)) {
    *error = "cannot write " + NameOf(file) + " (" + reason + ")";
    return false;
  }
  *path = NameOf(file);
  return true;
}

void BackupFolder::Prune(const std::string& key,
                         const std::function<bool(const std::string& path)>& needed) const {
  std::error_code ec;
  std::vector<std::filesystem::path> mine;
  for (std::filesystem::directory_iterator it(PathOf(folder_), ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = NameOf(it->path().filename());
    // Only names of exactly this DAC's shape: key, dash, time, suffix (a
    // longer key that begins with this one is another DAC).
    if (name.size() == key.size() + 1 + kTimeLength + sizeof kSuffix - 1 && name.rfind(key + "-", 0) == 0 &&
        name.compare(name.size() - (sizeof kSuffix - 1), std::string::npos, kSuffix) == 0) {
      mine.push_back(it->path());
    }
  }
  std::sort(mine.begin(), mine.end());  // oldest first: the time sorts as text
  for (std::size_t i = 0; i + kKeptPerDac < mine.size(); ++i) {
    if (needed && needed(NameOf(mine[i]))) continue;
    std::filesystem::remove(mine[i], ec);
  }
}

}  // namespace veltrane
