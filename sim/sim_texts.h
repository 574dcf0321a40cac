// The simulator's own sentences about --simulate=FILE and --trace FILE.
#pragma once

namespace veltrane::sim::texts {

inline constexpr char kNotRegular[] =
    "--simulate=%s: not a regular file (a folder or a device). Give the name of a file to keep "
    "the simulated EEPROM in.";
inline constexpr char kTooLong[] =
    "--simulate=%s: the file is longer than the simulated EEPROM's 65536 bytes. Give another file.";
inline constexpr char kNoFolder[] =
    "--simulate=%s: the folder does not exist. Create it or give another file.";
inline constexpr char kCannotOpen[] =
    "--simulate=%s: cannot open the file for reading and writing (%s).";
inline constexpr char kBusy[] =
    "--simulate=%s: another veltrane program is using this file. Wait for it to end, or give "
    "another file.";
inline constexpr char kTraceOpenFailed[] = "Cannot open the trace file %s. Check the path and try again.";
inline constexpr char kSaveFailed[] = "cannot keep the simulated EEPROM in %s (%s)";

}  // namespace veltrane::sim::texts
