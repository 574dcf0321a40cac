// history: the changes recorded in the service history, newest first, as a
// table or --json; history show ID: one change in full.
#pragma once

#include <string>

#include "cli/command_context.h"
#include "cli/exit_status.h"
#include "cli/json_report.h"
#include "service/history_row.h"

namespace veltrane::cli {

struct HistoryRequest {
  std::string limit_text;  // --limit N
  bool all = false;        // --all: every row
  bool show = false;       // history show ID
  std::string id_text;
};

ExitStatus HistoryCommand(const CommandContext& context, const HistoryRequest& request);

// One row as --json gives it: the history's own field names.
Json HistoryRowJson(const HistoryRow& row);

}  // namespace veltrane::cli
