#include "sim/eeprom_store.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "device/image_file.h"
#include "device/platform/file_names.h"
#include "sim/sim_texts.h"

namespace veltrane::sim {
namespace {

std::string Say(const char* format, const std::string& path, const std::string& detail = {}) {
  std::string text = format;
  const auto at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, path);
  const auto detail_at = text.find("%s");
  if (detail_at != std::string::npos) text.replace(detail_at, 2, detail);
  return text;
}

}  // namespace

bool EepromStore::Open(const std::string& path, std::size_t eeprom_size, std::string* error) {
  namespace fs = std::filesystem;
  path_ = path;
  temp_path_ = path + ".saving";
  eeprom_size_ = eeprom_size;
  std::error_code ec;
  const fs::file_status status = fs::status(PathOf(path), ec);
  const bool exists = fs::exists(status);
  if (exists && !fs::is_regular_file(status)) {
    *error = Say(texts::kNotRegular, path);
    return false;
  }
  if (exists && fs::file_size(PathOf(path), ec) > eeprom_size) {
    *error = Say(texts::kTooLong, path);
    return false;
  }
  if (!exists) {
    fs::path folder = PathOf(path).parent_path();
    if (folder.empty()) folder = ".";
    if (!fs::is_directory(folder, ec)) {
      *error = Say(texts::kNoFolder, path);
      return false;
    }
  }
  bool busy = false;
  std::string reason;
  if (!lock_.Acquire(path, !exists, &busy, &reason)) {
    *error = Say(busy ? texts::kBusy : texts::kCannotOpen, path, reason);
    return false;
  }
  // The save goes through a temporary file beside FILE: the folder must take one.
  {
    std::ofstream probe(PathOf(temp_path_), std::ios::binary | std::ios::trunc);
    if (!probe) {
      lock_.Release();
      if (!exists) fs::remove(PathOf(path), ec);
      *error = Say(texts::kFolderNotWritable, path);
      return false;
    }
  }
  fs::remove(PathOf(temp_path_), ec);

  const ImageFile file = ReadImageFile(path, eeprom_size);
  if (!file.Ok()) {
    lock_.Release();
    *error = Say(texts::kCannotOpen, path, file.system_text);
    return false;
  }
  stored_ = file.bytes;
  whole_ = stored_.empty();
  return true;
}

bool EepromStore::Save(const std::vector<std::uint8_t>& eeprom, std::string* error) {
  if (!IsOpen()) return true;
  std::size_t length = eeprom.size();
  if (!whole_) {
    // Only as far as the last byte that changed, and never shorter than FILE was.
    std::size_t last = 0;
    for (std::size_t i = 0; i < eeprom.size() && i < initial_.size(); ++i) {
      if (eeprom[i] != initial_[i]) last = i + 1;
    }
    if (last == 0) return true;  // nothing changed: FILE stays as it is
    length = std::max(last, stored_.size());
  }
  {
    std::ofstream out(PathOf(temp_path_), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(eeprom.data()), static_cast<std::streamsize>(length));
    out.close();
    if (!out) {
      std::error_code ec;
      std::filesystem::remove(PathOf(temp_path_), ec);
      *error = Say(texts::kSaveFailed, path_, "write error");
      return false;
    }
  }
  std::string reason;
  if (!ReplaceFile(temp_path_, path_, &reason)) {
    std::error_code ec;
    std::filesystem::remove(PathOf(temp_path_), ec);
    *error = Say(texts::kSaveFailed, path_, reason);
    return false;
  }
  return true;
}

}  // namespace veltrane::sim
