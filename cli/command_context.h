// What every command is handed: the platform (null when the system has no
// backend), where results and messages go, and the global options.
#pragma once

#include <atomic>
#include <ostream>
#include <string>
#include <string_view>

#include "cli/terminal_progress.h"
#include "device/platform/hid_platform.h"

namespace veltrane::cli {

struct CommandContext {
  HidPlatform* platform = nullptr;
  std::ostream* out = nullptr;  // results
  std::ostream* err = nullptr;  // messages and progress
  bool json = false;
  bool verbose = false;
  std::string device_path;  // --device: only this interface
  ProgressStyle progress = ProgressStyle::kLines;
  const std::atomic<bool>* stop = nullptr;  // set by Ctrl-C during a flash

  // A message for the user, on its own line(s).
  void Say(std::string_view message) const { *err << message << '\n'; }
  // Said only with --verbose.
  void Note(std::string_view message) const {
    if (verbose) *err << message << '\n';
  }
  void Result(std::string_view text) const { *out << text; }
};

}  // namespace veltrane::cli
