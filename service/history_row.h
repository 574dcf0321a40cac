// One change made to a DAC, as the service history keeps it: when, by which
// program on which computer, what was written to which DAC, what it held
// before, where the bytes it overwrote were saved, and how it ended.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace veltrane {

// How the bytes a change overwrote were kept.
namespace backup_state {
inline constexpr char kSaved[] = "saved";      // in backup_path
inline constexpr char kSkipped[] = "skipped";  // --no-backup
inline constexpr char kNone[] = "none";        // nothing to keep (a bulk image)
inline constexpr char kFailed[] = "failed";    // could not be read or saved: nothing was written
}  // namespace backup_state

namespace outcome {
inline constexpr char kDone[] = "done";
inline constexpr char kFailed[] = "failed";
// Written before the first byte is sent and finished at the end: a row still
// running when its program is gone (its lock no longer held) was interrupted.
inline constexpr char kRunning[] = "running";
}  // namespace outcome

struct HistoryRow {
  std::int64_t id = 0;  // given by the history
  std::string started_utc;  // ISO 8601, "2026-12-09T02:47:41.123Z"
  std::string ended_utc;
  std::string program;  // "veltrane-cli", "veltrane"
  std::string program_version;
  std::string host;
  std::string operation;  // "flash", "eeprom write", "feedback set", "bench", "rollback", "Write", "Program"

  std::uint16_t vendor = 0;
  std::uint16_t product = 0;
  std::uint16_t revision = 0;
  std::string serial;
  std::string location;
  std::string transport;

  std::string image_name;  // the file written, empty when none (feedback set)
  std::string image_sha256;
  std::optional<std::uint64_t> image_size;
  std::optional<std::uint16_t> image_version;  // from its header, when it has one

  std::optional<std::uint16_t> version_before;  // of the image the EEPROM held
  std::optional<std::uint16_t> version_after;

  // The EEPROM bytes the change writes start here; the backup holds the
  // bytes from here on as they were before.
  std::uint32_t address = 0;
  std::uint64_t length = 0;
  std::string backup_state = backup_state::kNone;
  std::string backup_path;
  std::string backup_sha256;
  // The SHA-256 of the bytes the change writes (what the EEPROM holds over
  // address..address+length when it is done); empty in rows of older programs.
  std::string written_sha256;

  std::string outcome = outcome::kFailed;
  std::string failed_stage;  // the stage of the link's LastFailure, or the step that refused
  std::string failure_text;
  std::uint64_t packets_written = 0;
  std::int64_t duration_ms = 0;
  std::optional<std::int64_t> undoes;  // a rollback: the row whose backup it wrote back
  // While running: the lock file its program holds (HeldLock).
  std::string lock_path;
  // Not kept: set when the row is read, for a running row whose program is gone.
  bool interrupted = false;

  bool Done() const { return outcome == outcome::kDone; }
  bool Running() const { return outcome == outcome::kRunning && !interrupted; }
  bool Interrupted() const { return outcome == outcome::kRunning && interrupted; }
  // Ended without its bytes in place, after it may have written some: the
  // EEPROM holds a mix of the old bytes and the new ones.
  bool Unfinished() const { return Interrupted() || (outcome == outcome::kFailed && packets_written > 0); }
};

// Now, as the history writes times: UTC, milliseconds, ISO 8601.
std::string UtcNow();

}  // namespace veltrane
