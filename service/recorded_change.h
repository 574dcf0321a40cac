// The one road, recorded: a change goes through `ApplyChange` with the
// backup step saving into the one backup folder (and any further copy the
// caller asks for), and ends as one row of the service history. Every
// program's change to a DAC is made here, so the row is built in one place.
//
// The history never stops the change: a row that cannot be written leaves a
// warning for the caller to say once, and the result stands as it is.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "service/device_change.h"

namespace veltrane {

class ServiceHistory;

// Who makes the change and on what, as the row names them.
struct ChangeSubject {
  std::string program;     // "veltrane-cli", "veltrane"
  std::string operation;   // "flash", "eeprom write", "feedback set", "bench", "rollback", "Write", "Program"
  std::string image_name;  // the file written; empty when none
  std::string serial;
  std::string location;
  std::string transport;
  std::optional<std::int64_t> undoes;  // a rollback: the change it puts back
};

// The subject of a change on the DAC `link` has open: its serial number and
// location as the platform lists its interface, and the transport.
ChangeSubject SubjectOfLink(HidDeviceLink& link, std::string program, std::string operation);

// Where the backup and the row go.
struct ChangeKeeping {
  ServiceHistory* history = nullptr;  // null: no row
  std::string backup_folder;          // the one backup folder; empty: none
  bool backup = true;                 // false: --no-backup (recorded as skipped)
  // The program's signing policy and keys, for every change it makes (null:
  // the system's own); the road's signature step asks it (service/signed_only.h).
  const ImageSigning* signing = nullptr;
};

// What the desktop keeps: a row in `history` (null: none) and a backup in
// `backup_folder` (empty: none).
inline ChangeKeeping KeepingIn(ServiceHistory* history, std::string backup_folder) {
  ChangeKeeping keeping;
  keeping.history = history;
  keeping.backup = !backup_folder.empty();
  keeping.backup_folder = std::move(backup_folder);
  return keeping;
}

struct RecordedChange {
  std::optional<std::int64_t> id;  // the row's, when one was written
  std::string history_warning;     // "The service history was not recorded: …", once
  std::string backup_path;         // the backup in the folder, when one was saved
};

// ApplyChange, with the backup and the row. The row goes in before the
// first byte is sent, in state running (with the backup's path and SHA-256
// and the SHA-256 of the bytes to write) and a lock held until it is
// finished at the end: a change cut off by a kill or a power cut is found as
// interrupted and can be undone. `request.backup.save`, when set, is a
// further copy (--backup FILE) made after the folder's. An EEPROM image
// written with a good signature is kept with it in the backup folder's
// signed-images/, so that putting it back later counts as signed.
[[nodiscard]] bool ApplyRecordedChange(HidDeviceLink& link, ChangeRequest request, const ChangeSubject& subject,
                                       const ChangeKeeping& keeping, ChangeResult* result,
                                       RecordedChange* recorded);

// The name of the step a change ended at, as the history keeps it.
std::string ChangeStepName(const ChangeResult& result);

}  // namespace veltrane
