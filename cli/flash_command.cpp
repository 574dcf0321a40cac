#include "cli/flash_command.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <vector>

#include "cli/cli_texts.h"
#include "cli/device_session.h"
#include "cli/file_io.h"
#include "cli/image_gate.h"
#include "cli/json_report.h"
#include "cli/terminal_progress.h"
#include "feedback/feedback_table.h"
#include "device/eeprom_image_flash.h"
#include "device/hid_device_link.h"
#include "device/progress.h"
#include "device/stop_flag.h"
#include "update/update_texts.h"

namespace veltrane::cli {
namespace {

// What --json tells of a flash, filled in as it goes.
struct FlashRecord {
  Json& doc;
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();

  void Written(std::size_t bytes) { doc["bytes_written"] = bytes; }
  void Done(const CommandContext& context, bool verified) {
    doc["verified"] = verified;
    doc["duration_ms"] = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - start)
                             .count();
    const std::string line = std::string(update_texts::kProgramCompleted) +
                             (verified ? "" : texts::kNotVerifiedSuffix);
    doc["message"] = line;
    context.Status(line + "\n");
  }
};

ExitStatus FailTransfer(const CommandContext& context, DeviceSession& session,
                        const std::string& detail) {
  context.Say(update_texts::kProgramFailed);
  session.SayFailure(detail);
  return kExitFailed;
}

ExitStatus FlashBulk(const CommandContext& context, DeviceSession& session,
                     const std::vector<std::uint8_t>& image, FlashRecord& record) {
  TerminalProgress progress(*context.err, context.progress);
  ScopedLinkProgress sink(session.Link(), &progress);
  WatchedPlatform& watch = session.Watch();
  watch.SetStopFlag(context.stop);
  const int result = session.Link().DownloadBulkImage(image);
  watch.SetStopFlag(nullptr);
  if (result == 1) {
    record.Written(image.size());
    progress.Finish();
    record.Done(context, false);
    return kExitDone;
  }
  progress.Abandon();
  const std::size_t sent = session.Link().LastFailure().bytes_done;
  record.Written(sent);
  // Bulk streaming has no restore packet: the device simply lacks the rest.
  if (StopRequested(context.stop)) {
    context.report->SetFailure(texts::kStoppedStage, "");
    context.Say(Fill(texts::kBulkInterrupted, sent, image.size()));
    return kExitFailed;
  }
  return FailTransfer(context, session, Fill(texts::kBulkFailed, sent, image.size()));
}

ExitStatus SaveBackup(const CommandContext& context, DeviceSession& session,
                      const std::string& path, std::size_t size) {
  std::vector<std::uint8_t> backup;
  if (!session.ReadRange(0, size, &backup)) {
    session.SayFailure(texts::kBackupReadFailed);
    return kExitFailed;
  }
  std::string reason;
  if (!WriteFileBytes(path, backup, &reason)) {
    context.Say(Fill(texts::kCannotWrite, path.c_str(), reason.c_str()) + " Nothing was written.");
    return kExitUsage;
  }
  context.Inform(Fill(texts::kBackupSaved, size - 1, path.c_str()));
  return kExitDone;
}

// The backup is a file to restore from: never stdout (which carries the
// results) and never the image about to be flashed.
ExitStatus CheckBackupPath(const CommandContext& context, const FlashOptions& options) {
  if (options.backup_path.empty()) return kExitDone;
  if (options.backup_path == "-") {
    context.Say(texts::kBackupToStdout);
    return kExitUsage;
  }
  if (SameFile(options.backup_path, options.image_path)) {
    context.Say(Fill(texts::kBackupIsImage, options.backup_path.c_str()));
    return kExitUsage;
  }
  return kExitDone;
}

// Words where a flash that did not finish ended.
ExitStatus SayFlashEnd(const CommandContext& context, DeviceSession& session,
                       const EepromFlashResult& r) {
  const std::size_t size = r.sent.size();
  const bool stopped = StopRequested(context.stop) || r.step == EepromFlashStep::kStopped;
  switch (r.step) {
    case EepromFlashStep::kReadSettings:
      return FailTransfer(context, session, texts::kSettingsReadFailed);
    case EepromFlashStep::kReadHeld:
      return FailTransfer(context, session, texts::kHeldReadFailed);
    case EepromFlashStep::kStopped:
    case EepromFlashStep::kBody:
      if (stopped) context.report->SetFailure(texts::kStoppedStage, "");
      if (r.bytes_written == 0) {
        if (stopped) {
          context.Say(texts::kNothingWritten);
          return kExitFailed;
        }
        return FailTransfer(context, session, texts::kNothingWritten);
      }
      if (stopped) {
        context.Say(Fill(texts::kInterrupted, r.bytes_written, size));
        return kExitFailed;
      }
      return FailTransfer(context, session, Fill(texts::kWritePacketFailed, r.bytes_written, size));
    case EepromFlashStep::kVerifyRead:
      return FailTransfer(context, session, texts::kVerifyReadFailed);
    case EepromFlashStep::kVerifyMismatch:
      return FailTransfer(context, session, Fill(texts::kVerifyMismatch, r.mismatch_count,
                                                 r.mismatch_first, r.expected, r.actual));
    case EepromFlashStep::kRestore:
      return FailTransfer(context, session, texts::kRestoreFailed);
    case EepromFlashStep::kLastReadBack:
      return FailTransfer(context, session, texts::kLastReadBackFailed);
    case EepromFlashStep::kRestoreMismatch:
      return FailTransfer(context, session, Fill(texts::kRestoreMismatch, r.actual, r.expected));
    case EepromFlashStep::kRefused:
    case EepromFlashStep::kDone:
      break;
  }
  return kExitDone;
}

ExitStatus FlashEeprom(const CommandContext& context, DeviceSession& session,
                       const FlashOptions& options, const std::vector<std::uint8_t>& image,
                       FlashRecord& record) {
  if (!options.backup_path.empty()) {
    const ExitStatus saved = SaveBackup(context, session, options.backup_path, image.size());
    if (saved != kExitDone) return saved;
    record.doc["backup"] = options.backup_path;
  }
  if (options.keep_settings && !CoversFeedbackBlock(image.size())) {
    context.Note(texts::kSettingsNotCovered);
  }
  TerminalProgress progress(*context.err, context.progress);
  ScopedLinkProgress sink(session.Link(), &progress);
  EepromFlashOptions flash;
  flash.verify = options.verify;
  flash.changed_only = options.changed_only;
  flash.keep_settings = options.keep_settings;
  flash.stop = context.stop;
  if (options.verify) context.Note(Fill(texts::kVerifying, image.size()));
  EepromFlashResult result;
  const int done = FlashEepromImage(session.Link(), image, flash, &result);
  record.Written(result.bytes_written);
  record.doc["packets_written"] = result.packets_written;
  record.doc["settings_kept"] =
      result.settings_kept ? Json(SettingsText(result.settings)) : Json(nullptr);
  if (result.settings_kept) context.Inform(Fill(texts::kKeepsSettings, SettingsText(result.settings).c_str()));
  if (options.changed_only && result.step != EepromFlashStep::kReadHeld &&
      result.step != EepromFlashStep::kReadSettings) {
    context.Inform(Fill(texts::kChangedPackets, result.packets_planned,
                        static_cast<unsigned>((image.size() + 15) / 16)));
  }
  if (done == 0) {
    progress.Abandon();
    return SayFlashEnd(context, session, result);
  }
  progress.Finish();
  record.Done(context, options.verify);
  return kExitDone;
}

}  // namespace

std::string SettingsText(const std::array<std::uint8_t, 4>& block) {
  std::string text;
  for (std::size_t i = 1; i < block.size(); ++i) {
    const auto name = TextForMask(block[i]);
    if (i > 1) text += " / ";
    text += name ? std::string(*name) : Fill(texts::kUnknownMask, block[i]);
  }
  return text;
}

ExitStatus FlashCommand(const CommandContext& context, const FlashOptions& options) {
  std::vector<std::uint8_t> image;
  ImageVerdict verdict;
  Json& doc = context.report->Doc();
  doc["image"] = options.image_path;
  if (const ExitStatus usable = CheckBackupPath(context, options); usable != kExitDone) return usable;
  if (ReadImageFile(context, options.image_path, &image, &verdict) != kExitDone) {
    doc["verdict"] = verdict.name;
    return kExitRefused;
  }
  DeviceSession session(context);
  if (const ExitStatus found = session.Identify(); found != kExitDone) return found;
  verdict = JudgeImageBytes(options.image_path, image, session.Identity());
  doc["verdict"] = verdict.name;
  doc["size"] = image.size();
  const bool bulk = IsBulkProduct(session.Identity().product_id);
  doc["transfer"] = bulk ? "bulk" : "eeprom";
  if (verdict.verdict == Verdict::kNotNewer && options.force) {
    SayVerdict(context, verdict);
    context.Inform(texts::kForced);
  } else if (verdict.verdict != Verdict::kReady) {
    SayVerdict(context, verdict);
    if (verdict.verdict == Verdict::kNotNewer) context.Say(texts::kUseForce);
    return kExitRefused;
  }
  FlashRecord record{doc};
  record.Written(0);
  doc["verified"] = false;
  doc["backup"] = nullptr;
  if (bulk) {
    if (!options.backup_path.empty()) {
      context.Say(Fill(texts::kBackupBulk, session.Identity().product_id));
      return kExitUsage;
    }
    return FlashBulk(context, session, image, record);
  }
  return FlashEeprom(context, session, options, image, record);
}

}  // namespace veltrane::cli
