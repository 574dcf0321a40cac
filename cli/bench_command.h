// bench IMAGE: flash every DAC connected, all at once (one link and one
// thread per DAC), then each DAC that arrives, once per serial number, until
// --units are done or Ctrl-C; a JSON line per unit to --log.
#pragma once

#include <string>

#include "cli/command_context.h"
#include "cli/exit_status.h"
#include "cli/flash_command.h"

namespace veltrane::cli {

struct BenchOptions {
  std::string image_path;
  FlashOptions flash;  // --force, --no-verify, --changed-only, --keep-settings
  int units = 0;       // stop after this many units; 0: run until Ctrl-C
  std::string log_path;
};

ExitStatus BenchCommand(const CommandContext& context, const BenchOptions& options);

}  // namespace veltrane::cli
