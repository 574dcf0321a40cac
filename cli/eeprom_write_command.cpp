// eeprom write ADDR FILE: FILE's bytes ("-": stdin) into the EEPROM from ADDR.
#include <optional>

#include "cli/cli_texts.h"
#include "cli/device_commands.h"
#include "cli/device_session.h"
#include "cli/file_io.h"
#include "cli/flash_command.h"
#include "cli/image_gate.h"
#include "cli/interrupt_guard.h"
#include "cli/terminal_progress.h"
#include "cli/json_report.h"
#include "device/eeprom_image_flash.h"
#include "device/hid_device_link.h"
#include "service/device_change.h"
#include "update/update_texts.h"

namespace veltrane::cli {
namespace {

// Bytes that reach address 0 (a backup put back) take the one road: byte 0
// fails the header checksum until everything else is written and read back,
// and Ctrl-C stops at a packet boundary.
ExitStatus WriteFromZero(const CommandContext& context, DeviceSession& session, const std::string& path,
                         const std::vector<std::uint8_t>& bytes) {
  std::optional<InterruptGuard> guard;
  if (context.stop == nullptr) guard.emplace();
  TerminalProgress progress(*context.err, context.progress);
  ChangeRequest request;
  request.image = &bytes;
  request.device = session.Identity();
  request.kind = ChangeKind::kRaw;
  request.flash.stop = context.stop != nullptr ? context.stop : InterruptGuard::Flag();
  request.progress = &progress;
  ChangeResult result;
  if (!ApplyChange(session.Link(), request, &result)) {
    progress.Abandon();
    if (result.step == ChangeStep::kRefused) {
      SayVerdict(context, VerdictOf(path, bytes, result.check, session.Identity()));
      return kExitRefused;
    }
    return SayEepromFlashEnd(context, session, result.flash);
  }
  progress.Finish();
  context.Status(Fill(texts::kWroteBytes, bytes.size(), 0u) + "\n");
  return kExitDone;
}

}  // namespace

ExitStatus EepromWriteCommand(const CommandContext& context, const std::string& address_text,
                              const std::string& input_path) {
  std::uint32_t address = 0;
  std::size_t one = 0;
  std::string error;
  if (!ParseEepromRange(address_text, "1", &address, &one, &error)) {
    context.Say(error);
    return kExitUsage;
  }
  std::vector<std::uint8_t> bytes;
  std::string reason;
  const std::size_t room = kMaxEepromImage - address;
  switch (ReadFileBytes(input_path, room, &bytes, &reason)) {
    case FileRead::kMissing:
      context.Say(Fill(texts::kNoSuchFile, input_path.c_str()));
      return kExitUsage;
    case FileRead::kUnreadable:
      context.Say(Fill(texts::kUnreadableFile, input_path.c_str(), reason.c_str()));
      return kExitUsage;
    case FileRead::kTooLarge:
      context.Say(Fill(texts::kDataTooLarge, input_path.c_str(), room));
      return kExitUsage;
    case FileRead::kOk:
      break;
  }
  if (bytes.empty()) {
    context.Say(Fill(texts::kNothingToWrite, input_path.c_str()));
    return kExitUsage;
  }
  DeviceSession session(context);
  if (const ExitStatus found = session.Locate(update_texts::kNoDeviceConnect); found != kExitDone) {
    return found;
  }
  Json& doc = context.report->Doc();
  doc["address"] = address;
  doc["length"] = bytes.size();
  doc["input"] = input_path;
  if (address == 0) return WriteFromZero(context, session, input_path, bytes);
  if (!WriteEepromRange(session.Link(), address, bytes)) {
    session.SayFailure(texts::kWriteFailed);
    return kExitFailed;
  }
  context.Status(Fill(texts::kWroteBytes, bytes.size(), address) + "\n");
  return kExitDone;
}

}  // namespace veltrane::cli
