#include "cli/device_commands.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <vector>

#include "cli/cli_texts.h"
#include "cli/device_session.h"
#include "cli/file_io.h"
#include "cli/hex_dump.h"
#include "cli/image_gate.h"
#include "cli/json_writer.h"
#include "cli/number_parse.h"
#include "device/hardware_id_match.h"
#include "device/hid_device_link.h"
#include "feedback/feedback_table.h"
#include "update/image_header.h"
#include "update/update_texts.h"

namespace veltrane::cli {
namespace {

constexpr std::uint32_t kEepromSize = 65536;

std::string Hex4(unsigned value) { return Fill("0x%04x", value); }

// ---- list -------------------------------------------------------------

struct InterfaceRow {
  std::string path;
  HidAttributes attributes;
  HidCaps caps;
  std::string hardware_id;
  std::string transport;
  bool interrupt_out = false;
  bool interrupt_out_known = false;
  bool accessible = false;
  std::string access_error;  // why not, when not
  std::string access_hint;   // what to do about it
};

std::string HardwareIdFor(HidPlatform& platform, std::uint16_t product_id) {
  return MatchHardwareId(platform.HardwareIds(), kVendorId, product_id);
}

// Tries the read and write opens discovery will need, and closes them again.
void ProbeAccess(HidPlatform& platform, InterfaceRow* row) {
  const HidHandle read = platform.Open(row->path, HidAccess::kRead);
  const HidError read_error = IsOpenHandle(read) ? HidError::kNone : platform.LastError();
  const std::string read_text = IsOpenHandle(read) ? "" : platform.LastErrorText();
  const HidHandle write = platform.Open(row->path, HidAccess::kWrite);
  const HidError write_error = IsOpenHandle(write) ? HidError::kNone : platform.LastError();
  const std::string write_text = IsOpenHandle(write) ? "" : platform.LastErrorText();
  if (IsOpenHandle(read)) platform.Close(read);
  if (IsOpenHandle(write)) platform.Close(write);
  row->accessible = read_error == HidError::kNone && write_error == HidError::kNone;
  if (row->accessible) return;
  if (read_error == HidError::kAccessDenied || write_error == HidError::kAccessDenied) {
    row->access_error = "permission denied";
    row->access_hint = platform.AccessDeniedHint();
    if (row->access_hint.empty()) row->access_hint = texts::kAccessDeniedNoHint;
  } else {
    row->access_error = read_text.empty() ? write_text : read_text;
  }
}

std::vector<InterfaceRow> ListInterfaces(const CommandContext& context) {
  std::vector<InterfaceRow> rows;
  if (context.platform == nullptr) return rows;
  HidPlatform& platform = *context.platform;
  for (const HidInterface& iface : platform.EnumerateInterfaces()) {
    if (!iface.detail_available) continue;
    if (!context.device_path.empty() && iface.path != context.device_path) continue;
    const HidHandle query = platform.Open(iface.path, HidAccess::kNone);
    if (!IsOpenHandle(query)) continue;
    InterfaceRow row;
    row.path = iface.path;
    row.transport = platform.TransportName();
    row.interrupt_out = iface.interrupt_out;
    row.interrupt_out_known = iface.interrupt_out_known;
    const bool ours = platform.GetAttributes(query, &row.attributes) &&
                      row.attributes.vendor_id == kVendorId;
    if (ours) platform.GetCaps(query, &row.caps);
    platform.Close(query);
    if (!ours) continue;
    row.hardware_id = HardwareIdFor(platform, row.attributes.product_id);
    ProbeAccess(platform, &row);
    rows.push_back(std::move(row));
  }
  return rows;
}

void PrintInterfacesText(const CommandContext& context, const std::vector<InterfaceRow>& rows) {
  std::string text;
  for (const InterfaceRow& row : rows) {
    if (!text.empty()) text += '\n';
    text += row.path + '\n';
    text += "  product ID   " + Hex4(row.attributes.product_id) + '\n';
    text += "  usage page   " + Hex4(row.caps.usage_page) +
            (row.caps.usage_page == kVendorUsagePage ? " (vendor-defined)\n" : "\n");
    text += Fill("  reports      input %u, output %u bytes\n", row.caps.input_report_byte_length,
                 row.caps.output_report_byte_length);
    text += "  hardware ID  " + (row.hardware_id.empty() ? "(none)" : row.hardware_id) + '\n';
    text += "  transport    " + row.transport + '\n';
    text += std::string("  interrupt OUT ") +
            (!row.interrupt_out_known ? "(the system does not tell)\n"
             : row.interrupt_out      ? "yes (bulk blocks go there)\n"
                                      : "no (every output report goes as SET_REPORT on endpoint 0)\n");
    if (row.accessible) {
      text += "  access       read and write\n";
    } else {
      text += "  access       refused: " + row.access_error + '\n';
      if (!row.access_hint.empty()) text += "  fix          " + row.access_hint + '\n';
    }
  }
  context.Result(text);
}

void PrintInterfacesJson(const CommandContext& context, const std::vector<InterfaceRow>& rows) {
  JsonWriter json;
  json.BeginObject().BeginArray("interfaces");
  for (const InterfaceRow& row : rows) {
    json.BeginObject()
        .String("path", row.path)
        .Number("vendor_id", row.attributes.vendor_id)
        .Number("product_id", row.attributes.product_id)
        .Number("usage_page", row.caps.usage_page)
        .Number("usage", row.caps.usage)
        .Bool("vendor_defined", row.caps.usage_page == kVendorUsagePage)
        .Number("input_report_length", row.caps.input_report_byte_length)
        .Number("output_report_length", row.caps.output_report_byte_length)
        .String("hardware_id", row.hardware_id)
        .String("transport", row.transport);
    // null where the system does not tell (Windows).
    if (row.interrupt_out_known) json.Bool("interrupt_out", row.interrupt_out);
    else json.Null("interrupt_out");
    json.Bool("accessible", row.accessible)
        .String("access_error", row.access_error)
        .String("access_hint", row.access_hint)
        .EndObject();
  }
  json.EndArray().EndObject();
  context.Result(json.Text());
}

// ---- info ---------------------------------------------------------------

const char* StateName(StoredImageState state) {
  switch (state) {
    case StoredImageState::kValid: return "valid";
    case StoredImageState::kIncomplete: return "incomplete";
    case StoredImageState::kBlank: return "blank";
  }
  return "blank";
}

std::string StoredImageText(StoredImageState state, const ImageHeader& header) {
  switch (state) {
    case StoredImageState::kValid:
      return Fill("valid, version 0x%04x, %u bytes", header.Version(), header.Length());
    case StoredImageState::kIncomplete:
      return Fill(
          "incomplete (version 0x%04x, %u bytes): a write did not finish and byte 0 is still "
          "inverted. Flashing the image again repairs it.",
          header.Version(), header.Length());
    case StoredImageState::kBlank:
      return "blank or unknown";
  }
  return {};
}

// ---- feedback -----------------------------------------------------------

std::string ResolutionText(std::uint8_t mask) {
  const auto text = TextForMask(mask);
  return text ? std::string(*text) : Fill(texts::kUnknownMask, mask);
}

}  // namespace

std::string ResolutionChoices() {
  std::string choices;
  for (const FeedbackResolution& row : kFeedbackResolutions) {
    choices += ' ';
    choices += row.text;
  }
  return choices;
}

ExitStatus ListCommand(const CommandContext& context) {
  const std::vector<InterfaceRow> rows = ListInterfaces(context);
  if (context.json) {
    PrintInterfacesJson(context, rows);
  } else {
    PrintInterfacesText(context, rows);
  }
  if (rows.empty()) {
    context.Say(context.device_path.empty() ? std::string(texts::kNoInterfaces)
                                            : Fill(texts::kNoDeviceAtPath, context.device_path.c_str()));
    return kExitFailed;
  }
  return kExitDone;
}

ExitStatus InfoCommand(const CommandContext& context) {
  DeviceSession session(context);
  if (!session.Identify()) return kExitFailed;
  const DeviceIdentity& id = session.Identity();
  const bool bulk = IsBulkProduct(id.product_id);
  ImageHeader header;
  StoredImageState state = StoredImageState::kBlank;
  if (!bulk) {
    std::vector<std::uint8_t> first;
    if (!session.ReadRange(0, kImageHeaderSize, &first)) {
      session.SayFailure(texts::kReadFailed);
      return kExitFailed;
    }
    std::copy(first.begin(), first.end(), header.bytes);
    state = ClassifyStoredImage(header);
  }
  const std::string path = session.Link().DevicePath();
  if (context.json) {
    JsonWriter json;
    json.BeginObject()
        .Number("vendor_id", id.vendor_id)
        .Number("product_id", id.product_id)
        .Number("revision", id.revision)
        .String("hardware_id", id.hardware_id)
        .String("device_path", path)
        .String("transfer", bulk ? "bulk" : "eeprom");
    if (bulk) {
      json.Null("eeprom_image");
    } else {
      json.BeginObject("eeprom_image").String("state", StateName(state));
      if (state == StoredImageState::kBlank) {
        json.Null("version").Null("length");
      } else {
        json.Number("version", header.Version()).Number("length", header.Length());
      }
      json.EndObject();
    }
    json.EndObject();
    context.Result(json.Text());
    return kExitDone;
  }
  std::string text;
  text += "Vendor ID     " + Hex4(id.vendor_id) + '\n';
  text += "Product ID    " + Hex4(id.product_id) + '\n';
  text += "Revision      " + Hex4(id.revision) + '\n';
  text += "Hardware ID   " + id.hardware_id + '\n';
  text += "Device path   " + path + '\n';
  text += bulk ? Fill("Transfer      bulk (product %u keeps no image in its EEPROM)\n", id.product_id)
               : std::string("Transfer      EEPROM\n");
  if (!bulk) text += "EEPROM image  " + StoredImageText(state, header) + '\n';
  context.Result(text);
  return kExitDone;
}

namespace {
// The fields every check result starts with, also when the file could not be read.
JsonWriter& BeginVerdictJson(JsonWriter& json, const std::string& image_path,
                             const ImageVerdict& verdict) {
  return json.BeginObject()
      .String("image", image_path)
      .String("verdict", verdict.name)
      .String("message", verdict.message)
      .String("detail", verdict.detail);
}
}  // namespace

ExitStatus CheckCommand(const CommandContext& context, const std::string& image_path) {
  std::vector<std::uint8_t> bytes;
  ImageVerdict verdict;
  if (ReadImageFile(context, image_path, &bytes, &verdict) != kExitDone) {
    if (context.json) {
      JsonWriter json;
      BeginVerdictJson(json, image_path, verdict).EndObject();
      context.Result(json.Text());
    }
    return kExitRefused;
  }
  DeviceSession session(context);
  if (!session.Identify()) return kExitFailed;
  const DeviceIdentity& id = session.Identity();
  verdict = JudgeImageBytes(image_path, bytes, id);
  SayVerdict(context, verdict);
  const bool bulk = IsBulkProduct(id.product_id);
  if (context.json) {
    JsonWriter json;
    BeginVerdictJson(json, image_path, verdict)
        .Number("size", static_cast<std::int64_t>(bytes.size()))
        .String("transfer", bulk ? "bulk" : "eeprom");
    json.BeginObject("device")
        .Number("vendor_id", id.vendor_id)
        .Number("product_id", id.product_id)
        .Number("revision", id.revision)
        .String("hardware_id", id.hardware_id)
        .EndObject();
    if (verdict.has_header) {
      json.BeginObject("header")
          .Number("vendor_id", verdict.header.VendorId())
          .Number("product_id", verdict.header.ProductId())
          .Number("version", verdict.header.Version())
          .Number("length", verdict.header.Length())
          .Bool("checksum_valid", verdict.header.ChecksumValid())
          .Bool("magic_valid", verdict.header.MagicValid())
          .EndObject();
    } else {
      json.Null("header");
    }
    json.EndObject();
    context.Result(json.Text());
  } else if (verdict.verdict == Verdict::kReady) {
    context.Result(bulk ? Fill(texts::kBulkReady, image_path.c_str(), bytes.size(), id.product_id) + "\n"
                        : Fill(texts::kReady, image_path.c_str(), verdict.header.Version(),
                               verdict.header.VendorId(), verdict.header.ProductId(), id.revision) +
                              "\n");
  }
  return StatusOf(verdict);
}

ExitStatus FeedbackGetCommand(const CommandContext& context) {
  DeviceSession session(context);
  if (!session.Locate(feedback_texts::kFailedEnumeration)) return kExitFailed;
  std::uint8_t block[4] = {};
  if (session.Link().ReadFeedbackSettings(kEepromDeviceAddress, kEepromSelector, block,
                                          sizeof block) == 0) {
    session.SayFailure(texts::kFeedbackReadFailed);
    return kExitFailed;
  }
  if (context.json) {
    JsonWriter json;
    json.BeginObject().BeginArray("feedback");
    for (std::size_t i = 0; i < kSampleRateGroupNames.size(); ++i) {
      const std::uint8_t mask = block[i + 1];
      json.BeginObject().String("rate_group", kSampleRateGroupNames[i]);
      if (const auto text = TextForMask(mask)) {
        json.String("resolution", *text);
      } else {
        json.Null("resolution");
      }
      json.Number("mask", mask).EndObject();
    }
    json.EndArray().EndObject();
    context.Result(json.Text());
    return kExitDone;
  }
  std::string text;
  for (std::size_t i = 0; i < kSampleRateGroupNames.size(); ++i) {
    text += Fill("%-14s%s\n", std::string(kSampleRateGroupNames[i]).c_str(),
                 ResolutionText(block[i + 1]).c_str());
  }
  context.Result(text);
  return kExitDone;
}

ExitStatus FeedbackSetCommand(const CommandContext& context,
                              const std::array<std::string, 3>& resolutions) {
  std::uint8_t masks[3] = {};
  for (std::size_t i = 0; i < resolutions.size(); ++i) {
    const auto mask = MaskForText(resolutions[i]);
    if (!mask) {
      context.Say(Fill(texts::kNotAResolution, resolutions[i].c_str(), ResolutionChoices().c_str()));
      return kExitUsage;
    }
    masks[i] = *mask;
  }
  DeviceSession session(context);
  if (!session.Locate(feedback_texts::kFailedEnumeration)) return kExitFailed;
  if (session.Link().WriteFeedbackSettings(kEepromDeviceAddress, kEepromSelector, masks[0],
                                           masks[1], masks[2]) == 0) {
    session.SayFailure(feedback_texts::kFailedProgramming);
    return kExitFailed;
  }
  context.Result(std::string(feedback_texts::kProgramCompleted) + "\n");
  return kExitDone;
}

bool ParseEepromRange(const std::string& address_text, const std::string& length_text,
                      std::uint32_t* address, std::size_t* length, std::string* error) {
  std::uint64_t a = 0;
  std::uint64_t n = 0;
  if (!ParseNumber(address_text, kEepromSize - 1, &a)) {
    *error = Fill(texts::kBadAddress, address_text.c_str());
    return false;
  }
  if (!ParseNumber(length_text, kEepromSize, &n) || n == 0) {
    *error = Fill(texts::kBadLength, length_text.c_str());
    return false;
  }
  if (a + n > kEepromSize) {
    *error = Fill(texts::kBeyondEeprom, static_cast<unsigned>(a), static_cast<std::size_t>(n));
    return false;
  }
  *address = static_cast<std::uint32_t>(a);
  *length = static_cast<std::size_t>(n);
  return true;
}

ExitStatus EepromReadCommand(const CommandContext& context, const std::string& address_text,
                             const std::string& length_text, const std::string& output_path) {
  std::uint32_t address = 0;
  std::size_t length = 0;
  std::string error;
  if (!ParseEepromRange(address_text, length_text, &address, &length, &error)) {
    context.Say(error);
    return kExitUsage;
  }
  DeviceSession session(context);
  if (!session.Locate(update_texts::kNoDeviceConnect)) return kExitFailed;
  std::vector<std::uint8_t> bytes;
  if (!session.ReadRange(address, length, &bytes)) {
    session.SayFailure(texts::kReadFailed);
    return kExitFailed;
  }
  if (output_path.empty()) {
    context.Result(HexDump(address, bytes));
    return kExitDone;
  }
  std::string reason;
  if (!WriteFileBytes(output_path, bytes, &reason)) {
    context.Say(Fill(texts::kCannotWrite, output_path.c_str(), reason.c_str()));
    return kExitUsage;
  }
  context.Say(Fill(texts::kSavedBytes, length, address, output_path.c_str()));
  return kExitDone;
}

ExitStatus EepromWriteCommand(const CommandContext& context, const std::string& address_text,
                              const std::string& input_path) {
  std::vector<std::uint8_t> bytes;
  std::string reason;
  switch (ReadFileBytes(input_path, &bytes, &reason)) {
    case FileRead::kMissing:
      context.Say(Fill(texts::kNoSuchFile, input_path.c_str()));
      return kExitUsage;
    case FileRead::kUnreadable:
      context.Say(Fill(texts::kUnreadableFile, input_path.c_str(), reason.c_str()));
      return kExitUsage;
    case FileRead::kOk:
      break;
  }
  if (bytes.empty()) {
    context.Say(Fill(texts::kNothingToWrite, input_path.c_str()));
    return kExitUsage;
  }
  std::uint32_t address = 0;
  std::size_t one = 0;
  std::string error;
  if (!ParseEepromRange(address_text, "1", &address, &one, &error)) {
    context.Say(error);
    return kExitUsage;
  }
  if (address + bytes.size() > kEepromSize) {
    context.Say(Fill(texts::kBeyondEeprom, address, bytes.size()));
    return kExitUsage;
  }
  DeviceSession session(context);
  if (!session.Locate(update_texts::kNoDeviceConnect)) return kExitFailed;
  if (!session.WriteRange(address, bytes)) {
    session.SayFailure(texts::kWriteFailed);
    return kExitFailed;
  }
  context.Result(Fill(texts::kWroteBytes, bytes.size(), address) + "\n");
  return kExitDone;
}

}  // namespace veltrane::cli
