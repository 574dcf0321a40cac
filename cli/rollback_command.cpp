#include "cli/rollback_command.h"

#include <optional>
#include <set>
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
#include "service/sha256.h"

namespace veltrane::cli {
namespace {

// The changes a done rollback has already put back.
std::set<std::int64_t> Undone(const std::vector<HistoryRow>& rows) {
  std::set<std::int64_t> undone;
  for (const HistoryRow& r : rows) {
    if (r.undoes && r.Done()) undone.insert(*r.undoes);
  }
  return undone;
}

// The latest done change that is not itself a rollback and is not yet undone.
const HistoryRow* LatestLive(const std::vector<HistoryRow>& rows, const std::set<std::int64_t>& undone) {
  for (const HistoryRow& r : rows) {  // newest first
    if (r.Done() && !r.undoes && undone.count(r.id) == 0) return &r;
  }
  return nullptr;
}

bool Overlap(const HistoryRow& r, std::uint32_t address, std::size_t length) {
  return r.address < address + length && address < r.address + r.length;
}

std::string Brief(const HistoryRow& r) {
  return Fill("change %lld (%s, %s UTC)", static_cast<long long>(r.id), r.operation.c_str(),
              r.started_utc.substr(0, 19).c_str());
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

  std::vector<HistoryRow> rows;
  std::string problem;
  HistoryQuery query;
  query.serial = subject.serial;
  if (!context.history->List(query, &rows, &problem)) {
    context.Say(std::string(history_texts::kCannotRead) + problem);
    return kExitFailed;
  }
  const std::set<std::int64_t> undone = Undone(rows);
  std::optional<HistoryRow> target;
  if (wanted) {
    if (!context.history->Find(*wanted, &target, &problem)) {
      context.Say(std::string(history_texts::kCannotRead) + problem);
      return kExitFailed;
    }
    if (!target) {
      context.Say(Fill(texts::kNoSuchChange, static_cast<unsigned long long>(*wanted)));
      return kExitUsage;
    }
  } else if (const HistoryRow* latest = LatestLive(rows, undone)) {
    target = *latest;
  } else {
    context.Say(Fill(texts::kNothingToRollBack, subject.serial.empty() ? "-" : subject.serial.c_str()));
    return kExitFailed;
  }
  const HistoryRow& row = *target;
  Json& doc = context.report->Doc();
  doc["rolls_back"] = HistoryRowJson(row);

  // The DAC must be the one the change was made on.
  if (row.serial != subject.serial || row.product != id.product_id) {
    context.Say(Fill(texts::kRollbackOtherDac, static_cast<long long>(row.id), row.serial.c_str(), row.product,
                     subject.serial.c_str(), id.product_id));
    return kExitRefused;
  }
  if (row.backup_state != backup_state::kSaved) {
    context.Say(Fill(texts::kRollbackNoBackup, static_cast<long long>(row.id), row.backup_state.c_str()));
    return kExitRefused;
  }
  if (undone.count(row.id) != 0 && !request.force) {
    context.Say(Fill(texts::kRollbackAlreadyUndone, static_cast<long long>(row.id)));
    return kExitRefused;
  }
  std::vector<std::uint8_t> bytes;
  std::string reason;
  const std::size_t room = kMaxEepromImage - row.address;
  if (ReadFileBytes(row.backup_path, room, &bytes, &reason) != FileRead::kOk || bytes.empty()) {
    context.Say(Fill(texts::kRollbackBackupMissing, static_cast<long long>(row.id), row.backup_path.c_str(),
                     reason.empty() ? "missing or empty" : reason.c_str()));
    return kExitRefused;
  }
  if (Sha256Hex(bytes) != row.backup_sha256) {
    context.Say(Fill(texts::kRollbackBackupAltered, row.backup_path.c_str(), static_cast<long long>(row.id)));
    return kExitRefused;
  }
  // A later change over the same bytes would be undone without a word.
  std::string later;
  for (const HistoryRow& r : rows) {
    if (r.id <= row.id || !r.Done() || r.undoes || undone.count(r.id) != 0) continue;
    if (!Overlap(r, row.address, bytes.size())) continue;
    later += (later.empty() ? "" : ", ") + Brief(r);
  }
  if (!later.empty()) {
    if (!request.force) {
      context.Say(Fill(texts::kRollbackLater, static_cast<long long>(row.id), later.c_str()));
      return kExitRefused;
    }
    context.Inform(Fill(texts::kRollbackLaterForced, later.c_str()));
  }
  // A backup of an image that was not whole (byte 0 failing its checksum) is
  // put back exactly so: the DAC then holds what it held, an invalid image.
  const bool invalid_image = row.address == 0 && bytes.size() >= kImageHeaderSize && [&] {
    ImageHeader header;
    std::copy(bytes.begin(), bytes.begin() + kImageHeaderSize, header.bytes);
    return !header.ChecksumValid();
  }();

  TerminalProgress progress(*context.err, context.progress);
  ChangeRequest change;
  change.image = &bytes;
  change.device = id;
  change.kind = ChangeKind::kRaw;
  change.address = row.address;
  change.flash.stop = context.stop;
  change.progress = &progress;
  subject.image_name = row.backup_path;
  subject.undoes = row.id;
  ChangeResult result;
  RecordedChange recorded;
  if (!session.ApplyRecorded(change, subject, &result, &recorded)) {
    progress.Abandon();
    switch (result.step) {
      case ChangeStep::kRefused:
        if (SaySigningRefusal(context, result, false, texts::kPutBackSigned)) return kExitRefused;
        SayVerdict(context, VerdictOf(row.backup_path, bytes, result.check, id));
        return kExitRefused;
      case ChangeStep::kBackupRead:
        session.SayFailure(texts::kBackupReadFailed);
        return kExitFailed;
      case ChangeStep::kBackupSave:
        context.Say(Fill(texts::kBackupNotSaved, result.backup_error.c_str()));
        return kExitFailed;
      default:
        break;
    }
    if (row.address != 0) {
      session.SayFailure(texts::kWriteFailed);
      return kExitFailed;
    }
    return SayEepromFlashEnd(context, session, result.flash);
  }
  progress.Finish();
  doc["restored_from"] = row.backup_path;
  doc["invalid_image"] = invalid_image;
  context.Status(Fill(texts::kRolledBack, static_cast<long long>(row.id), row.operation.c_str(), bytes.size(),
                      row.address, row.backup_path.c_str()) +
                 "\n");
  if (invalid_image) context.Inform(texts::kRolledBackInvalid);
  return kExitDone;
}

}  // namespace veltrane::cli
