#include "cli/rollback_command.h"

#include <optional>
#include <vector>

#include "cli/cli_texts.h"
#include "cli/device_session.h"
#include "cli/file_io.h"
#include "cli/flash_command.h"
#include "cli/history_command.h"
#include "cli/image_gate.h"
#include "cli/json_report.h"
#include "cli/signing_commands.h"
#include "device/number_parse.h"
#include "cli/terminal_progress.h"
#include "service/history_texts.h"
#include "service/service_history.h"
#include "service/rollback.h"

namespace veltrane::cli {
namespace {

std::string Brief(const HistoryRow& r) {
  return Fill("change %lld (%s, %s UTC)", static_cast<long long>(r.id), r.operation.c_str(),
              r.started_utc.substr(0, 19).c_str());
}

std::string Briefs(const std::vector<HistoryRow>& rows) {
  std::string text;
  for (const HistoryRow& r : rows) text += (text.empty() ? "" : ", ") + Brief(r);
  return text;
}

// Words a plan that may not go; the exit status.
ExitStatus SayRefusal(const CommandContext& context, DeviceSession& session, const RollbackPlan& plan,
                      const RollbackDac& dac) {
  const long long id = plan.row ? static_cast<long long>(plan.row->id) : 0;
  switch (plan.verdict) {
    case RollbackVerdict::kPutBack:
      return kExitDone;
    case RollbackVerdict::kHistoryUnreadable:
      context.Say(std::string(history_texts::kCannotRead) + plan.problem);
      return kExitFailed;
    case RollbackVerdict::kNothingToUndo:
      context.Say(Fill(texts::kNothingToRollBack, dac.serial.empty() ? "-" : dac.serial.c_str()));
      return kExitFailed;
    case RollbackVerdict::kNeedsId:
      context.Say(Fill(texts::kRollbackNeedsId, dac.product, dac.location.c_str()));
      return kExitUsage;
    case RollbackVerdict::kNoSuchChange:
      return kExitUsage;  // said by the caller, who knows the number asked for
    case RollbackVerdict::kOtherDac:
      context.Say(Fill(texts::kRollbackOtherDac, id, plan.row->serial.empty() ? "-" : plan.row->serial.c_str(),
                       plan.row->product, plan.row->location.c_str(), dac.serial.empty() ? "-" : dac.serial.c_str(),
                       dac.product, dac.location.c_str()));
      return kExitRefused;
    case RollbackVerdict::kStillRunning:
      context.Say(Fill(texts::kRollbackStillRunning, id, plan.row->program.c_str(), plan.row->host.c_str()));
      return kExitRefused;
    case RollbackVerdict::kNoBackup:
      context.Say(Fill(texts::kRollbackNoBackup, id, plan.row->backup_state.c_str()));
      return kExitRefused;
    case RollbackVerdict::kAlreadyUndone:
      context.Say(Fill(texts::kRollbackAlreadyUndone, id));
      return kExitRefused;
    case RollbackVerdict::kBackupUnreadable:
      context.Say(Fill(texts::kRollbackBackupMissing, id, plan.row->backup_path.c_str(), plan.problem.c_str()));
      return kExitRefused;
    case RollbackVerdict::kBackupAltered:
      context.Say(Fill(texts::kRollbackBackupAltered, plan.row->backup_path.c_str(), id));
      return kExitRefused;
    case RollbackVerdict::kLaterChanges:
      context.Say(Fill(texts::kRollbackLater, id, Briefs(plan.later).c_str()));
      return kExitRefused;
    case RollbackVerdict::kUnknownWritten:
      context.Say(Fill(texts::kRollbackUnknownWritten, id, plan.holds_now.c_str()));
      return kExitRefused;
    case RollbackVerdict::kReadFailed:
      session.SayFailure(texts::kRollbackReadFailed);
      return kExitFailed;
    case RollbackVerdict::kChangedSince:
      context.report->Doc()["holds_now"] = plan.holds_now;
      context.Say(Fill(texts::kRollbackChangedSince, id, plan.holds_now.c_str()));
      return kExitRefused;
  }
  return kExitRefused;
}

}  // namespace

ExitStatus RollbackCommand(const CommandContext& context, const RollbackRequest& request) {
  if (context.history == nullptr) {
    context.Say(texts::kNoHistoryKept);
    return kExitUsage;
  }
  std::optional<std::int64_t> wanted;
  if (!request.id_text.empty()) {
    std::uint64_t id = 0;
    if (!ParseNumber(request.id_text, INT64_MAX, &id) || id == 0) {
      context.Say(Fill(texts::kBadChangeId, request.id_text.c_str()));
      return kExitUsage;
    }
    wanted = static_cast<std::int64_t>(id);
  }
  DeviceSession session(context);
  if (const ExitStatus found = session.Identify(); found != kExitDone) return found;
  const DeviceIdentity& id = session.Identity();
  ChangeSubject subject = session.Subject("rollback", "");
  const RollbackDac dac{subject.serial, subject.location, id.product_id};

  RollbackPlan plan = PlanRollback(*context.history, dac, wanted, request.force);
  Json& doc = context.report->Doc();
  if (plan.row) doc["rolls_back"] = HistoryRowJson(*plan.row);
  if (plan.verdict == RollbackVerdict::kNoSuchChange) {
    context.Say(Fill(texts::kNoSuchChange, static_cast<unsigned long long>(*wanted)));
    return kExitUsage;
  }
  // The DAC is trusted over the record: what the range holds now is read first.
  JudgeRollback(session.Link(), &plan, request.force);
  if (!plan.Go()) return SayRefusal(context, session, plan, dac);
  const HistoryRow& row = *plan.row;
  if (!plan.later.empty()) context.Inform(Fill(texts::kRollbackLaterForced, Briefs(plan.later).c_str()));
  if (plan.forced && !plan.holds_now.empty()) context.Inform(Fill(texts::kRollbackChangedForced, plan.holds_now.c_str()));
  if (plan.interrupted) context.Inform(Fill(texts::kRollbackUnfinished, static_cast<long long>(row.id)));
  const bool invalid_image = BackupIsInvalidImage(plan);

  TerminalProgress progress(*context.err, context.progress);
  ChangeRequest change = PutBackRequest(plan, id);
  change.flash.stop = context.stop;
  change.progress = &progress;
  MarkRollback(plan, &subject);
  ChangeResult result;
  RecordedChange recorded;
  if (!session.ApplyRecorded(change, subject, &result, &recorded)) {
    progress.Abandon();
    switch (result.step) {
      case ChangeStep::kRefused:
        if (SaySigningRefusal(context, result, false, texts::kPutBackSigned)) return kExitRefused;
        SayVerdict(context, VerdictOf(row.backup_path, plan.backup, result.check, id));
        return kExitRefused;
      case ChangeStep::kBackupRead:
        SayBackupReadEnd(context, session);
        return kExitFailed;
      case ChangeStep::kBackupSave:
        context.Say(Fill(texts::kBackupNotSaved, result.backup_error.c_str()));
        return kExitFailed;
      default:
        break;
    }
    if (row.address != 0) return SayRawWriteEnd(context, session, result, plan.backup.size());
    return SayEepromFlashEnd(context, session, result.flash);
  }
  progress.Finish();
  doc["restored_from"] = row.backup_path;
  doc["invalid_image"] = invalid_image;
  doc["interrupted"] = plan.interrupted;
  context.Status(Fill(texts::kRolledBack, static_cast<long long>(row.id), row.operation.c_str(), plan.backup.size(),
                      row.address, row.backup_path.c_str()) +
                 "\n");
  if (invalid_image) context.Inform(texts::kRolledBackInvalid);
  return kExitDone;
}

}  // namespace veltrane::cli
