// eeprom read ADDR LEN [-o FILE]: a hex dump, or the raw bytes to FILE ("-": stdout).
#include "cli/cli_texts.h"
#include "cli/device_commands.h"
#include "cli/device_session.h"
#include "cli/file_io.h"
#include "cli/hex_dump.h"
#include "cli/json_report.h"
#include "update/update_texts.h"

namespace veltrane::cli {
namespace {

std::string HexOf(const std::vector<std::uint8_t>& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (const std::uint8_t b : bytes) {
    hex += kDigits[b >> 4];
    hex += kDigits[b & 0x0F];
  }
  return hex;
}

}  // namespace

ExitStatus EepromReadCommand(const CommandContext& context, const std::string& address_text,
                             const std::string& length_text, const std::string& output_path) {
  std::uint32_t address = 0;
  std::size_t length = 0;
  std::string error;
  if (!ParseEepromRange(address_text, length_text, &address, &length, &error)) {
    context.Say(error);
    return kExitUsage;
  }
  if (context.json && output_path == "-") {
    context.Say(texts::kJsonOwnsStdout);
    return kExitUsage;
  }
  DeviceSession session(context);
  if (const ExitStatus found = session.Locate(update_texts::kNoDeviceConnect); found != kExitDone) {
    return found;
  }
  std::vector<std::uint8_t> bytes;
  if (!session.ReadRange(address, length, &bytes)) {
    session.SayFailure(texts::kReadFailed);
    return kExitFailed;
  }
  Json& doc = context.report->Doc();
  doc["address"] = address;
  doc["length"] = length;
  doc["output"] = output_path.empty() ? Json(nullptr) : Json(output_path);
  if (output_path.empty()) {
    doc["data"] = HexOf(bytes);
    context.Result(HexDump(address, bytes));
    return kExitDone;
  }
  if (output_path == "-") {
    context.out->write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    context.out->flush();
    return kExitDone;
  }
  std::string reason;
  if (!WriteFileBytes(output_path, bytes, &reason)) {
    context.Say(Fill(texts::kCannotWrite, output_path.c_str(), reason.c_str()));
    return kExitUsage;
  }
  context.Inform(Fill(texts::kSavedBytes, length, address, output_path.c_str()));
  return kExitDone;
}

}  // namespace veltrane::cli
