#include "sim/eeprom_store.h"

#include <algorithm>
#include <filesystem>

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
  const ImageFile file = ReadImageFile(path, eeprom_size);
  if (!file.Ok()) {
    lock_.Release();
    *error = Say(texts::kCannotOpen, path, file.system_text);
    return false;
  }
  stored_ = file.bytes;
  file_length_ = stored_.size();
  whole_ = stored_.empty();
  return true;
}

bool EepromStore::Begin(const std::vector<std::uint8_t>& eeprom, std::string* error) {
  kept_ = eeprom;
  if (!IsOpen() || !whole_) return true;
  whole_ = false;
  return WriteAt(eeprom, 0, std::min(eeprom.size(), eeprom_size_), error);
}

bool EepromStore::Keep(const std::vector<std::uint8_t>& eeprom, std::size_t begin, std::size_t end,
                       std::string* error) {
  if (!IsOpen()) return true;
  end = std::min({end, eeprom.size(), kept_.size()});
  while (begin < end && eeprom[begin] == kept_[begin]) ++begin;
  while (end > begin && eeprom[end - 1] == kept_[end - 1]) --end;
  if (begin == end) return true;  // nothing changed: FILE stays as it is
  // Past FILE's end the EEPROM reads erased: a write beyond it fills the gap
  // with what the EEPROM holds there, so FILE never gains a hole of zeros.
  return WriteAt(eeprom, std::min(begin, file_length_), end, error);
}

bool EepromStore::WriteAt(const std::vector<std::uint8_t>& eeprom, std::size_t begin, std::size_t end,
                          std::string* error) {
  std::string reason;
  if (!lock_.WriteAt(begin, eeprom.data() + begin, end - begin, &reason)) {
    *error = Say(texts::kSaveFailed, path_, reason);
    return false;
  }
  std::copy(eeprom.begin() + static_cast<std::ptrdiff_t>(begin), eeprom.begin() + static_cast<std::ptrdiff_t>(end),
            kept_.begin() + static_cast<std::ptrdiff_t>(begin));
  file_length_ = std::max(file_length_, end);
  return true;
}

}  // namespace veltrane::sim
