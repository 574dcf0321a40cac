#include "service/signed_only.h"

#include <cstdio>
#include <span>

#include "device/hid_device_link.h"
#include "service/signed_image_store.h"
#include "service/signing_texts.h"

namespace veltrane {
namespace {

namespace texts = signing_texts;

constexpr std::size_t kFeedbackBlockEnd = kFeedbackBlockAddress + 4;

std::string Hex(std::size_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%04zX", value);
  return text;
}

SigningAnswer Refuse(ChangeResult* result, Refusal refusal, std::string text) {
  result->step = ChangeStep::kRefused;
  result->refusal = refusal;
  result->refusal_text = std::move(text);
  return SigningAnswer::kRefuse;
}

// Bytes put back from address 0 that carry no signature of their own: a
// signature kept when this program flashed the image they restore.
bool SignedByStore(const ImageSigning& signing, const ChangeRequest& request, SignatureVerdict* verdict) {
  const SignedImageStore store(request.signing.backup_folder);
  for (const SignedImageStore::Entry& entry : store.ImagesRestoredBy(*request.image)) {
    SignatureVerdict v = signing.JudgeText(entry.image, entry.signature_text, entry.signature_path);
    if (v.state == SignatureState::kGood) {
      v.signature_text.clear();  // kept already, and over the kept image, not these bytes
      *verdict = std::move(v);
      return true;
    }
  }
  return false;
}

}  // namespace

std::size_t HeldImageLength(const std::uint8_t* header) { return BackupLength(BackupSpan::kHeldImage, header, 0); }

SigningAnswer JudgeSigning(const ChangeRequest& request, bool bulk, std::optional<std::size_t> held_length,
                           ChangeResult* result) {
  const std::vector<std::uint8_t>& bytes = *request.image;
  const bool raw = request.kind == ChangeKind::kRaw && !bulk;
  const std::size_t address = raw ? request.address : 0;
  // The DAC's settings are not firmware.
  if (raw && address >= kFeedbackBlockAddress && address + bytes.size() <= kFeedbackBlockEnd) {
    return SigningAnswer::kGo;
  }
  std::optional<ImageSigning> own;
  const ImageSigning* signing = request.signing.policy;
  if (signing == nullptr) signing = &own.emplace(ImageSigning::Load(SystemSigningPlaces(), {}));
  const SigningPolicy& policy = signing->Policy();

  if (!raw) {
    // An image: its signature is judged, required or not.
    result->signature = signing->Judge(bytes, request.signing.image_path);
    result->signature_judged = true;
    if (!result->signature.refused) return SigningAnswer::kGo;
    const bool missing = result->signature.state == SignatureState::kUnsigned;
    return Refuse(result, missing ? Refusal::kSignedOnly : Refusal::kSignature, result->signature.reason);
  }
  // Raw bytes (a backup put back, `eeprom write`) are judged only where signatures are required.
  if (!policy.require_signed) return SigningAnswer::kGo;
  if (address != 0) {
    if (!held_length) return SigningAnswer::kNeedHeldImage;
    if (address >= *held_length) return SigningAnswer::kGo;  // wholly past the image the DAC holds
    return Refuse(result, Refusal::kSignedOnly,
                  texts::FillIn(texts::kPartialImageWrite,
                                {Hex(address), Hex(*held_length - 1), policy.required_by}));
  }
  result->signature = signing->Judge(bytes, request.signing.image_path);
  result->signature_judged = true;
  if (result->signature.state == SignatureState::kGood) return SigningAnswer::kGo;
  if (result->signature.state == SignatureState::kUnsigned && SignedByStore(*signing, request, &result->signature)) {
    return SigningAnswer::kGo;
  }
  return Refuse(result, Refusal::kSignedOnly,
                result->signature.state == SignatureState::kUnsigned
                    ? texts::FillIn(texts::kRawUnsigned, {policy.required_by})
                    : result->signature.reason);
}

}  // namespace veltrane
