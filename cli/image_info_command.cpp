// image info IMAGE: decode an image header, no device needed ("-": stdin).
#include <algorithm>

#include "cli/cli_texts.h"
#include "cli/file_io.h"
#include "cli/image_commands.h"
#include "cli/json_report.h"
#include "cli/signing_commands.h"
#include "device/hid_device_link.h"
#include "image/image_header.h"
#include "image/image_texts.h"

namespace veltrane::cli {
namespace {

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

}  // namespace

ExitStatus ImageInfoCommand(const CommandContext& context, const std::string& image_path) {
  std::vector<std::uint8_t> bytes;
  std::string reason;
  Json& doc = context.report->Doc();
  doc["image"] = image_path;
  switch (ReadFileBytes(image_path, kMaxEepromImage, &bytes, &reason)) {
    case FileRead::kOk: break;
    case FileRead::kMissing:
      context.Say(image_texts::kFailedOpenFile);
      context.Say(Fill(texts::kNoSuchFile, image_path.c_str()));
      return kExitRefused;
    case FileRead::kUnreadable:
      context.Say(image_texts::kFailedOpenFile);
      context.Say(Fill(texts::kUnreadableFile, image_path.c_str(), reason.c_str()));
      return kExitRefused;
    case FileRead::kTooLarge:
      context.Say(image_texts::kInvalidImage);
      context.Say(Fill(texts::kFileTooLarge, image_path.c_str(), kMaxEepromImage));
      return kExitRefused;
  }
  doc["size"] = bytes.size();
  if (bytes.size() < kImageHeaderSize) {
    context.Say(image_texts::kInvalidImage);
    context.Say(Fill(texts::kTruncatedImage, image_path.c_str(), bytes.size()));
    return kExitRefused;
  }
  ImageHeader header;
  std::copy(bytes.begin(), bytes.begin() + kImageHeaderSize, header.bytes);
  const StoredImageState state = ClassifyStoredImage(header);
  doc["state"] = StateName(state, "invalid");
  doc["checksum"] = header.Checksum();
  doc["computed_checksum"] = header.ComputedChecksum();
  doc["checksum_valid"] = header.ChecksumValid();
  doc["magic_valid"] = header.MagicValid();
  doc["vendor_id"] = header.VendorId();
  doc["product_id"] = header.ProductId();
  doc["version"] = header.Version();
  doc["length"] = header.Length();
  const SignatureVerdict signature = LoadSigning(context).Judge(bytes, image_path);
  doc["signature"] = SignatureJson(signature);
  context.Result(HeaderText(header, bytes.size(), state) +
                 Fill(texts::kSignatureField, signature.Summary().c_str()));
  if (state != StoredImageState::kValid) {
    context.Say(image_texts::kInvalidImage);
    return kExitRefused;
  }
  if (signature.refused) {
    context.Say(signature.reason);
    return kExitRefused;
  }
  return kExitDone;
}

}  // namespace veltrane::cli
