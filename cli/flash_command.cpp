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
#include "cli/signing_commands.h"
#include "cli/terminal_progress.h"
#include "feedback/feedback_table.h"
#include "device/eeprom_image_flash.h"
#include "device/hid_device_link.h"
#include "device/progress.h"
#include "device/stop_flag.h"
#include "service/device_change.h"
#include "image/image_texts.h"
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

// Says why the bulk transfer did not finish.
ExitStatus SayBulkEnd(const CommandContext& context, DeviceSession& session, const ChangeResult& r,
                      std::size_t size) {
  // Bulk streaming has no restore packet: the device simply lacks the rest.
  if (StopRequested(context.stop) || r.failure.stage == LinkStage::kStopped) {
    context.report->SetFailure(texts::kStoppedStage, "");
    context.Say(Fill(texts::kBulkInterrupted, r.bytes_written, size));
    return kExitFailed;
  }
  return FailTransfer(context, session, Fill(texts::kBulkFailed, r.bytes_written, size));
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

}  // namespace

ExitStatus SayEepromFlashEnd(const CommandContext& context, DeviceSession& session,
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
      if (stopped && r.packets_planned > 0 && r.packets_written >= r.packets_planned) {
        // Every packet went out; the stop came in the read-back or before the restore packet.
        context.Say(Fill(texts::kStoppedBeforeRestore, size));
        return kExitFailed;
      }
      if (stopped) {
        context.Say(Fill(texts::kInterrupted, r.bytes_written, size));
        return kExitFailed;
      }
      return FailTransfer(context, session, Fill(texts::kWritePacketFailed, r.bytes_written, size));
    case EepromFlashStep::kVerifyRead:
      return FailTransfer(context, session, texts::kVerifyReadFailed);
    case EepromFlashStep::kVerifyMismatch: {
      const ExitStatus status = FailTransfer(
          context, session, Fill(texts::kVerifyMismatch, r.mismatch_count, r.mismatch_first, r.expected, r.actual));
      if (!r.repaired) context.Say(texts::kRepairFailed);
      return status;
    }
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

ExitStatus SayBackupReadEnd(const CommandContext& context, DeviceSession& session) {
  if (StopRequested(context.stop)) {
    context.report->SetFailure(texts::kStoppedStage, "");
    context.Say(texts::kStoppedBeforeWrite);
    return kExitFailed;
  }
  session.SayFailure(texts::kBackupReadFailed);
  return kExitFailed;
}

ExitStatus SayRawWriteEnd(const CommandContext& context, DeviceSession& session, const ChangeResult& r,
                          std::size_t size) {
  if (StopRequested(context.stop)) {
    context.report->SetFailure(texts::kStoppedStage, "");
    if (r.flash.step == EepromFlashStep::kVerifyRead) {
      context.Say(Fill(texts::kStoppedInReadBack, size));
    } else {
      context.Say(Fill(texts::kWriteStopped, r.bytes_written, size));
    }
    return kExitFailed;
  }
  session.SayFailure(texts::kWriteFailed);
  return kExitFailed;
}

namespace {

// Words a change the judge refused.
ExitStatus SayRefusal(const CommandContext& context, const ChangeResult& r, const std::string& path,
                      const std::vector<std::uint8_t>& image, const DeviceIdentity& id) {
  switch (r.refusal) {
    case Refusal::kBulkOption:
      context.Say(Fill(texts::kBulkOption, r.refusal_text.c_str(), id.product_id));
      return kExitUsage;
    case Refusal::kChangedOnlyNoVerify:
      context.Say(texts::kChangedOnlyNoVerify);
      return kExitUsage;
    case Refusal::kSignature:
    case Refusal::kSignedOnly:
      SaySigningRefusal(context, r, true, texts::kGetSignedImage);
      return kExitRefused;
    case Refusal::kImage:
    case Refusal::kNone:
      break;
  }
  const ImageVerdict verdict = VerdictOf(path, image, r.check, id);
  context.report->Doc()["verdict"] = verdict.name;
  SayVerdict(context, verdict);
  if (verdict.verdict == Verdict::kNotNewer) context.Say(texts::kUseForce);
  return kExitRefused;
}

// What the command line hands the one road: its options, the stop flag, the
// terminal bar, and --backup FILE as the backup's saver.
ChangeRequest RequestFor(const CommandContext& context, const FlashOptions& options,
                         const std::vector<std::uint8_t>& image, const DeviceIdentity& id) {
  ChangeRequest request;
  request.image = &image;
  request.device = id;
  request.force = options.force;
  request.flash.verify = options.verify;
  request.flash.changed_only = options.changed_only;
  request.flash.keep_settings = options.keep_settings;
  request.flash.stop = context.stop;
  if (!options.backup_path.empty()) {
    const std::string path = options.backup_path;
    request.backup.save = [&context, path](const std::vector<std::uint8_t>& held, std::string* where,
                                           std::string* error) {
      if (!WriteFileBytes(path, held, error)) return false;
      *where = path;
      context.Inform(Fill(texts::kBackupSaved, held.size() - 1, path.c_str()));
      return true;
    };
  }
  return request;
}

// Words where the one road ended.
ExitStatus SayChangeEnd(const CommandContext& context, DeviceSession& session, const FlashOptions& options,
                        const ChangeResult& r, const std::vector<std::uint8_t>& image, FlashRecord& record) {
  record.Written(r.bytes_written);
  if (!r.bulk) {
    record.doc["packets_written"] = r.packets_written;
    record.doc["settings_kept"] =
        r.flash.settings_kept ? Json(SettingsText(r.flash.settings)) : Json(nullptr);
  }
  switch (r.step) {
    case ChangeStep::kDone:
      record.Done(context, !r.bulk && options.verify);
      return kExitDone;
    case ChangeStep::kRefused:
      return SayRefusal(context, r, options.image_path, image, session.Identity());
    case ChangeStep::kBackupRead:
      return SayBackupReadEnd(context, session);
    case ChangeStep::kBackupSave:
      if (options.backup_path.empty()) {
        context.Say(Fill(texts::kBackupNotSaved, r.backup_error.c_str()));
        return kExitFailed;
      }
      context.Say(Fill(texts::kCannotWrite, options.backup_path.c_str(), r.backup_error.c_str()) +
                  " Nothing was written.");
      return kExitUsage;
    case ChangeStep::kBulk:
      return SayBulkEnd(context, session, r, image.size());
    case ChangeStep::kFlash:
      break;
  }
  return SayEepromFlashEnd(context, session, r.flash);
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
  const DeviceIdentity& id = session.Identity();
  doc["size"] = image.size();
  const bool bulk = IsBulkProduct(id.product_id);
  doc["transfer"] = bulk ? "bulk" : "eeprom";
  FlashRecord record{doc};
  record.Written(0);
  doc["verified"] = false;
  doc["backup"] = nullptr;
  if (bulk && !options.backup_path.empty()) {
    context.Say(Fill(texts::kBackupBulk, id.product_id));
    return kExitUsage;
  }

  TerminalProgress progress(*context.err, context.progress);
  ChangeRequest request = RequestFor(context, options, image, id);
  request.progress = &progress;
  // The road judges the signature of the very bytes it sends.
  request.signing.image_path = options.image_path;
  request.judged = [&](const ChangeResult& judged) {
    doc["verdict"] = VerdictOf(options.image_path, image, judged.check, id).name;
    SaySignature(context, judged.signature);
    if (judged.forced) {
      SayVerdict(context, VerdictOf(options.image_path, image, judged.check, id));
      context.Inform(texts::kForced);
    }
    if (bulk) return;
    if (options.keep_settings && !CoversFeedbackBlock(image.size())) context.Note(texts::kSettingsNotCovered);
    if (options.verify) context.Note(Fill(texts::kVerifying, image.size()));
  };
  // A blocked bulk write gives way to Ctrl-C too.
  session.Watch().SetStopFlag(bulk ? context.stop : nullptr);
  ChangeResult result;
  RecordedChange recorded;
  const bool done = session.ApplyRecorded(request, session.Subject("flash", options.image_path), &result, &recorded);
  session.Watch().SetStopFlag(nullptr);
  if (!done) {
    progress.Abandon();
  } else {
    progress.Finish();
  }
  if (result.flash.settings_kept) {
    context.Inform(Fill(texts::kKeepsSettings, SettingsText(result.flash.settings).c_str()));
  }
  const bool held_read = result.step == ChangeStep::kDone ||
                         (result.step == ChangeStep::kFlash && result.flash.step != EepromFlashStep::kReadHeld &&
                          result.flash.step != EepromFlashStep::kReadSettings);
  if (!bulk && options.changed_only && held_read) {
    context.Inform(Fill(texts::kChangedPackets, result.flash.packets_planned,
                        static_cast<unsigned>((image.size() + kImageChunk - 1) / kImageChunk)));
  }
  return SayChangeEnd(context, session, options, result, image, record);
}

}  // namespace veltrane::cli
