#include "service/history_args.h"

#include <filesystem>
#include <system_error>

#include "device/option_args.h"
#include "device/platform/file_names.h"
#include "service/backup_folder.h"

namespace veltrane {

namespace {

// Rows name files by absolute paths: a rollback may run from any folder.
std::string Absolute(const std::string& utf8) {
  if (utf8.empty()) return utf8;
  std::error_code ec;
  const std::filesystem::path full = std::filesystem::absolute(PathOf(utf8), ec);
  if (ec) return utf8;
  return NameOf(full.lexically_normal());
}

}  // namespace
bool ExtractHistoryArgs(std::vector<std::string>* args, HistorySetup* setup, std::string* error) {
  std::size_t i = 0;
  while (i < args->size()) {
    const std::string& arg = (*args)[i];
    if (arg == "--no-history") {
      setup->enabled = false;
    } else if (IsOption(arg, "--history")) {
      if (!TakeOptionValue(args, i, "--history", &setup->path) || setup->path.empty()) {
        *error = "--history takes a file name";
        return false;
      }
    } else {
      ++i;
      continue;
    }
    args->erase(args->begin() + static_cast<std::ptrdiff_t>(i));
  }
  return true;
}

std::string HistoryPath(const HistorySetup& setup, bool simulated, const std::string& sim_file) {
  if (!setup.enabled) return {};
  if (!setup.path.empty()) return setup.path;
  if (simulated) return sim_file.empty() ? std::string() : Absolute(sim_file + ".history.sqlite3");
  return ServiceHistory::DefaultPath();
}


std::string BackupFolderFor(bool simulated, const std::string& sim_file) {
  if (simulated) return sim_file.empty() ? std::string() : Absolute(sim_file + ".backups");
  return BackupFolder::DefaultFolder();
}

std::string HistoryOfBackupFolder(const std::string& folder) {
  constexpr char kSimSuffix[] = ".backups";
  constexpr std::size_t kSimLength = sizeof kSimSuffix - 1;
  if (folder.size() > kSimLength && folder.compare(folder.size() - kSimLength, kSimLength, kSimSuffix) == 0) {
    return folder.substr(0, folder.size() - kSimLength) + ".history.sqlite3";
  }
  const std::filesystem::path parent = PathOf(folder).parent_path();
  return parent.empty() ? std::string() : NameOf(parent / "history.sqlite3");
}

std::unique_ptr<ServiceHistory> MakeHistory(const HistorySetup& setup, bool simulated,
                                            const std::string& sim_file) {
  if (!setup.enabled || (simulated && setup.path.empty() && sim_file.empty())) return nullptr;
  HistoryOptions options;
  options.path = HistoryPath(setup, simulated, sim_file);
  // An empty path (no data folder) still makes a history: its first row
  // then says why nothing was recorded.
  return std::make_unique<ServiceHistory>(options);
}

const char* HistoryArgsHelp() {
  return "  --history FILE      record every change to a DAC in FILE (default: history.sqlite3\n"
         "                      in the user's Veltrane data folder; a simulated DAC's beside\n"
         "                      its EEPROM file)\n"
         "  --no-history        record nothing\n";
}

}  // namespace veltrane
