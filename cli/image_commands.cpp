#include "cli/image_commands.h"

#include <algorithm>
#include <vector>

#include "cli/cli_texts.h"
#include "cli/file_io.h"
#include "cli/image_gate.h"
#include "cli/json_writer.h"
#include "cli/number_parse.h"
#include "update/image_header.h"
#include "update/update_texts.h"

namespace veltrane::cli {
namespace {

const char* StateName(StoredImageState state) {
  switch (state) {
    case StoredImageState::kValid: return "valid";
    case StoredImageState::kIncomplete: return "incomplete";
    case StoredImageState::kBlank: return "invalid";
  }
  return "invalid";
}

std::string HeaderText(const ImageHeader& h, std::size_t size, StoredImageState state) {
  std::string text;
  text += Fill("Checksum      0x%02x (bytes 1-17 add up to 0x%02x): %s\n", h.Checksum(),
               h.ComputedChecksum(),
               h.ChecksumValid() ? "valid"
               : state == StoredImageState::kIncomplete
                   ? "wrong, but it is the inverted sum: an image read from an EEPROM whose write did not finish"
                   : "wrong");
  text += Fill("Magic         0x%02x 0x%02x: %s\n", h.bytes[2], h.bytes[3],
               h.MagicValid() ? "valid" : "wrong (0x12 0x34 expected)");
  text += Fill("Vendor ID     0x%04x\n", h.VendorId());
  text += Fill("Product ID    0x%04x%s\n", h.ProductId(),
               IsBulkProduct(h.ProductId()) ? " (a bulk product: its images carry no header)" : "");
  text += Fill("Version       0x%04x\n", h.Version());
  text += Fill("Length        %u bytes (header field)%s\n", h.Length(),
               h.Length() == size ? "" : Fill(", the file has %zu", size).c_str());
  return text;
}

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

ExitStatus ImageInfoCommand(const CommandContext& context, const std::string& image_path) {
  std::vector<std::uint8_t> bytes;
  ImageVerdict failure;
  if (ReadImageFile(context, image_path, &bytes, &failure) != kExitDone) return kExitRefused;
  if (bytes.size() < kImageHeaderSize) {
    context.Say(update_texts::kInvalidImage);
    context.Say(Fill(texts::kTruncatedImage, image_path.c_str(), bytes.size()));
    return kExitRefused;
  }
  ImageHeader header;
  std::copy(bytes.begin(), bytes.begin() + kImageHeaderSize, header.bytes);
  const StoredImageState state = ClassifyStoredImage(header);
  const bool valid = state == StoredImageState::kValid;
  if (context.json) {
    JsonWriter json;
    json.BeginObject()
        .String("image", image_path)
        .Number("size", static_cast<std::int64_t>(bytes.size()))
        .String("state", StateName(state))
        .Number("checksum", header.Checksum())
        .Number("computed_checksum", header.ComputedChecksum())
        .Bool("checksum_valid", header.ChecksumValid())
        .Bool("magic_valid", header.MagicValid())
        .Number("vendor_id", header.VendorId())
        .Number("product_id", header.ProductId())
        .Number("version", header.Version())
        .Number("length", header.Length())
        .EndObject();
    context.Result(json.Text());
  } else {
    context.Result(HeaderText(header, bytes.size(), state));
  }
  if (!valid) {
    context.Say(update_texts::kInvalidImage);
    return kExitRefused;
  }
  if (bytes.size() > kMaxEepromImageSize) {
    context.Say(Fill(texts::kImageTooLarge, image_path.c_str(), bytes.size()));
    return kExitRefused;
  }
  return kExitDone;
}

ExitStatus ImagePackCommand(const CommandContext& context, const PackRequest& request) {
  std::uint16_t vendor = 0;
  std::uint16_t product = 0;
  std::uint16_t version = 0;
  if (!ParseId(context, "--vendor", request.vendor_text, &vendor) ||
      !ParseId(context, "--product", request.product_text, &product) ||
      !ParseId(context, "--version", request.version_text, &version)) {
    return kExitUsage;
  }
  std::vector<std::uint8_t> body;
  std::string reason;
  switch (ReadFileBytes(request.body_path, &body, &reason)) {
    case FileRead::kMissing:
      context.Say(Fill(texts::kNoSuchFile, request.body_path.c_str()));
      return kExitUsage;
    case FileRead::kUnreadable:
      context.Say(Fill(texts::kUnreadableFile, request.body_path.c_str(), reason.c_str()));
      return kExitUsage;
    case FileRead::kOk:
      break;
  }
  std::vector<std::uint8_t> image;
  if (!PackImage(vendor, product, version, body, &image)) {
    context.Say(Fill(texts::kBodyTooLarge, request.body_path.c_str(), body.size()));
    return kExitUsage;
  }
  if (!WriteFileBytes(request.output_path, image, &reason)) {
    context.Say(Fill(texts::kCannotWrite, request.output_path.c_str(), reason.c_str()));
    return kExitUsage;
  }
  context.Result(Fill(texts::kPacked, request.output_path.c_str(), image.size(), vendor, product,
                      version) +
                 "\n");
  return kExitDone;
}

}  // namespace veltrane::cli
