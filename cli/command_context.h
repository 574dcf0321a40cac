// What every command is handed: the platform (null when the system has no
// backend), where results and messages go, the global options, and the
// --json document the command fills in as it goes.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

#include "cli/terminal_progress.h"
#include "device/platform/hid_platform.h"
#include "service/signing_files.h"
#include "service/signing_policy.h"

namespace veltrane::cli {

class JsonReport;
}  // namespace veltrane::cli

namespace veltrane {
class ServiceHistory;
}

namespace veltrane::cli {

// --serial, --location, --device: which DAC, when several are connected.
struct DacSelector {
  std::string serial;
  std::string location;
  std::string device_path;
  bool Any() const { return !serial.empty() || !location.empty() || !device_path.empty(); }
};

// The prefix of every message on stderr, as the shell's tools do.
inline constexpr char kMessagePrefix[] = "veltrane-cli: ";

struct CommandContext {
  HidPlatform* platform = nullptr;
  std::ostream* out = nullptr;  // results
  std::ostream* err = nullptr;  // messages and progress
  bool json = false;
  bool quiet = false;    // -q: errors only
  bool verbose = false;
  DacSelector selector;
  ProgressStyle progress = ProgressStyle::kLines;
  const std::atomic<bool>* stop = nullptr;  // set by Ctrl-C during a flash
  JsonReport* report = nullptr;             // always present while a command runs
  // Where changes are recorded; null with --no-history, or for a simulated
  // DAC that keeps no file.
  ServiceHistory* history = nullptr;
  // The one backup folder (empty: none, a simulated DAC without a file), and
  // --no-backup.
  std::string backup_folder;
  bool backup = true;
  // Makes another instance of the system's backend, for a bench unit's own
  // thread; empty when `platform` itself serves several threads (simulation).
  std::function<std::unique_ptr<HidPlatform>()> new_platform;
  // --signature, --trusted-key, --require-signed, and where the system's and
  // the user's keys and policy live (tests hand their own folders).
  SigningOptions signing;
  SigningPlaces signing_places;
  // The policy and keys those make, loaded by the first command part that
  // needs them (LoadSigning), its warnings said once.
  mutable std::shared_ptr<const ImageSigning> loaded_signing;

  // An error, or what the user must know to act: always said, and kept as
  // the --json error's message.
  void Say(std::string_view message) const;
  // Useful, but not needed to act: not said with -q.
  void Inform(std::string_view message) const;
  // Said only with --verbose.
  void Note(std::string_view message) const;
  // A command's text result on stdout; with --json the document says it instead.
  void Result(std::string_view text) const;
  // A line that only says the command succeeded: not with -q or --json.
  void Status(std::string_view text) const;
};

}  // namespace veltrane::cli
