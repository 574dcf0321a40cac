// eeprom write ADDR FILE: FILE's bytes ("-": stdin) into the EEPROM from ADDR.
#include "cli/cli_texts.h"
#include "cli/device_commands.h"
#include "cli/device_session.h"
#include "cli/file_io.h"
#include "cli/json_report.h"
#include "device/hid_device_link.h"
#include "device/stop_flag.h"
#include "update/update_texts.h"

namespace veltrane::cli {

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
  session.Watch().SetStopFlag(context.stop);
  std::size_t done = 0;
  const bool written = session.WriteRange(address, bytes, &done);
  session.Watch().SetStopFlag(nullptr);
  if (!written && StopRequested(context.stop)) {
    context.report->SetFailure(texts::kStoppedStage, "");
    context.Say(Fill(texts::kWriteStopped, done, bytes.size()));
    return kExitFailed;
  }
  if (!written) {
    session.SayFailure(texts::kWriteFailed);
    return kExitFailed;
  }
  context.Status(Fill(texts::kWroteBytes, bytes.size(), address) + "\n");
  return kExitDone;
}

}  // namespace veltrane::cli
