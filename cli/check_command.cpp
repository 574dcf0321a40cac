// check IMAGE: judge the image against the chosen DAC, writing nothing.
#include <array>

#include "cli/cli_texts.h"
#include "cli/device_commands.h"
#include "cli/device_session.h"
#include "cli/image_gate.h"
#include "cli/flash_command.h"
#include "cli/json_report.h"
#include "cli/signing_commands.h"
#include "device/eeprom_image_flash.h"

namespace veltrane::cli {

// The fields every check result starts with, also when the file could not be read.
void VerdictJson(Json& doc, const std::string& image_path, const ImageVerdict& verdict) {
  doc["image"] = image_path;
  doc["verdict"] = verdict.name;
  doc["message"] = verdict.message;
  doc["detail"] = verdict.detail;
}

namespace {

// An image that reaches 0x1712 overwrites the owner's feedback settings:
// say with what, and what the DAC holds now when it can be read.
void SaySettingsReset(const CommandContext& context, DeviceSession& session,
                      const std::vector<std::uint8_t>& image) {
  std::array<std::uint8_t, 4> held{};
  const bool read = session.Link().ReadEeprom(kEepromDeviceAddress, kEepromSelector,
                                              kFeedbackBlockAddress, held.data(), 4) == 1;
  const std::array<std::uint8_t, 4> after = FeedbackBlockAfter(image, held);
  Json& doc = context.report->Doc();
  doc["feedback_settings"] = {{"image", SettingsText(after)},
                              {"device", read ? Json(SettingsText(held)) : Json(nullptr)},
                              {"changes", !read || held != after}};
  if (!read) {
    context.Inform(Fill(texts::kSetsSettings, SettingsText(after).c_str()));
  } else if (held != after) {
    context.Inform(Fill(texts::kResetsSettings, SettingsText(after).c_str(), SettingsText(held).c_str()));
  }
}

}  // namespace

ExitStatus CheckCommand(const CommandContext& context, const std::string& image_path) {
  std::vector<std::uint8_t> bytes;
  ImageVerdict verdict;
  Json& doc = context.report->Doc();
  if (ReadImageFile(context, image_path, &bytes, &verdict) != kExitDone) {
    VerdictJson(doc, image_path, verdict);
    return kExitRefused;
  }
  DeviceSession session(context);
  if (const ExitStatus found = session.Identify(); found != kExitDone) return found;
  const DeviceIdentity& id = session.Identity();
  std::optional<SignatureVerdict> signature;
  verdict = JudgeImageBytes(image_path, bytes, id, &LoadSigning(context), &signature);
  SayVerdict(context, verdict);
  const bool bulk = IsBulkProduct(id.product_id);
  VerdictJson(doc, image_path, verdict);
  doc["size"] = bytes.size();
  doc["transfer"] = bulk ? "bulk" : "eeprom";
  doc["device"] = {{"vendor_id", id.vendor_id},
                   {"product_id", id.product_id},
                   {"revision", id.revision},
                   {"hardware_id", id.hardware_id}};
  doc["header"] = nullptr;
  if (verdict.has_header) {
    doc["header"] = {{"vendor_id", verdict.header.VendorId()},
                     {"product_id", verdict.header.ProductId()},
                     {"version", verdict.header.Version()},
                     {"length", verdict.header.Length()},
                     {"checksum_valid", verdict.header.ChecksumValid()},
                     {"magic_valid", verdict.header.MagicValid()}};
  }
  doc["signature"] = signature ? SignatureJson(*signature) : Json(nullptr);
  doc["feedback_settings"] = nullptr;
  if (!bulk && verdict.has_header && CoversFeedbackBlock(bytes.size())) {
    SaySettingsReset(context, session, bytes);
  }
  if (verdict.verdict == Verdict::kReady) {
    context.Result(bulk ? Fill(texts::kBulkReady, image_path.c_str(), bytes.size(), id.product_id) + "\n"
                        : Fill(texts::kReady, image_path.c_str(), verdict.header.Version(),
                               verdict.header.VendorId(), verdict.header.ProductId(), id.revision) +
                              "\n");
    if (signature) context.Result(Fill(texts::kSignatureLine, signature->Summary().c_str()) + "\n");
  }
  return StatusOf(verdict);
}

}  // namespace veltrane::cli
