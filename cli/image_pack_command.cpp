// image pack: a header with the right checksum, magic and length, then BODY.
#include "cli/cli_texts.h"
#include "cli/file_io.h"
#include "cli/image_commands.h"
#include "cli/json_report.h"
#include "device/number_parse.h"
#include "device/hid_device_link.h"
#include "image/image_header.h"

namespace veltrane::cli {
namespace {

bool ParseId(const CommandContext& context, const char* option, const std::string& text,
             std::uint16_t* value) {
  std::uint64_t n = 0;
  if (!ParseNumber(text, 0xFFFF, &n)) {
    context.Say(Fill(texts::kBadId, option, text.c_str()));
    return false;
  }
  *value = static_cast<std::uint16_t>(n);
  return true;
}

}  // namespace

ExitStatus ImagePackCommand(const CommandContext& context, const PackRequest& request) {
  std::uint16_t vendor = 0;
  std::uint16_t product = 0;
  std::uint16_t version = 0;
  if (!ParseId(context, "--vendor", request.vendor_text, &vendor) ||
      !ParseId(context, "--product", request.product_text, &product) ||
      !ParseId(context, "--version", request.version_text, &version)) {
    return kExitUsage;
  }
  if (context.json && request.output_path == "-") {
    context.Say(texts::kJsonOwnsStdout);
    return kExitUsage;
  }
  std::vector<std::uint8_t> body;
  std::string reason;
  // One byte past what fits is enough to refuse it.
  switch (ReadFileBytes(request.body_path, kMaxEepromImage, &body, &reason)) {
    case FileRead::kMissing:
      context.Say(Fill(texts::kNoSuchFile, request.body_path.c_str()));
      return kExitUsage;
    case FileRead::kUnreadable:
      context.Say(Fill(texts::kUnreadableFile, request.body_path.c_str(), reason.c_str()));
      return kExitUsage;
    case FileRead::kOk:
    case FileRead::kTooLarge:
      break;
  }
  std::vector<std::uint8_t> image;
  if (!PackImage(vendor, product, version, body, &image)) {
    context.Say(Fill(texts::kBodyTooLarge, request.body_path.c_str(), body.size()));
    return kExitUsage;
  }
  Json& doc = context.report->Doc();
  doc["output"] = request.output_path;
  doc["size"] = image.size();
  doc["vendor_id"] = vendor;
  doc["product_id"] = product;
  doc["version"] = version;
  if (request.output_path == "-") {
    context.out->write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    context.out->flush();
    return kExitDone;
  }
  if (!WriteFileBytes(request.output_path, image, &reason, {request.body_path})) {
    context.Say(Fill(texts::kCannotWrite, request.output_path.c_str(), reason.c_str()));
    return kExitUsage;
  }
  context.Status(Fill(texts::kPacked, request.output_path.c_str(), image.size(), vendor, product, version) + "\n");
  return kExitDone;
}

}  // namespace veltrane::cli
