// The service history's own texts.
#pragma once

namespace veltrane::history_texts {

inline constexpr char kNotRecorded[] = "The service history was not recorded: ";
inline constexpr char kCannotRead[] = "The service history cannot be read: ";

// What went wrong, after one of the two above; %s is the file.
inline constexpr char kLocked[] = "%s stayed locked by another program for more than %d ms.";
inline constexpr char kReadOnly[] = "%s is read-only (%s).";
inline constexpr char kCannotOpen[] = "%s cannot be opened (%s).";
inline constexpr char kCannotCreateFolder[] = "the folder of %s cannot be created (%s).";
inline constexpr char kDamaged[] =
    "%s is damaged or is not a service history (%s). Move it aside: a new one is then started.";
inline constexpr char kDiskFull[] = "the disk that holds %s is full.";
inline constexpr char kNewerSchema[] =
    "%s was written by a newer Veltrane (history version %d; this one knows up to %d). "
    "Use that version, or name another file with --history.";
inline constexpr char kOther[] = "%s: %s.";
inline constexpr char kNoDataFolder[] =
    "the system names no data folder for this user. Name a file with --history FILE.";
inline constexpr char kNoSqlite[] = "this build of Veltrane has no history database.";

// What the EEPROM holds over a change's range now, when a rollback finds
// other bytes than the change wrote.
inline constexpr char kHoldsWrittenBy[] = "what change %lld (%s, %s UTC) wrote";
inline constexpr char kHoldsBackup[] = "what it held before the change, as its backup holds it";
inline constexpr char kHoldsImage[] = "an image, version 0x%04x, %u bytes, that no change in the history wrote";
inline constexpr char kHoldsIncomplete[] = "an image whose byte 0 fails its header checksum";
inline constexpr char kHoldsOther[] = "bytes that no change in the history wrote (SHA-256 %.16s...)";

// Why a rollback may not go, briefly (the desktop's box).
inline constexpr char kWhyNothingToUndo[] = "no change on this DAC is left to undo";
inline constexpr char kWhyNeedsId[] = "this DAC has no serial number: name the change to undo";
inline constexpr char kWhyNoSuchChange[] = "the history holds no such change";
inline constexpr char kWhyOtherDac[] = "the change was made on another DAC";
inline constexpr char kWhyStillRunning[] = "the change is still being made";
inline constexpr char kWhyNoBackup[] = "the change kept no backup";
inline constexpr char kWhyAlreadyUndone[] = "the change is rolled back already";
inline constexpr char kWhyBackupUnreadable[] = "its backup cannot be read";
inline constexpr char kWhyBackupAltered[] = "its backup file was altered";
inline constexpr char kWhyLaterChanges[] = "later changes over the same bytes would be lost";
inline constexpr char kWhyUnknownWritten[] = "the history does not say what the change wrote";
inline constexpr char kWhyReadFailed[] = "the EEPROM could not be read";
inline constexpr char kWhyChangedSince[] = "the EEPROM holds other bytes than the change wrote";

}  // namespace veltrane::history_texts
