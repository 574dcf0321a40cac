#include "cli/flash_command.h"

#include <algorithm>
#include <vector>

#include "cli/cli_texts.h"
#include "cli/device_session.h"
#include "cli/file_io.h"
#include "cli/image_gate.h"
#include "cli/terminal_progress.h"
#include "device/hid_device_link.h"
#include "device/progress.h"
#include "update/update_texts.h"

namespace veltrane::cli {
namespace {

constexpr std::size_t kImageChunk = 16;

bool StopRequested(const CommandContext& context) {
  return context.stop != nullptr && context.stop->load();
}

ExitStatus FailTransfer(const CommandContext& context, const std::string& detail) {
  context.Say(update_texts::kProgramFailed);
  context.Say(detail);
  return kExitFailed;
}

ExitStatus FlashBulk(const CommandContext& context, DeviceSession& session,
                     const FlashOptions& options, std::size_t size) {
  if (!options.backup_path.empty()) {
    context.Say(Fill(texts::kBackupBulk, session.Identity().product_id));
    return kExitUsage;
  }
  TerminalProgress progress(*context.err, context.progress);
  ScopedLinkProgress sink(session.Link(), &progress);
  WatchedPlatform& watch = session.Watch();
  watch.ResetCounts();
  watch.SetStopFlag(context.stop);
  const int result = session.Link().DownloadBulkImage(options.image_path);
  watch.SetStopFlag(nullptr);
  // The start packet, the blocks and the end packet.
  const int reports = static_cast<int>((size + 63) / 64) + 2;
  if (StopRequested(context)) {
    progress.Abandon();
    const std::size_t sent = std::min(size, static_cast<std::size_t>(std::max(0, watch.WritesSent() - 1)) * 64);
    context.Say(Fill(texts::kInterrupted, sent, size));
    return kExitFailed;
  }
  if (result == 0 || watch.WritesFailed() > 0) {
    progress.Abandon();
    return FailTransfer(context, watch.DeviceGone()
                                     ? std::string(texts::kUnplugged)
                                     : Fill(texts::kBulkRefused, watch.WritesFailed(), reports));
  }
  progress.Finish();
  context.Result(std::string(update_texts::kProgramCompleted) + "\n");
  return kExitDone;
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
  context.Say(Fill(texts::kBackupSaved, size - 1, path.c_str()));
  return kExitDone;
}

ExitStatus FlashEeprom(const CommandContext& context, DeviceSession& session,
                       const FlashOptions& options, const std::vector<std::uint8_t>& image) {
  if (!options.backup_path.empty()) {
    const ExitStatus saved = SaveBackup(context, session, options.backup_path, image.size());
    if (saved != kExitDone) return saved;
  }
  TerminalProgress progress(*context.err, context.progress);
  ScopedLinkProgress sink(session.Link(), &progress);
  WatchedPlatform& watch = session.Watch();
  HidDeviceLink& link = session.Link();
  watch.ResetCounts();
  const int body = link.WriteEepromImageBody(image, kEepromDeviceAddress, kEepromSelector, context.stop);
  // Every report that went out after the select carried 16 image bytes.
  const std::size_t written = std::min(
      image.size(), static_cast<std::size_t>(std::max(0, watch.OutputReportsSent() - 1)) * kImageChunk);
  if (StopRequested(context)) {
    progress.Abandon();
    context.Say(Fill(texts::kInterrupted, written, image.size()));
    return kExitFailed;
  }
  if (body == 0) {
    progress.Abandon();
    return FailTransfer(context, watch.DeviceGone()
                                     ? std::string(texts::kUnplugged)
                                     : Fill(texts::kWritePacketFailed, written, image.size()));
  }
  if (options.verify) {
    context.Note(Fill(texts::kVerifying, image.size()));
    std::vector<std::uint8_t> expected = image;
    expected[0] = static_cast<std::uint8_t>(~image[0]);
    std::vector<std::uint8_t> back;
    if (!session.ReadRange(0, image.size(), &back)) {
      progress.Abandon();
      return FailTransfer(context, watch.DeviceGone() ? texts::kUnplugged : texts::kVerifyReadFailed);
    }
    const Mismatch mismatch = CompareImage(expected, back);
    if (mismatch.count != 0) {
      progress.Abandon();
      // When the first packet is the one that went missing, the old header
      // still stands at the start and would pass for valid over the new
      // body: put the inverted first byte in place so the device refuses it.
      if (back.empty() || back[0] != expected[0]) {
        // Best effort: the mismatch is what the user is told either way.
        static_cast<void>(link.WriteEeprom(kEepromDeviceAddress, kEepromSelector, 0, &expected[0], 1));
      }
      return FailTransfer(context, Fill(texts::kVerifyMismatch, mismatch.count, mismatch.first,
                                        expected[mismatch.first], back[mismatch.first]));
    }
  }
  if (StopRequested(context)) {
    progress.Abandon();
    context.Say(Fill(texts::kInterrupted, image.size(), image.size()));
    return kExitFailed;
  }
  if (link.SendRestorePacket(image[0]) == 0) {
    progress.Abandon();
    return FailTransfer(context, watch.DeviceGone() ? texts::kUnplugged : texts::kRestoreFailed);
  }
  if (options.verify) {
    std::vector<std::uint8_t> first;
    if (!session.ReadRange(0, 1, &first)) {
      progress.Abandon();
      return FailTransfer(context, watch.DeviceGone() ? texts::kUnplugged : texts::kReadFailed);
    }
    if (first[0] != image[0]) {
      progress.Abandon();
      return FailTransfer(context, Fill(texts::kRestoreMismatch, first[0], image[0]));
    }
  }
  progress.Finish();
  context.Result(std::string(update_texts::kProgramCompleted) + "\n");
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
  if (ReadImageFile(context, options.image_path, &image, &verdict) != kExitDone) return kExitRefused;
  DeviceSession session(context);
  if (!session.Identify()) return kExitFailed;
  verdict = JudgeImageBytes(options.image_path, image, session.Identity());
  if (verdict.verdict == Verdict::kNotNewer && options.force) {
    SayVerdict(context, verdict);
    context.Say(texts::kForced);
  } else if (verdict.verdict != Verdict::kReady) {
    SayVerdict(context, verdict);
    if (verdict.verdict == Verdict::kNotNewer) context.Say(texts::kUseForce);
    return kExitRefused;
  }
  if (IsBulkProduct(session.Identity().product_id)) {
    return FlashBulk(context, session, options, image.size());
  }
  return FlashEeprom(context, session, options, image);
}

}  // namespace veltrane::cli
