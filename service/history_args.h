// The history options both programs take, parsed by one piece of code:
//
//   --history FILE   record into FILE instead of the user's history
//   --no-history     record nothing
//
// A simulated DAC's changes are never mixed into the user's own history:
// with --simulate=EEPROM they go beside its EEPROM file (EEPROM.history.sqlite3),
// with a simulated DAC that keeps no file, nowhere unless --history is given.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "service/service_history.h"

namespace veltrane {

struct HistorySetup {
  bool enabled = true;
  std::string path;  // --history; empty: the default
};

// Takes the history options out of `args` and leaves the rest in order.
// False, with `error` set, when one is malformed.
bool ExtractHistoryArgs(std::vector<std::string>* args, HistorySetup* setup, std::string* error);

// The history file `setup` asks for, given the simulated DAC's EEPROM file
// (`simulated`: a simulated DAC is in use; `sim_file`: its EEPROM file, maybe
// empty). Empty when nothing is to be recorded.
std::string HistoryPath(const HistorySetup& setup, bool simulated, const std::string& sim_file);

// The one backup folder for `setup`'s run: the user's, or beside the
// simulated DAC's EEPROM file (EEPROM.backups); empty for a simulated DAC
// that keeps no file.
std::string BackupFolderFor(bool simulated, const std::string& sim_file);

// The default history of the backup folder `folder` (as BackupFolderFor
// names it): the one whose rows name its backups, whichever history a run
// records into. EEPROM.backups: EEPROM.history.sqlite3; the user's backups/:
// the user's history.sqlite3 beside it.
std::string HistoryOfBackupFolder(const std::string& folder);

// The history to record into, or null when nothing is to be recorded.
std::unique_ptr<ServiceHistory> MakeHistory(const HistorySetup& setup, bool simulated,
                                            const std::string& sim_file);

// The option lines for --help.
const char* HistoryArgsHelp();

}  // namespace veltrane
