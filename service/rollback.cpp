#include "service/rollback.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

#include "device/eeprom_image_flash.h"
#include "device/image_file.h"
#include "service/history_texts.h"
#include "service/service_history.h"
#include "service/sha256.h"
#include "image/image_header.h"

namespace veltrane {
namespace {

template <typename... Args>
std::string Fill(const char* format, Args... args) {
  char text[512];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

bool OfDac(const HistoryRow& r, const RollbackDac& dac) {
  if (r.serial != dac.serial || r.product != dac.product) return false;
  // Without a serial number, the place it is plugged in is all that tells two DACs apart.
  return !dac.serial.empty() || r.location == dac.location;
}

bool Overlap(const HistoryRow& r, std::uint32_t address, std::size_t length) {
  return r.address < address + length && address < r.address + r.length;
}

// A change a plain rollback may undo: a done change that is not itself a
// rollback, or any change that never finished after it may have written.
bool Undoable(const HistoryRow& r) {
  return (r.Done() && !r.undoes) || (r.Unfinished() && r.backup_state == backup_state::kSaved);
}

// What the change wrote, as recorded; older rows did not keep it: a
// rollback wrote its change's backup, a flash or eeprom write its file.
std::string WrittenSha(const HistoryRow& r, const std::vector<HistoryRow>& rows) {
  if (!r.written_sha256.empty()) return r.written_sha256;
  if (r.undoes) {
    for (const HistoryRow& u : rows) {
      if (u.id == *r.undoes) return u.backup_sha256;
    }
    return {};
  }
  if (!r.image_sha256.empty() && r.image_size && *r.image_size == r.length) return r.image_sha256;
  return {};
}

std::string HoldsNow(const RollbackPlan& plan, const std::vector<std::uint8_t>& now) {
  const HistoryRow& row = *plan.row;
  const std::string sha = Sha256Hex(now);
  for (const HistoryRow& r : plan.rows) {
    if (r.address == row.address && r.length == row.length && WrittenSha(r, plan.rows) == sha) {
      return Fill(history_texts::kHoldsWrittenBy, static_cast<long long>(r.id), r.operation.c_str(),
                  r.started_utc.substr(0, 19).c_str());
    }
  }
  if (plan.backup.size() >= now.size() && std::equal(now.begin(), now.end(), plan.backup.begin())) {
    return history_texts::kHoldsBackup;
  }
  if (row.address == 0 && now.size() >= kImageHeaderSize) {
    ImageHeader header;
    std::copy(now.begin(), now.begin() + kImageHeaderSize, header.bytes);
    if (!header.ChecksumValid()) return history_texts::kHoldsIncomplete;
    return Fill(history_texts::kHoldsImage, header.Version(), static_cast<unsigned>(header.Length()));
  }
  return Fill(history_texts::kHoldsOther, sha.c_str());
}

// Reads the range and compares it with what the change wrote.
void Decide(HidDeviceLink& link, RollbackPlan* plan, bool force, const std::function<void()>& between_reads) {
  const HistoryRow& row = *plan->row;
  // A change that never finished left a mix of old and new bytes: its
  // backup is the way back, whatever the range holds.
  if (row.Unfinished()) {
    plan->interrupted = true;
    return;
  }
  std::vector<std::uint8_t> now;
  if (!ReadEepromRange(link, row.address, static_cast<std::size_t>(row.length), &now, between_reads)) {
    plan->verdict = RollbackVerdict::kReadFailed;
    return;
  }
  if (!plan->expected_sha256.empty() && Sha256Hex(now) == plan->expected_sha256) return;
  plan->holds_now = HoldsNow(*plan, now);
  if (force) {
    plan->forced = true;
    return;
  }
  plan->verdict = plan->expected_sha256.empty() ? RollbackVerdict::kUnknownWritten : RollbackVerdict::kChangedSince;
}

// The backup of a longer image's head gets the rest as the DAC holds it.
bool CompleteImage(HidDeviceLink& link, RollbackPlan* plan, const std::function<void()>& between_reads) {
  plan->put_back = plan->backup;
  if (plan->row->address != 0 || plan->backup.size() < kImageHeaderSize) return true;
  ImageHeader header;
  std::copy(plan->backup.begin(), plan->backup.begin() + kImageHeaderSize, header.bytes);
  const std::size_t length = header.Length();
  if (!header.ChecksumValid() || !header.MagicValid() || length <= plan->backup.size() || length > kMaxEepromImage) {
    return true;
  }
  std::vector<std::uint8_t> rest;
  if (!ReadEepromRange(link, static_cast<std::uint32_t>(plan->backup.size()), length - plan->backup.size(), &rest,
                       between_reads)) {
    return false;
  }
  plan->put_back.insert(plan->put_back.end(), rest.begin(), rest.end());
  return true;
}

}  // namespace

std::vector<std::int64_t> UndoneChanges(const std::vector<HistoryRow>& rows) {
  std::map<std::int64_t, const HistoryRow*> by_id;
  for (const HistoryRow& r : rows) by_id[r.id] = &r;
  std::set<std::int64_t> undone;
  for (auto it = rows.rbegin(); it != rows.rend(); ++it) {  // oldest first
    if (!it->undoes || !it->Done()) continue;
    undone.insert(*it->undoes);
    // Undoing a rollback brings back the change that rollback undid.
    const auto undid = by_id.find(*it->undoes);
    if (undid != by_id.end() && undid->second->undoes) undone.erase(*undid->second->undoes);
  }
  return {undone.begin(), undone.end()};
}

RollbackPlan PlanRollback(ServiceHistory& history, const RollbackDac& dac, std::optional<std::int64_t> wanted,
                          bool force) {
  RollbackPlan plan;
  const auto refuse = [&](RollbackVerdict verdict) {
    plan.verdict = verdict;
    return plan;
  };
  if (dac.serial.empty() && !wanted) return refuse(RollbackVerdict::kNeedsId);
  HistoryQuery query;
  query.serial = dac.serial;
  if (!history.List(query, &plan.rows, &plan.problem)) return refuse(RollbackVerdict::kHistoryUnreadable);
  plan.rows.erase(std::remove_if(plan.rows.begin(), plan.rows.end(),
                                 [&](const HistoryRow& r) { return !OfDac(r, dac); }),
                  plan.rows.end());
  const std::vector<std::int64_t> undone_list = UndoneChanges(plan.rows);
  const std::set<std::int64_t> undone(undone_list.begin(), undone_list.end());
  if (wanted) {
    if (!history.Find(*wanted, &plan.row, &plan.problem)) return refuse(RollbackVerdict::kHistoryUnreadable);
    if (!plan.row) return refuse(RollbackVerdict::kNoSuchChange);
  } else {
    for (const HistoryRow& r : plan.rows) {  // newest first
      if (Undoable(r) && undone.count(r.id) == 0) {
        plan.row = r;
        break;
      }
    }
    if (!plan.row) return refuse(RollbackVerdict::kNothingToUndo);
  }
  const HistoryRow& row = *plan.row;
  if (!OfDac(row, dac)) return refuse(RollbackVerdict::kOtherDac);
  if (row.Running()) return refuse(RollbackVerdict::kStillRunning);
  if (row.backup_state != backup_state::kSaved) return refuse(RollbackVerdict::kNoBackup);
  if (undone.count(row.id) != 0) {
    if (!force) return refuse(RollbackVerdict::kAlreadyUndone);
    plan.forced = true;
  }
  const ImageFile file = ReadImageFile(row.backup_path, kMaxEepromImage - row.address);
  if (!file.Ok() || file.bytes.empty()) {
    plan.problem = file.Ok() ? "empty" : file.system_text.empty() ? "missing" : file.system_text;
    return refuse(RollbackVerdict::kBackupUnreadable);
  }
  plan.backup = file.bytes;
  if (Sha256Hex(plan.backup) != row.backup_sha256) return refuse(RollbackVerdict::kBackupAltered);
  // A later change over the same bytes would be undone without a word.
  for (const HistoryRow& r : plan.rows) {
    if (r.id <= row.id || !Undoable(r) || undone.count(r.id) != 0) continue;
    if (Overlap(r, row.address, plan.backup.size())) plan.later.push_back(r);
  }
  if (!plan.later.empty()) {
    if (!force) return refuse(RollbackVerdict::kLaterChanges);
    plan.forced = true;
  }
  plan.expected_sha256 = WrittenSha(row, plan.rows);
  plan.verdict = RollbackVerdict::kPutBack;
  return plan;
}

void JudgeRollback(HidDeviceLink& link, RollbackPlan* plan, bool force, const std::function<void()>& between_reads) {
  if (!plan->Go()) return;
  Decide(link, plan, force, between_reads);
  if (plan->Go() && !CompleteImage(link, plan, between_reads)) plan->verdict = RollbackVerdict::kReadFailed;
}


ChangeRequest PutBackRequest(const RollbackPlan& plan, const DeviceIdentity& device) {
  ChangeRequest change;
  change.image = plan.put_back.empty() ? &plan.backup : &plan.put_back;
  change.device = device;
  change.kind = ChangeKind::kRaw;
  change.address = plan.row->address;
  return change;
}

void MarkRollback(const RollbackPlan& plan, ChangeSubject* subject) {
  subject->image_name = plan.row->backup_path;
  subject->undoes = plan.row->id;
}

bool BackupIsInvalidImage(const RollbackPlan& plan) {
  if (!plan.row || plan.row->address != 0 || plan.backup.size() < kImageHeaderSize) return false;
  ImageHeader header;
  std::copy(plan.backup.begin(), plan.backup.begin() + kImageHeaderSize, header.bytes);
  return !header.ChecksumValid();
}

std::string RollbackRefusalText(const RollbackPlan& plan) {
  switch (plan.verdict) {
    case RollbackVerdict::kPutBack: return {};
    case RollbackVerdict::kHistoryUnreadable: return history_texts::kCannotRead + plan.problem;
    case RollbackVerdict::kNothingToUndo: return history_texts::kWhyNothingToUndo;
    case RollbackVerdict::kNeedsId: return history_texts::kWhyNeedsId;
    case RollbackVerdict::kNoSuchChange: return history_texts::kWhyNoSuchChange;
    case RollbackVerdict::kOtherDac: return history_texts::kWhyOtherDac;
    case RollbackVerdict::kStillRunning: return history_texts::kWhyStillRunning;
    case RollbackVerdict::kNoBackup: return history_texts::kWhyNoBackup;
    case RollbackVerdict::kAlreadyUndone: return history_texts::kWhyAlreadyUndone;
    case RollbackVerdict::kBackupUnreadable: return history_texts::kWhyBackupUnreadable;
    case RollbackVerdict::kBackupAltered: return history_texts::kWhyBackupAltered;
    case RollbackVerdict::kLaterChanges: return history_texts::kWhyLaterChanges;
    case RollbackVerdict::kUnknownWritten: return history_texts::kWhyUnknownWritten;
    case RollbackVerdict::kReadFailed: return history_texts::kWhyReadFailed;
    case RollbackVerdict::kChangedSince: return history_texts::kWhyChangedSince;
  }
  return {};
}

std::optional<HistoryRow> InterruptedChange(ServiceHistory& history, const RollbackDac& dac) {
  HistoryQuery query;
  query.serial = dac.serial;
  std::vector<HistoryRow> rows;
  std::string problem;
  if (!history.List(query, &rows, &problem)) return std::nullopt;
  for (const HistoryRow& r : rows) {
    if (!OfDac(r, dac)) continue;
    if (r.Interrupted()) return r;
    return std::nullopt;  // only the newest counts
  }
  return std::nullopt;
}

}  // namespace veltrane
