#include "service/device_change.h"

#include <algorithm>
#include <memory>

#include "image/image_texts.h"
#include "service/signed_only.h"

namespace veltrane {
namespace {

bool Refuse(ChangeResult* result, Refusal refusal, std::string text = {}) {
  result->step = ChangeStep::kRefused;
  result->refusal = refusal;
  result->refusal_text = std::move(text);
  return false;
}

// Where the request may be forced past the verdict: an image that is not
// newer, and an EEPROM image for a bulk product.
bool MayForce(const ImageCheck& check) {
  return check.verdict == Verdict::kNotNewer || check.problem == ImageProblem::kEepromImageForBulk;
}

// The first 18 bytes the EEPROM holds, read once for the change.
bool ReadHeldHeader(HidDeviceLink& link, const ChangeRequest& request, ChangeResult* result) {
  if (result->held_header) return true;
  std::vector<std::uint8_t> held;
  if (!ReadEepromRange(link, 0, kImageHeaderSize, &held, request.backup.between_reads)) {
    result->step = ChangeStep::kBackupRead;
    return false;
  }
  result->held_header.emplace();
  std::copy(held.begin(), held.end(), result->held_header->begin());
  return true;
}

bool TakeBackup(HidDeviceLink& link, const ChangeRequest& request, ChangeResult* result) {
  const BackupPlan& plan = request.backup;
  std::size_t length = request.image->size();
  std::vector<std::uint8_t> held;
  if (plan.span == BackupSpan::kHeldImage && request.address == 0) {
    if (!ReadHeldHeader(link, request, result)) return false;
    length = BackupLength(plan.span, result->held_header->data(), length);
  }
  if (!ReadEepromRange(link, request.address, length, &held, plan.between_reads)) {
    result->step = ChangeStep::kBackupRead;
    return false;
  }
  result->backup_length = held.size();
  if (!plan.save(held, &result->backup_path, &result->backup_error)) {
    result->backup_path.clear();
    result->step = ChangeStep::kBackupSave;
    return false;
  }
  return true;
}

bool SendBulk(HidDeviceLink& link, const ChangeRequest& request, ChangeResult* result) {
  const std::vector<std::uint8_t>& image = *request.image;
  const bool sent = link.DownloadBulkImage(image, request.flash.stop) == 1;
  const auto blocks = static_cast<std::uint32_t>((image.size() + kBulkBlock - 1) / kBulkBlock);
  result->packets_written = sent ? blocks + 2 : link.LastFailure().packets_done;
  result->bytes_written = sent ? image.size() : static_cast<std::size_t>(link.LastFailure().bytes_done);
  result->step = sent ? ChangeStep::kDone : ChangeStep::kBulk;
  return sent;
}

// Bytes that do not reach address 0 (the feedback block, a range put back):
// no header to hold invalid, so written, then read back to be sure (unless
// the described sequence alone is asked for: the feedback block's Program).
bool WriteRawAt(HidDeviceLink& link, const ChangeRequest& request, ChangeResult* result) {
  const std::vector<std::uint8_t>& bytes = *request.image;
  EepromFlashResult& flash = result->flash;
  flash.sent = bytes;
  if (!WriteEepromRange(link, request.address, bytes)) {
    flash.step = EepromFlashStep::kBody;
    flash.packets_written = link.LastFailure().packets_done;
    flash.bytes_written = link.LastFailure().bytes_done;
  } else {
    flash.packets_written = static_cast<std::uint32_t>((bytes.size() + 15) / 16);
    flash.bytes_written = bytes.size();
    std::vector<std::uint8_t> back;
    if (!request.flash.verify) {
      flash.step = EepromFlashStep::kDone;
    } else if (!ReadEepromRange(link, request.address, bytes.size(), &back, request.flash.between_reads)) {
      flash.step = EepromFlashStep::kVerifyRead;
    } else if (const Mismatch m = CompareImage(bytes, back); m.count > 0) {
      flash.step = EepromFlashStep::kVerifyMismatch;
      flash.mismatch_first = m.first;
      flash.mismatch_count = m.count;
      flash.expected = bytes[m.first];
      flash.actual = m.first < back.size() ? back[m.first] : 0;
    } else {
      flash.step = EepromFlashStep::kDone;
    }
  }
  result->packets_written = flash.packets_written;
  result->bytes_written = flash.bytes_written;
  result->step = flash.Done() ? ChangeStep::kDone : ChangeStep::kFlash;
  return flash.Done();
}

}  // namespace

std::size_t BackupLength(BackupSpan span, const std::uint8_t* held_header, std::size_t new_length) {
  if (span == BackupSpan::kNewImage) return std::min(new_length, kMaxEepromImage);
  const std::size_t stated = held_header[16] * 256u + held_header[17];
  const std::size_t held = stated >= kImageHeaderSize ? stated : kMaxEepromImage;
  return std::min(kMaxEepromImage, std::max(held, new_length));
}

ChangeResult JudgeChange(const ChangeRequest& request) {
  ChangeResult result;
  result.version_before = request.device.revision;
  const std::vector<std::uint8_t>& image = *request.image;
  if (request.kind == ChangeKind::kRaw) {
    result.check.verdict = Verdict::kReady;
    // Raw bytes are not judged, but bytes that carry a valid header cut short
    // of its image length would put a valid-looking header over the old rest.
    ImageHeader header;
    if (image.size() >= kImageHeaderSize) std::copy(image.begin(), image.begin() + kImageHeaderSize, header.bytes);
    if (request.address == 0 && image.size() >= kImageHeaderSize && header.ChecksumValid() && header.MagicValid() &&
        image.size() < header.Length()) {
      result.check.verdict = Verdict::kInvalidImage;
      result.check.message = image_texts::kInvalidImage;
      result.check.problem = ImageProblem::kCut;
      result.check.has_header = true;
      result.check.header = header;
      Refuse(&result, Refusal::kImage);
      return result;
    }
  } else {
    result.bulk = IsBulkProduct(request.device.product_id);
    // Options the bulk receiver cannot honour are refused before the file is looked at.
    if (result.bulk && request.flash.changed_only) {
      Refuse(&result, Refusal::kBulkOption, "--changed-only");
      return result;
    }
    if (result.bulk && request.flash.keep_settings) {
      Refuse(&result, Refusal::kBulkOption, "--keep-settings");
      return result;
    }
    result.check = JudgeImage(image, request.device);
    if (result.check.has_header && !result.bulk) result.version_after = result.check.header.Version();
    if (result.check.verdict != Verdict::kReady) {
      if (!request.force || !MayForce(result.check)) {
        Refuse(&result, Refusal::kImage);
        return result;
      }
      result.forced = true;
    }
  }
  if (!result.bulk && request.flash.changed_only && !request.flash.verify) {
    Refuse(&result, Refusal::kChangedOnlyNoVerify);
    return result;
  }
  result.step = ChangeStep::kDone;
  // The signature step; a write away from address 0 is judged again in
  // ApplyChange once the held image's length is known.
  JudgeSigning(request, result.bulk, std::nullopt, &result);
  return result;
}

bool ApplyChange(HidDeviceLink& link, const ChangeRequest& request, ChangeResult* result) {
  *result = JudgeChange(request);
  if (!result->Done()) return false;
  // Signed only: a write away from address 0 needs the held image's length.
  if (request.kind == ChangeKind::kRaw && request.address != 0 &&
      JudgeSigning(request, false, std::nullopt, result) == SigningAnswer::kNeedHeldImage) {
    if (!ReadHeldHeader(link, request, result)) {
      result->failure = link.LastFailure();
      return false;
    }
    if (JudgeSigning(request, false, HeldImageLength(result->held_header->data()), result) != SigningAnswer::kGo) {
      return false;
    }
  }
  if (request.judged) request.judged(*result);
  std::unique_ptr<ScopedLinkProgress> progress;
  if (request.progress != nullptr) progress = std::make_unique<ScopedLinkProgress>(link, request.progress);

  bool done = false;
  const auto before_write = [&] {
    if (request.before_write) request.before_write(*result);
    return true;
  };
  if (result->bulk) {
    done = before_write() && SendBulk(link, request, result);
  } else if (request.backup.save && !TakeBackup(link, request, result)) {
    done = false;
  } else if (before_write() && request.kind == ChangeKind::kRaw && request.address != 0) {
    done = WriteRawAt(link, request, result);
  } else {
    // The header read for the backup also tells the flash how to hold byte 0: read once.
    EepromFlashOptions flash = request.flash;
    if (result->held_header) flash.held_header.assign(result->held_header->begin(), result->held_header->end());
    done = FlashEepromImage(link, *request.image, flash, &result->flash) == 1;
    result->packets_written = result->flash.packets_written;
    result->bytes_written = result->flash.bytes_written;
    result->step = done ? ChangeStep::kDone : ChangeStep::kFlash;
  }
  result->failure = link.LastFailure();
  return done;
}

}  // namespace veltrane
