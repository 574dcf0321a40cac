// The fixed texts of the desktop program's shell.
#pragma once

namespace veltrane::app_texts {

inline constexpr const char* kUsage =
    "Usage: veltrane [options]\n"
    "The desktop program for Veltrane DACs.\n"
    "\n"
    "options:\n"
    "  --help             show this text and exit\n"
    "  --version          show the program's version and exit\n";

inline constexpr const char* kUnknownOption = "unknown option or argument: ";
inline constexpr const char* kTryHelp = "Try 'veltrane --help' for more information.";
inline constexpr const char* kTraceFileFailed = "cannot write the trace file: ";

// F1: there is no help content; the box names the help file that would be looked for.
inline constexpr const char* kNoHelpFile = "Cannot find the help file %1.HLP.\nNo help is installed for this program.";

}  // namespace veltrane::app_texts
