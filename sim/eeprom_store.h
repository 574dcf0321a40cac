// The file that keeps the simulated DAC's EEPROM between runs (--simulate=FILE).
//
// FILE must be a regular file of at most 64 KiB, or not exist yet in a folder
// that does. It is locked for the whole run, so a second process on the same
// FILE is refused instead of both claiming success.
//
// How a FILE maps onto the 64 KiB EEPROM: its bytes are the EEPROM's first
// bytes and the rest reads as 0xFF (erased). A missing or empty FILE counts
// as new: the DAC starts from factory contents and the whole 64 KiB are kept.
// A FILE longer than the EEPROM is refused. A FILE this run did not create is
// written only when the EEPROM changed, and grown only as far as the last
// changed byte; it is never shrunk. Saving writes a temporary file in the same
// folder and renames it over FILE, so an interrupted save leaves the old FILE.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/file_lock.h"

namespace veltrane::sim {

class EepromStore {
 public:
  // Checks `path`, locks it and reads what it holds. False with `error` set
  // (a sentence naming FILE and what to do) when it cannot be used.
  bool Open(const std::string& path, std::size_t eeprom_size, std::string* error);
  bool IsOpen() const { return lock_.Held(); }

  // True when FILE held bytes: then `Stored` is the EEPROM's start.
  bool HasContents() const { return !stored_.empty(); }
  const std::vector<std::uint8_t>& Stored() const { return stored_; }

  // The EEPROM as the run begins, against which Save tells what changed.
  void MarkInitial(const std::vector<std::uint8_t>& eeprom) { initial_ = eeprom; }
  // Keeps `eeprom` in FILE as described above.
  bool Save(const std::vector<std::uint8_t>& eeprom, std::string* error);

 private:
  std::string path_;
  std::string temp_path_;
  FileLock lock_;
  std::vector<std::uint8_t> stored_;
  std::vector<std::uint8_t> initial_;
  bool whole_ = false;  // new or empty: kept whole
  std::size_t eeprom_size_ = 0;
};

}  // namespace veltrane::sim
