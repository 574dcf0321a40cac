#include "cli/image_gate.h"

#include <algorithm>

#include "cli/cli_texts.h"
#include "cli/file_io.h"
#include "device/hid_device_link.h"
#include "service/device_change.h"
#include "image/image_texts.h"

namespace veltrane::cli {

ExitStatus ReadImageFile(const CommandContext& context, const std::string& path,
                         std::vector<std::uint8_t>* bytes, ImageVerdict* failure) {
  std::string reason;
  // The product is not known yet: the larger limit, the bulk images', first.
  const FileRead read = ReadFileBytes(path, kMaxBulkImage, bytes, &reason);
  if (read == FileRead::kOk) return kExitDone;
  failure->verdict = Verdict::kOpenFailed;
  failure->name = "open_failed";
  failure->message = image_texts::kFailedOpenFile;
  switch (read) {
    case FileRead::kMissing: failure->detail = Fill(texts::kNoSuchFile, path.c_str()); break;
    case FileRead::kTooLarge:
      failure->verdict = Verdict::kInvalidImage;
      failure->name = "too_large";
      failure->message = image_texts::kInvalidImage;
      failure->detail = Fill(texts::kFileTooLarge, path.c_str(), kMaxBulkImage);
      break;
    default: failure->detail = Fill(texts::kUnreadableFile, path.c_str(), reason.c_str()); break;
  }
  bytes->clear();
  SayVerdict(context, *failure);
  return kExitRefused;
}

ImageVerdict JudgeImageBytes(const std::string& path, const std::vector<std::uint8_t>& bytes,
                             const DeviceIdentity& device, const ImageSigning* signing,
                             std::optional<SignatureVerdict>* signature) {
  ChangeRequest request;
  request.image = &bytes;
  request.device = device;
  request.signing.policy = signing;
  request.signing.image_path = path;
  const ChangeResult judged = JudgeChange(request);
  if (signature != nullptr && judged.signature_judged) *signature = judged.signature;
  ImageVerdict v = VerdictOf(path, bytes, judged.check, device);
  if (judged.refusal == Refusal::kSignature || judged.refusal == Refusal::kSignedOnly) {
    v.verdict = Verdict::kInvalidImage;
    v.name = "signature";
    v.message = image_texts::kInvalidImage;
    v.detail = judged.refusal_text;
  }
  return v;
}

ImageVerdict VerdictOf(const std::string& path, const std::vector<std::uint8_t>& bytes,
                       const ImageCheck& check, const DeviceIdentity& device) {
  ImageVerdict v;
  v.verdict = check.verdict;
  v.message = check.message;
  v.has_header = check.has_header;
  v.header = check.header;
  switch (check.verdict) {
    case Verdict::kReady: v.name = "ready"; break;
    case Verdict::kOpenFailed: v.name = "open_failed"; break;
    case Verdict::kInvalidImage: v.name = "invalid"; break;
    case Verdict::kIncompatible: v.name = "incompatible"; break;
    case Verdict::kNotNewer: v.name = "not_newer"; break;
  }
  switch (check.problem) {
    case ImageProblem::kTruncated:
      v.name = "truncated";
      v.detail = Fill(texts::kTruncatedImage, path.c_str(), bytes.size());
      break;
    case ImageProblem::kTooLarge:
      // An EEPROM image past the 16-bit address space would wrap round and
      // overwrite its own start; a bulk image past its limit is no firmware.
      v.name = "too_large";
      v.detail = Fill(texts::kImageTooLarge, path.c_str(), bytes.size(), ImageLimitFor(device.product_id));
      break;
    case ImageProblem::kEmpty: v.detail = Fill(texts::kEmptyImage, path.c_str()); break;
    case ImageProblem::kCut:
      v.name = "cut";
      v.detail = Fill(texts::kCutImage, path.c_str(), bytes.size(), static_cast<unsigned>(check.header.Length()));
      break;
    case ImageProblem::kEepromImageForBulk:
      v.name = "eeprom_image";
      v.detail = Fill(texts::kEepromImageForBulk, path.c_str(), static_cast<unsigned>(device.product_id));
      break;
    case ImageProblem::kUnreadable:
    case ImageProblem::kNone: break;
  }
  return v;
}

void SayVerdict(const CommandContext& context, const ImageVerdict& verdict) {
  if (!verdict.message.empty()) context.Say(verdict.message);
  if (!verdict.detail.empty()) context.Say(verdict.detail);
}

}  // namespace veltrane::cli
