// What a rollback may put back, decided once for the command line's
// `rollback` and the desktop's offer after an interrupted Write. A rollback
// trusts the DAC over the record: before it writes, it reads the range the
// change wrote and compares it with what the change wrote. Equal: the
// backup goes back. A change that never finished (interrupted, or failed
// after some packets): the backup goes back, as that is what it is for.
// Anything else (a change outside the history, a change redone, another
// DAC's bytes) is refused, naming what the EEPROM holds now, unless forced.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "device/hid_device_link.h"
#include "service/device_change.h"
#include "service/history_row.h"
#include "service/recorded_change.h"

namespace veltrane {

class ServiceHistory;

// The chosen DAC as the platform lists it. One without a serial number
// matches only rows without one, of its product, at its location.
struct RollbackDac {
  std::string serial;
  std::string location;
  std::uint16_t product = 0;
};

enum class RollbackVerdict {
  kPutBack,            // the backup may go back (`interrupted` says why, `forced` whether forced)
  kHistoryUnreadable,  // `problem`
  kNothingToUndo,      // no change on this DAC is left to undo
  kNeedsId,            // a DAC without a serial number: the change must be named
  kNoSuchChange,
  kOtherDac,           // the change was made on another DAC
  kStillRunning,       // its program is still writing it
  kNoBackup,           // the change kept none (`row->backup_state`)
  kAlreadyUndone,      // a done rollback put it back already (forced: again)
  kBackupUnreadable,   // `problem`
  kBackupAltered,      // the backup file's SHA-256 is not the recorded one
  kLaterChanges,       // later changes over the same bytes would be undone silently (`later`)
  kUnknownWritten,     // a row of an older program that does not say what it wrote
  kReadFailed,         // the range could not be read from the DAC (the link says why)
  kChangedSince,       // the EEPROM holds other bytes than the change wrote (`holds_now`)
};

struct RollbackPlan {
  RollbackVerdict verdict = RollbackVerdict::kNothingToUndo;
  std::optional<HistoryRow> row;      // the change to undo
  std::vector<HistoryRow> rows;       // this DAC's rows, newest first
  std::vector<std::uint8_t> backup;   // its backup's bytes, read once
  // What goes back: the backup, and when it holds the head of a longer image
  // (a shorter image was flashed over it), the rest of that image as the DAC
  // holds it, so the bytes sent are a whole image and judged as one.
  std::vector<std::uint8_t> put_back;
  std::string problem;
  std::vector<HistoryRow> later;      // later changes over the same bytes
  std::string expected_sha256;        // what the change wrote, as recorded
  bool interrupted = false;           // put back because the change never finished
  bool forced = false;                // a refusal that --force set aside
  std::string holds_now;              // what the EEPROM holds over the range now, in words

  bool Go() const { return verdict == RollbackVerdict::kPutBack; }
};

// From the history alone: the change (`wanted`, or this DAC's latest one not
// yet undone) and its backup. `force` sets aside "already undone" and
// "later changes".
RollbackPlan PlanRollback(ServiceHistory& history, const RollbackDac& dac, std::optional<std::int64_t> wanted,
                          bool force);

// Reads the range the change wrote and compares it with what it wrote; a
// plan that may go stays so only when they are equal, the change never
// finished, or `force`.
void JudgeRollback(HidDeviceLink& link, RollbackPlan* plan, bool force,
                   const std::function<void()>& between_reads = {});

// What the one road is handed to put the backup back, and the row's subject.
ChangeRequest PutBackRequest(const RollbackPlan& plan, const DeviceIdentity& device);
void MarkRollback(const RollbackPlan& plan, ChangeSubject* subject);

// True when the backup holds an image whose byte 0 fails its header
// checksum (taken while a write had not finished): put back exactly so.
bool BackupIsInvalidImage(const RollbackPlan& plan);

// The changes a done rollback has put back, as `rows` (newest first) leave
// them: a rollback of a rollback brings its change back.
std::vector<std::int64_t> UndoneChanges(const std::vector<HistoryRow>& rows);

// Why a plan may not go, in a few words (history_texts); the history's own
// problem for kHistoryUnreadable.
std::string RollbackRefusalText(const RollbackPlan& plan);

// The newest row of `dac` in `history` when it is interrupted.
std::optional<HistoryRow> InterruptedChange(ServiceHistory& history, const RollbackDac& dac);

}  // namespace veltrane
