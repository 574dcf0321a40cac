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

// Accessible names: the window's controls, the tabs (their labels are
// pictures), and the about page, whose whole text is pixels of its picture.
inline constexpr const char* kExitName = "Exit";
inline constexpr const char* kTabControlName = "Pages";
inline constexpr const char* kTabNames[] = {"EEPROM", "FEEDBACK", "ABOUT"};
inline constexpr const char* kAboutName = "About";
inline constexpr const char* kAboutText = "Veltrane Version 1.5. Copyright (C) 2026 Veltrane Audio";
inline constexpr const char* kOkName = "OK";

// The status strip: the DAC the next action would use.
inline constexpr const char* kNoDacConnected = "No DAC connected";
// Product ID, revision, serial number, transport: short enough for the
// window's width (the strip's tool tip holds the whole line too).
inline constexpr const char* kDacInUse = "DAC %1 rev %2 \u00b7 %3 \u00b7 %4";
inline constexpr const char* kNoSerial = "no serial";
inline constexpr const char* kBackupSaved = "Backup: %1";
// The latest change the service history holds for the DAC in the strip.
inline constexpr const char* kLastChange = " \u00b7 Last change: %1 %2, %3";
inline constexpr const char* kJustNow = "just now";
inline constexpr const char* kMinutesAgo = "%1 min ago";
inline constexpr const char* kHoursAgo = "%1 h ago";
inline constexpr const char* kDaysAgo = "%1 days ago";

// A change to the DAC found whose program ended before it did (killed, a
// crash, a power cut): %1 the operation ("Write"), %2 when it started.
inline constexpr const char* kInterruptedOffer =
    "The last %1 to this DAC was interrupted (it started at %2 UTC): the DAC may hold only part of it.\n\n"
    "Put back what the DAC held before it, from the backup taken then?";

// A close asked for while a Write runs waits for the Write.
inline constexpr const char* kClosesAfterWrite =
    "The window closes when the write has ended.";

}  // namespace veltrane::app_texts
