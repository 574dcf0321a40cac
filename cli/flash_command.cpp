#include "cli/flash_command.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "cli/cli_texts.h"
#include "cli/device_session.h"
#include "cli/file_io.h"
#include "cli/image_gate.h"
#include "cli/json_report.h"
#include "cli/terminal_progress.h"
#include "device/hid_device_link.h"
#include "device/progress.h"
#include "update/update_texts.h"

namespace veltrane::cli {
namespace {

bool StopRequested(const CommandContext& context) {
  return context.stop != nullptr && context.stop->load();
}

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
  if (StopRequested(context)) {
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

// Reads the body back before the restore packet; on a mismatch makes sure
// byte 0 is inverted, so the device never takes a mixed image as valid.
ExitStatus VerifyBody(const CommandContext& context, DeviceSession& session,
                      const std::vector<std::uint8_t>& image) {
  context.Note(Fill(texts::kVerifying, image.size()));
  std::vector<std::uint8_t> expected = image;
  expected[0] = static_cast<std::uint8_t>(~image[0]);
  std::vector<std::uint8_t> back;
  if (!session.ReadRange(0, image.size(), &back)) {
    return FailTransfer(context, session, texts::kVerifyReadFailed);
  }
  const Mismatch mismatch = CompareImage(expected, back);
  if (mismatch.count == 0) return kExitDone;
  // When the first packet is the one that went missing, the old header still
  // stands at the start and would pass for valid over the new body.
  if (back.empty() || back[0] != expected[0]) {
    (void)session.Link().WriteEeprom(kEepromDeviceAddress, kEepromSelector, 0, &expected[0], 1);
  }
  return FailTransfer(context, session,
                      Fill(texts::kVerifyMismatch, mismatch.count, mismatch.first,
                           expected[mismatch.first], back[mismatch.first]));
}

ExitStatus FlashEeprom(const CommandContext& context, DeviceSession& session,
                       const FlashOptions& options, const std::vector<std::uint8_t>& image,
                       FlashRecord& record) {
  if (!options.backup_path.empty()) {
    const ExitStatus saved = SaveBackup(context, session, options.backup_path, image.size());
    if (saved != kExitDone) return saved;
    record.doc["backup"] = options.backup_path;
  }
  TerminalProgress progress(*context.err, context.progress);
  ScopedLinkProgress sink(session.Link(), &progress);
  HidDeviceLink& link = session.Link();
  const int body = link.WriteEepromImageBody(image, kEepromDeviceAddress, kEepromSelector, context.stop);
  const std::size_t written = body == 1 ? image.size() : link.LastFailure().bytes_done;
  record.Written(written);
  if (StopRequested(context) || body == 0) {
    progress.Abandon();
    if (written == 0) {
      if (StopRequested(context)) {
        context.Say(texts::kNothingWritten);
        return kExitFailed;
      }
      return FailTransfer(context, session, texts::kNothingWritten);
    }
    if (StopRequested(context)) {
      context.Say(Fill(texts::kInterrupted, written, image.size()));
      return kExitFailed;
    }
    return FailTransfer(context, session, Fill(texts::kWritePacketFailed, written, image.size()));
  }
  if (options.verify) {
    if (const ExitStatus verified = VerifyBody(context, session, image); verified != kExitDone) {
      progress.Abandon();
      return verified;
    }
  }
  if (StopRequested(context)) {
    progress.Abandon();
    context.Say(Fill(texts::kInterrupted, image.size(), image.size()));
    return kExitFailed;
  }
  if (link.SendRestorePacket(image[0]) == 0) {
    progress.Abandon();
    return FailTransfer(context, session, texts::kRestoreFailed);
  }
  if (options.verify) {
    std::vector<std::uint8_t> first;
    if (!session.ReadRange(0, 1, &first)) {
      progress.Abandon();
      return FailTransfer(context, session, texts::kLastReadBackFailed);
    }
    if (first[0] != image[0]) {
      progress.Abandon();
      return FailTransfer(context, session, Fill(texts::kRestoreMismatch, first[0], image[0]));
    }
  }
  progress.Finish();
  record.Done(context, options.verify);
  return kExitDone;
}

}  // namespace

Mismatch CompareImage(const std::vector<std::uint8_t>& expected,
                      const std::vector<std::uint8_t>& actual) {
  Mismatch mismatch;
  const std::size_t n = std::min(expected.size(), actual.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (expected[i] == actual[i]) continue;
    if (mismatch.count == 0) mismatch.first = i;
    ++mismatch.count;
  }
  if (expected.size() != actual.size() && mismatch.count == 0) mismatch.first = n;
  mismatch.count += std::max(expected.size(), actual.size()) - n;
  return mismatch;
}

ExitStatus FlashCommand(const CommandContext& context, const FlashOptions& options) {
  std::vector<std::uint8_t> image;
  ImageVerdict verdict;
  Json& doc = context.report->Doc();
  doc["image"] = options.image_path;
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
