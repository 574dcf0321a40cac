// The file that keeps the simulated DAC's EEPROM between runs (--simulate=FILE).
//
// FILE must be a regular file of at most 64 KiB, or not exist yet in a folder
// that does. It is locked for the whole run, so a second process on the same
// FILE is refused instead of both claiming success.
//
// How a FILE maps onto the 64 KiB EEPROM: its bytes are the EEPROM's first
// bytes and the rest reads as 0xFF (erased). A missing or empty FILE counts
// as new: the DAC starts from factory contents and the whole 64 KiB are kept
// at once. A FILE longer than the EEPROM is refused. A FILE this run did not
// create is written only where the EEPROM changed, and grown only as far as
// the last changed byte; it is never shrunk.
//
// FILE keeps every byte as the DAC takes it, as a real DAC's EEPROM does: each
// write packet's changed bytes are written in place at once, so a run that is
// killed leaves FILE with every packet it sent and none it did not. Like the
// DAC, it is not atomic: a kill between two packets leaves the first only.
#pragma once

#include <cstddef>
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

  // The EEPROM as the run begins: what FILE keeps from now on. A new FILE
  // takes it whole here.
  bool Begin(const std::vector<std::uint8_t>& eeprom, std::string* error);
  // Writes the bytes of `eeprom` in [begin, end) that differ from what FILE
  // keeps into FILE, in place.
  bool Keep(const std::vector<std::uint8_t>& eeprom, std::size_t begin, std::size_t end,
            std::string* error);

 private:
  bool WriteAt(const std::vector<std::uint8_t>& eeprom, std::size_t begin, std::size_t end,
               std::string* error);

  std::string path_;
  FileLock lock_;
  std::vector<std::uint8_t> stored_;
  std::vector<std::uint8_t> kept_;  // the EEPROM as FILE keeps it (erased past its end)
  std::size_t file_length_ = 0;
  bool whole_ = false;  // new or empty: kept whole
  std::size_t eeprom_size_ = 0;
};

}  // namespace veltrane::sim
