// rollback [ID]: puts back what change ID (default: the latest done change on
// the chosen DAC) overwrote, from its backup, through the one road; refuses
// another DAC, a missing or altered backup, and a later change it would undo
// silently (--force); records itself as a change.
#pragma once

#include <string>

#include "cli/command_context.h"
#include "cli/exit_status.h"

namespace veltrane::cli {

struct RollbackRequest {
  std::string id_text;  // empty: the latest done change on the DAC
  bool force = false;
};

ExitStatus RollbackCommand(const CommandContext& context, const RollbackRequest& request);

}  // namespace veltrane::cli
