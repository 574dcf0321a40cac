#include "device/eeprom_image_flash.h"

#include <algorithm>

#include "device/platform/precise_sleep.h"
#include "device/stop_flag.h"

namespace veltrane {
namespace {

constexpr std::size_t kRangePiece = 0x8000;  // keeps every call within the link's 16-bit length
constexpr std::size_t kYieldPiece = 1024;    // between two calls of the caller's hook
constexpr std::size_t kFeedbackBlockSize = 4;
constexpr std::uint32_t kImagePauseMs = 10;
constexpr std::uint32_t kReadPauseMs = 1;

int End(EepromFlashResult* result, EepromFlashStep step) {
  result->step = step;
  return step == EepromFlashStep::kDone ? 1 : 0;
}

std::uint8_t HeaderSum(const std::vector<std::uint8_t>& header) {
  std::uint8_t sum = 0;
  for (std::size_t i = 1; i < kImageHeaderSize && i < header.size(); ++i) {
    sum = static_cast<std::uint8_t>(sum + header[i]);
  }
  return sum;
}

// Makes byte 0 fail the checksum of the header bytes the EEPROM actually
// holds, computed from a fresh read (the packet that went missing may be
// any, the first included), then reads byte 0 back. True when it holds so.
bool MarkIncomplete(HidDeviceLink& link) {
  std::vector<std::uint8_t> header;
  if (!ReadEepromRange(link, 0, kImageHeaderSize, &header)) return false;
  const auto failing = static_cast<std::uint8_t>(~HeaderSum(header));
  if (header[0] != HeaderSum(header)) return true;
  if (link.WriteEeprom(kEepromDeviceAddress, kEepromSelector, 0, &failing, 1) == 0) return false;
  std::uint8_t first = 0;
  return link.ReadEeprom(kEepromDeviceAddress, kEepromSelector, 0, &first, 1) == 1 && first == failing;
}

// Reads the image back before the restore packet; on a mismatch byte 0 is
// made to fail the checksum of what is there.
int VerifyBody(HidDeviceLink& link, const std::vector<std::uint8_t>& image,
               const EepromFlashOptions& options, EepromFlashResult* result) {
  std::vector<std::uint8_t> expected = image;
  expected[0] = result->held_first;
  std::vector<std::uint8_t> back;
  if (!ReadEepromRange(link, 0, image.size(), &back, options.between_reads)) {
    return End(result, EepromFlashStep::kVerifyRead);
  }
  const Mismatch mismatch = CompareImage(expected, back);
  if (mismatch.count == 0) return 1;
  result->mismatch_first = mismatch.first;
  result->mismatch_count = mismatch.count;
  result->expected = expected[result->mismatch_first];
  result->actual = back[result->mismatch_first];
  // Best effort: the mismatch is what the caller reports either way.
  result->repaired = MarkIncomplete(link);
  return End(result, EepromFlashStep::kVerifyMismatch);
}

}  // namespace

bool ReadEepromRange(HidDeviceLink& link, std::uint32_t address, std::size_t length,
                     std::vector<std::uint8_t>* bytes, const std::function<void()>& between) {
  bytes->assign(length, 0);
  const std::size_t piece = between ? kYieldPiece : kRangePiece;
  for (std::size_t done = 0; done < length; done += piece) {
    const std::size_t n = std::min(piece, length - done);
    if (link.ReadEeprom(kEepromDeviceAddress, kEepromSelector,
                        static_cast<std::uint16_t>(address + done), bytes->data() + done,
                        static_cast<std::uint16_t>(n)) == 0) {
      bytes->clear();  // nothing of a failed read is used
      return false;
    }
    if (between) between();
  }
  return true;
}

bool WriteEepromRange(HidDeviceLink& link, std::uint32_t address,
                      const std::vector<std::uint8_t>& bytes, std::size_t* written) {
  for (std::size_t done = 0; done < bytes.size(); done += kRangePiece) {
    const std::size_t n = std::min(kRangePiece, bytes.size() - done);
    if (link.WriteEeprom(kEepromDeviceAddress, kEepromSelector,
                         static_cast<std::uint16_t>(address + done), bytes.data() + done,
                         static_cast<std::uint16_t>(n)) == 0) {
      if (written != nullptr) *written = done + static_cast<std::size_t>(link.LastFailure().bytes_done);
      return false;
    }
  }
  if (written != nullptr) *written = bytes.size();
  return true;
}

std::uint8_t HeldFirstByte(const std::vector<std::uint8_t>& image,
                           const std::vector<std::uint8_t>& old_header) {
  // The header bytes after the first packet, and after the last.
  std::vector<std::uint8_t> first(kImageHeaderSize, 0);
  std::vector<std::uint8_t> last(kImageHeaderSize, 0);
  for (std::size_t i = 0; i < kImageHeaderSize; ++i) {
    const std::uint8_t old = i < old_header.size() ? old_header[i] : 0;
    first[i] = i < kImageChunk && i < image.size() ? image[i] : old;
    last[i] = i < image.size() ? image[i] : old;
  }
  auto held = static_cast<std::uint8_t>(~image[0]);
  while (held == HeaderSum(first) || held == HeaderSum(last)) held = static_cast<std::uint8_t>(held + 1);
  return held;
}

Mismatch CompareImage(const std::vector<std::uint8_t>& expected,
                      const std::vector<std::uint8_t>& actual) {
  Mismatch mismatch;
  const std::size_t n = std::min(expected.size(), actual.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (expected[i] == actual[i]) continue;
    if (mismatch.count == 0) mismatch.first = i;
    ++mismatch.count;
  }
  if (expected.size() != actual.size() && mismatch.count == 0) mismatch.first = n;
  mismatch.count += std::max(expected.size(), actual.size()) - n;
  return mismatch;
}

bool CoversFeedbackBlock(std::size_t size) { return size > kFeedbackBlockAddress; }

std::array<std::uint8_t, 4> FeedbackBlockAfter(const std::vector<std::uint8_t>& image,
                                               const std::array<std::uint8_t, 4>& held) {
  std::array<std::uint8_t, 4> block = held;
  for (std::size_t i = 0; i < kFeedbackBlockSize; ++i) {
    if (kFeedbackBlockAddress + i < image.size()) block[i] = image[kFeedbackBlockAddress + i];
  }
  return block;
}

std::uint32_t ChangedOnlyBoundMs(std::size_t length, std::size_t read_chunk) {
  if (read_chunk == 0) read_chunk = 1;
  const auto packets = static_cast<std::uint32_t>((length + kImageChunk - 1) / kImageChunk);
  const auto reads = static_cast<std::uint32_t>((length + read_chunk - 1) / read_chunk);
  const std::uint32_t pauses = packets * kImagePauseMs + 2 * reads * kReadPauseMs;
  return pauses + pauses / 10;
}

int FlashEepromImage(HidDeviceLink& link, const std::vector<std::uint8_t>& image,
                     const EepromFlashOptions& options, EepromFlashResult* result) {
  const PacingScope pacing;  // one raised system tick for the whole flash, where one is needed
  *result = EepromFlashResult{};
  result->sent = image;
  if (image.empty() || image.size() > kMaxEepromImage || (options.changed_only && !options.verify)) {
    return End(result, EepromFlashStep::kRefused);
  }
  std::vector<std::uint8_t>& sent = result->sent;
  if (options.keep_settings && CoversFeedbackBlock(image.size())) {
    if (link.ReadEeprom(kEepromDeviceAddress, kEepromSelector, kFeedbackBlockAddress,
                        result->settings.data(), kFeedbackBlockSize) == 0) {
      return End(result, EepromFlashStep::kReadSettings);
    }
    for (std::size_t i = 0; i < kFeedbackBlockSize && kFeedbackBlockAddress + i < sent.size(); ++i) {
      sent[kFeedbackBlockAddress + i] = result->settings[i];
    }
    result->settings_kept = true;
  }
  // What the EEPROM holds where the image goes (--changed-only), or its
  // header: byte 0 must fail the checksum of every header the run can leave,
  // with verify or without (then a lost or last packet is never read back).
  std::vector<std::uint8_t> held;
  if (options.changed_only) {
    if (!ReadEepromRange(link, 0, std::max(sent.size(), kImageHeaderSize), &held)) {
      return End(result, EepromFlashStep::kReadHeld);
    }
    result->packets_planned = static_cast<std::uint32_t>(ChangedPackets(sent, held).size());
  } else {
    if (options.held_header.size() >= kImageHeaderSize) {
      held = options.held_header;
    } else if (!ReadEepromRange(link, 0, kImageHeaderSize, &held)) {
      return End(result, EepromFlashStep::kReadHeld);
    }
    result->packets_planned = static_cast<std::uint32_t>((sent.size() + kImageChunk - 1) / kImageChunk);
  }
  result->held_first = HeldFirstByte(sent, held);
  if (StopRequested(options.stop)) return End(result, EepromFlashStep::kStopped);

  const int body =
      options.changed_only
          ? link.WriteEepromImageChanges(sent, held, kEepromDeviceAddress, kEepromSelector, options.stop,
                                         result->held_first)
          : link.WriteEepromImageBody(sent, kEepromDeviceAddress, kEepromSelector, options.stop,
                                      result->held_first);
  if (body == 0) {
    result->bytes_written = static_cast<std::size_t>(link.LastFailure().bytes_done);
    result->packets_written = link.LastFailure().packets_done;
    return End(result, link.LastFailure().stage == LinkStage::kStopped ? EepromFlashStep::kStopped
                                                                        : EepromFlashStep::kBody);
  }
  result->packets_written = result->packets_planned;
  for (const std::size_t offset : options.changed_only ? ChangedPackets(sent, held)
                                                       : std::vector<std::size_t>{}) {
    result->bytes_written += std::min(kImageChunk, sent.size() - offset);
  }
  if (!options.changed_only) result->bytes_written = sent.size();

  if (options.verify && VerifyBody(link, sent, options, result) == 0) return 0;
  if (StopRequested(options.stop)) return End(result, EepromFlashStep::kStopped);
  if (link.SendRestorePacket(sent[0]) == 0) return End(result, EepromFlashStep::kRestore);
  ++result->packets_written;
  if (options.verify) {
    std::uint8_t first = 0;
    if (link.ReadEeprom(kEepromDeviceAddress, kEepromSelector, 0, &first, 1) == 0) {
      return End(result, EepromFlashStep::kLastReadBack);
    }
    if (first != sent[0]) {
      result->expected = sent[0];
      result->actual = first;
      return End(result, EepromFlashStep::kRestoreMismatch);
    }
  }
  return End(result, EepromFlashStep::kDone);
}

}  // namespace veltrane
