// eeprom write ADDR FILE: FILE's bytes ("-": stdin) into the EEPROM from ADDR.
#include "cli/cli_texts.h"
#include "cli/device_commands.h"
#include "cli/device_session.h"
#include "cli/file_io.h"
#include "cli/flash_command.h"
#include "cli/image_gate.h"
#include "cli/signing_commands.h"
#include "cli/terminal_progress.h"
#include "cli/json_report.h"
#include "device/eeprom_image_flash.h"
#include "device/hid_device_link.h"
#include "device/stop_flag.h"
#include "service/device_change.h"
#include "update/update_texts.h"

namespace veltrane::cli {
namespace {

// Every write takes the one road: the bytes it overwrites are saved first
// and the change recorded; bytes that reach address 0 (a backup put back)
// keep byte 0 failing the header checksum until everything else is written
// and read back, elsewhere they are read back before the write counts as
// done; a stop request ends it at a packet boundary.
ExitStatus WriteRecorded(const CommandContext& context, DeviceSession& session, const std::string& path,
                         std::uint32_t address, const std::vector<std::uint8_t>& bytes) {
  TerminalProgress progress(*context.err, context.progress);
  ChangeRequest request;
  request.image = &bytes;
  request.device = session.Identity();
  request.kind = ChangeKind::kRaw;
  request.address = address;
  request.flash.stop = context.stop;
  request.progress = &progress;
  request.signing.image_path = path;  // FILE.minisig beside it, where signed images are required
  ChangeResult result;
  RecordedChange recorded;
  const bool done = session.ApplyRecorded(request, session.Subject("eeprom write", path), &result, &recorded);
  if (!done) {
    progress.Abandon();
    if (SaySigningRefusal(context, result, false, texts::kGetSignedImage)) return kExitRefused;
    if (result.step == ChangeStep::kRefused) {
      SayVerdict(context, VerdictOf(path, bytes, result.check, session.Identity()));
      return kExitRefused;
    }
    if (result.step == ChangeStep::kBackupRead) return SayBackupReadEnd(context, session);
    if (result.step == ChangeStep::kBackupSave) {
      context.Say(Fill(texts::kBackupNotSaved, result.backup_error.c_str()));
      return kExitFailed;
    }
    if (address != 0) return SayRawWriteEnd(context, session, result, bytes.size());
    return SayEepromFlashEnd(context, session, result.flash);
  }
  progress.Finish();
  context.Status(Fill(texts::kWroteBytes, bytes.size(), address) + "\n");
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
  if (const ExitStatus found = session.Identify(); found != kExitDone) return found;
  Json& doc = context.report->Doc();
  doc["address"] = address;
  doc["length"] = bytes.size();
  doc["input"] = input_path;
  return WriteRecorded(context, session, input_path, address, bytes);
}

}  // namespace veltrane::cli
