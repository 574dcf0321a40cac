#include "service/recorded_change.h"

#include <chrono>
#include <set>
#include <utility>

#include "device/platform/durable_file.h"
#include "device/platform/user_folders.h"
#include "service/backup_folder.h"
#include "service/history_args.h"
#include "service/service_history.h"
#include "service/signed_image_store.h"
#include "service/sha256.h"
#include "veltrane_version.h"

namespace veltrane {
namespace {

const char* FlashStepName(EepromFlashStep step) {
  switch (step) {
    case EepromFlashStep::kDone: return "done";
    case EepromFlashStep::kRefused: return "refused";
    case EepromFlashStep::kReadSettings: return "read settings";
    case EepromFlashStep::kReadHeld: return "read held";
    case EepromFlashStep::kBody: return "write";
    case EepromFlashStep::kStopped: return "stopped";
    case EepromFlashStep::kVerifyRead: return "verify read";
    case EepromFlashStep::kVerifyMismatch: return "verify";
    case EepromFlashStep::kRestore: return "restore";
    case EepromFlashStep::kLastReadBack: return "last read-back";
    case EepromFlashStep::kRestoreMismatch: return "restore read-back";
  }
  return "write";
}

// The version in the header at the start of `bytes`, when it is a valid one.
std::optional<std::uint16_t> HeaderVersion(const std::vector<std::uint8_t>& bytes) {
  if (bytes.size() < kImageHeaderSize) return std::nullopt;
  ImageHeader header;
  std::copy(bytes.begin(), bytes.begin() + kImageHeaderSize, header.bytes);
  if (!header.ChecksumValid() || !header.MagicValid()) return std::nullopt;
  return header.Version();
}

// The backups no prune may take: every one a row of the folder's default
// history names, and of the history this run records into; compared by
// identity, whatever spelling of the path a row holds. Nothing when either
// cannot be read: then nothing is pruned.
std::optional<std::set<FileIdentity>> NeededBackups(const ChangeKeeping& keeping) {
  const std::string own = HistoryOfBackupFolder(keeping.backup_folder);
  if (own.empty()) return std::nullopt;
  std::set<FileIdentity> needed;
  const auto take = [&](ServiceHistory& history) {
    std::vector<HistoryRow> rows;
    std::string problem;
    if (!history.List({}, &rows, &problem)) return false;
    for (const HistoryRow& r : rows) {
      FileIdentity identity;
      if (!r.backup_path.empty() && IdentityOf(r.backup_path, &identity)) needed.insert(identity);
    }
    return true;
  };
  if (keeping.history == nullptr || !SameFile(keeping.history->Path(), own)) {
    ServiceHistory history(HistoryOptions{own});
    if (!take(history)) return std::nullopt;
  }
  if (keeping.history != nullptr && !take(*keeping.history)) return std::nullopt;
  return needed;
}

// The bytes the change leaves over address..address+length when it is done:
// the image, with the DAC's own feedback block where --keep-settings keeps it
// (read from the backup, taken a moment before).
std::vector<std::uint8_t> BytesToWrite(const ChangeRequest& request, const std::vector<std::uint8_t>& held) {
  std::vector<std::uint8_t> bytes = *request.image;
  if (request.kind == ChangeKind::kImage && request.flash.keep_settings && CoversFeedbackBlock(bytes.size())) {
    for (std::size_t i = kFeedbackBlockAddress; i < kFeedbackBlockAddress + 4 && i < bytes.size() && i < held.size(); ++i) {
      bytes[i] = held[i];
    }
  }
  return bytes;
}

// An EEPROM image written whole with its own good signature: the signature
// is kept beside the backups for the day it is put back. The history never
// stops the change, and neither does this.
void KeepSignedImage(const ChangeRequest& request, const ChangeResult& result, bool done) {
  const SignatureVerdict& v = result.signature;
  if (!done || result.bulk || v.state != SignatureState::kGood || v.signature_text.empty()) return;
  if (request.kind == ChangeKind::kRaw && request.address != 0) return;
  std::string ignored;
  SignedImageStore(request.signing.backup_folder).Keep(*request.image, v.signature_text, &ignored);
}

}  // namespace

std::string ChangeStepName(const ChangeResult& result) {
  switch (result.step) {
    case ChangeStep::kDone: return "done";
    case ChangeStep::kRefused: return "refused";
    case ChangeStep::kBackupRead: return "backup read";
    case ChangeStep::kBackupSave: return "backup save";
    case ChangeStep::kBulk: return result.failure.stage == LinkStage::kStopped ? "stopped" : "bulk";
    case ChangeStep::kFlash: return FlashStepName(result.flash.step);
  }
  return "write";
}

ChangeSubject SubjectOfLink(HidDeviceLink& link, std::string program, std::string operation) {
  ChangeSubject subject;
  subject.program = std::move(program);
  subject.operation = std::move(operation);
  for (const HidInterface& iface : link.Platform().EnumerateInterfaces()) {
    if (iface.path != link.DevicePath()) continue;
    subject.serial = iface.serial_number;
    subject.location = iface.location;
  }
  subject.transport = link.Platform().TransportName();
  return subject;
}

bool ApplyRecordedChange(HidDeviceLink& link, ChangeRequest request, const ChangeSubject& subject,
                         const ChangeKeeping& keeping, ChangeResult* result, RecordedChange* recorded) {
  *recorded = RecordedChange{};
  HistoryRow row;
  row.started_utc = UtcNow();
  const auto start = std::chrono::steady_clock::now();
  row.program = subject.program;
  row.program_version = VELTRANE_VERSION;
  row.host = HostName();
  row.operation = subject.operation;
  row.vendor = request.device.vendor_id;
  row.product = request.device.product_id;
  row.revision = request.device.revision;
  row.serial = subject.serial;
  row.location = subject.location;
  row.transport = subject.transport;
  row.undoes = subject.undoes;
  const std::vector<std::uint8_t>& bytes = *request.image;
  const bool from_zero = request.kind == ChangeKind::kImage || request.address == 0;
  row.image_name = subject.image_name;
  if (!subject.image_name.empty()) {
    row.image_sha256 = Sha256Hex(bytes);
    row.image_size = bytes.size();
  }
  row.address = request.kind == ChangeKind::kRaw ? request.address : 0;
  row.length = bytes.size();

  const std::string key = BackupFolder::DacKey(subject.serial, request.device.product_id);
  const BackupFolder folder(keeping.backup_folder);
  const bool to_folder = keeping.backup && !keeping.backup_folder.empty();
  std::vector<std::uint8_t> held;
  auto copy = std::move(request.backup.save);
  if (to_folder || copy) {
    request.backup.save = [&](const std::vector<std::uint8_t>& taken, std::string* where, std::string* error) {
      row.backup_sha256 = Sha256Hex(taken);
      held = taken;
      if (to_folder) {
        if (!folder.Save(key, taken, &recorded->backup_path, error)) return false;
        *where = recorded->backup_path;
      }
      std::string copied;
      if (copy && !copy(taken, &copied, error)) return false;
      if (!to_folder) *where = copied;
      return true;
    };
  }
  // Write-ahead: the row, running, before the first byte; its lock tells a
  // reader whether this program still runs it. Without the lock the row is
  // written at the end only, as a reader could not tell it from an
  // interrupted one.
  HeldLock lock;
  std::optional<std::int64_t> begun;
  const auto say = [&](const ServiceHistory::Recorded& written) {
    if (recorded->history_warning.empty()) recorded->history_warning = written.warning;
  };
  request.before_write = [&](const ChangeResult& so_far) {
    if (keeping.history == nullptr) return;
    std::string reason;
    if (!lock.Acquire(keeping.history->LockFolder(), &reason)) return;
    HistoryRow running = row;
    running.outcome = outcome::kRunning;
    running.ended_utc = running.started_utc;
    running.version_before = so_far.version_before;
    running.written_sha256 = Sha256Hex(BytesToWrite(request, held));
    if (so_far.bulk) {
      running.backup_state = backup_state::kNone;
    } else if (!so_far.backup_path.empty()) {
      running.backup_state = backup_state::kSaved;
      running.backup_path = so_far.backup_path;
    } else {
      running.backup_state = backup_state::kSkipped;
      running.backup_sha256.clear();
    }
    running.lock_path = lock.Path();
    const ServiceHistory::Recorded written = keeping.history->Record(running);
    say(written);
    begun = written.id;
    if (!begun) lock.Release();
  };
  if (request.signing.policy == nullptr) request.signing.policy = keeping.signing;
  if (request.signing.backup_folder.empty()) request.signing.backup_folder = keeping.backup_folder;
  const bool done = ApplyChange(link, request, result);

  // Nothing was sent when the judge said no: no change to record.
  if (result->step == ChangeStep::kRefused) return done;
  KeepSignedImage(request, *result, done);
  row.ended_utc = UtcNow();
  row.duration_ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  if (!subject.image_name.empty()) {
    if (result->check.has_header) {
      row.image_version = result->check.header.Version();
    } else if (from_zero && !result->bulk) {
      row.image_version = HeaderVersion(bytes);
    }
  }
  row.version_before = result->version_before;
  if (done) {
    if (result->bulk || request.kind == ChangeKind::kImage) {
      row.version_after = result->version_after != 0 ? std::optional<std::uint16_t>(result->version_after)
                                                      : std::nullopt;
    } else {
      row.version_after = from_zero ? HeaderVersion(bytes) : std::optional<std::uint16_t>(result->version_before);
    }
  }
  // What the EEPROM road sent is exactly what it leaves (kept settings included).
  row.written_sha256 = Sha256Hex(result->flash.sent.empty() ? BytesToWrite(request, held) : result->flash.sent);
  if (result->bulk) {
    row.backup_state = backup_state::kNone;
  } else if (!result->backup_path.empty()) {
    row.backup_state = backup_state::kSaved;
    row.backup_path = result->backup_path;
  } else if (result->step == ChangeStep::kBackupRead || result->step == ChangeStep::kBackupSave) {
    row.backup_state = backup_state::kFailed;
    row.backup_sha256.clear();
  } else {
    row.backup_state = backup_state::kSkipped;
    row.backup_sha256.clear();
  }
  row.outcome = done ? outcome::kDone : outcome::kFailed;
  if (!done) {
    row.failed_stage = ChangeStepName(*result);
    row.failure_text = result->step == ChangeStep::kBackupSave ? result->backup_error : result->failure.Describe();
  }
  row.packets_written = result->packets_written;

  if (keeping.history != nullptr) {
    const ServiceHistory::Recorded written = begun ? keeping.history->Update(*begun, row) : keeping.history->Record(row);
    recorded->id = begun ? begun : written.id;
    say(written);
  }
  lock.Release();
  // Only now may old backups go, after the row that names the new one.
  if (!recorded->backup_path.empty()) {
    if (const auto needed = NeededBackups(keeping)) {
      folder.Prune(key, [&](const std::string& path) {
        FileIdentity identity;
        return !IdentityOf(path, &identity) || needed->count(identity) > 0;
      });
    }
  }
  return done;
}

}  // namespace veltrane
