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

}  // namespace veltrane::history_texts
