// The two firmware download transfers: the EEPROM image download (16-byte
// write packets, first byte held inverted until a final restore packet) and
// the bulk download for product IDs 16 and 17 (64-byte interrupt writes
// between a start and an end packet).
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "device/command_packet.h"
#include "device/device_texts.h"
#include "device/hid_device_link.h"
#include "device/image_file.h"
#include "device/platform/precise_sleep.h"

namespace veltrane {
namespace {

constexpr std::uint32_t kDefaultProgressTotal = 8192;
constexpr unsigned kImagePacketPauseMs = 10;
constexpr unsigned kBulkBlockPauseMs = 1;

// Bulk start and end packets: the block count goes least significant byte first.
void BuildBulkPacket(std::uint8_t command, std::uint32_t block_count, std::uint8_t packet[12]) {
  std::memset(packet, 0, 12);
  packet[0] = 0x0C;
  packet[1] = command;
  for (int i = 0; i < 4; ++i) packet[4 + i] = static_cast<std::uint8_t>(block_count >> (8 * i));
}

std::vector<std::size_t> AllPackets(std::size_t image_size) {
  std::vector<std::size_t> offsets;
  for (std::size_t offset = 0; offset < image_size; offset += kImageChunk) offsets.push_back(offset);
  return offsets;
}

}  // namespace

std::vector<std::size_t> ChangedPackets(const std::vector<std::uint8_t>& image,
                                        const std::vector<std::uint8_t>& held) {
  std::vector<std::size_t> offsets;
  for (std::size_t offset = 0; offset < image.size(); offset += kImageChunk) {
    const std::size_t n = std::min(kImageChunk, image.size() - offset);
    // The first packet always goes: it inverts byte 0 before anything else changes.
    const bool same = offset < held.size() && n <= held.size() - offset &&
                      std::equal(image.begin() + static_cast<std::ptrdiff_t>(offset),
                                 image.begin() + static_cast<std::ptrdiff_t>(offset + n),
                                 held.begin() + static_cast<std::ptrdiff_t>(offset));
    if (offset == 0 || !same) offsets.push_back(offset);
  }
  return offsets;
}

void HidDeviceLink::ReportProgress(std::uint16_t per_mille) {
  // The platform hears every value (the simulated DAC's trace), sink or not.
  platform_.NoteProgress(per_mille);
  if (progress_sink_ != nullptr) progress_sink_->SetProgress(per_mille);
}

int HidDeviceLink::WriteEepromImageBody(const std::vector<std::uint8_t>& image,
                                        std::uint8_t device_address, std::uint8_t selector,
                                        const std::atomic<bool>* stop,
                                        std::optional<std::uint8_t> held_first) {
  return SendImageBody(image, device_address, selector, stop, nullptr, held_first) == 1 ? Succeed() : 0;
}

int HidDeviceLink::WriteEepromImageChanges(const std::vector<std::uint8_t>& image,
                                           const std::vector<std::uint8_t>& held,
                                           std::uint8_t device_address, std::uint8_t selector,
                                           const std::atomic<bool>* stop,
                                           std::optional<std::uint8_t> held_first) {
  if (held.size() < image.size()) {
    return Fail(Step{LinkStage::kBadArgument}, HidError::kNone, device_texts::kBufferTooSmall);
  }
  return SendImageBody(image, device_address, selector, stop, &held, held_first) == 1 ? Succeed() : 0;
}

int HidDeviceLink::SendImageBody(const std::vector<std::uint8_t>& image,
                                 std::uint8_t device_address, std::uint8_t selector,
                                 const std::atomic<bool>* stop,
                                 const std::vector<std::uint8_t>* held,
                                 std::optional<std::uint8_t> held_first) {
  const PacingScope pacing;  // one raised system tick for the transfer, where one is needed
  // An empty image has no first byte to restore, and a longer image than the
  // 16-bit address space would wrap round and overwrite its own start.
  if (image.empty()) {
    return Fail(Step{LinkStage::kImageRefused}, HidError::kNone, device_texts::kImageEmpty);
  }
  if (image.size() > kMaxEepromImage) {
    return Fail(Step{LinkStage::kImageRefused}, HidError::kNone, device_texts::kImageTooLarge);
  }
  const std::vector<std::size_t> offsets =
      held == nullptr ? AllPackets(image.size()) : ChangedPackets(image, *held);
  if (SendSelect(device_address, selector) == 0) return 0;

  Step step{LinkStage::kWritePacket};
  step.count = static_cast<std::uint32_t>(offsets.size());
  std::uint32_t total = kDefaultProgressTotal;
  std::uint16_t last_progress = 0;
  std::uint8_t packet[6 + kImageChunk];
  for (const std::size_t offset : offsets) {
    const std::size_t n = std::min(kImageChunk, image.size() - offset);
    std::memcpy(packet + 6, image.data() + offset, n);
    if (offset == 0) {
      packet[6] = held_first.value_or(static_cast<std::uint8_t>(~image[0]));
    } else if (offset == 16 && held == nullptr) {
      // The image length in bytes 16 and 17, high byte first, is the total
      // from the second packet on. A length of 0 keeps the default total.
      const std::uint32_t length = image[16] * 256u + (n > 1 ? image[17] : 0u);
      if (length != 0) total = length;
    }
    PutWriteHeader(packet, n, static_cast<std::uint16_t>(offset));
    ++step.index;
    step.address = static_cast<std::uint32_t>(offset);
    if (SendReport(step, packet, static_cast<std::uint16_t>(n + 6)) == 0) return 0;
    step.bytes_done += n;
    ++step.packets_done;

    // Past the end of a total smaller than the file the value stays at 1000
    // (not reported) instead of wrapping round as a 16-bit number and sending
    // the bar back. Skipping packets, the bar counts the packets that go out.
    const std::size_t done = held == nullptr ? offset + n : step.packets_done;
    const std::size_t of = held == nullptr ? total : offsets.size();
    const auto progress = static_cast<std::uint16_t>(std::min<std::size_t>(done * 1000 / of, 1000));
    if (progress != last_progress) {
      if (progress < 1000) ReportProgress(progress);
      last_progress = progress;
    }
    platform_.Sleep(kImagePacketPauseMs);
    if (stop != nullptr && stop->load()) {
      Step stopped = step;
      stopped.stage = LinkStage::kStopped;
      return Fail(stopped, HidError::kNone, device_texts::kStoppedText);
    }
  }
  return 1;
}

int HidDeviceLink::SendRestorePacket(std::uint8_t first_byte) {
  const std::uint8_t packet[7] = {0x07, kCmdWrite, 0x00, 0x00, 0x00, 0x00, first_byte};
  return SendReport(Step{LinkStage::kRestorePacket}, packet, sizeof packet) == 1 ? Succeed() : 0;
}

int HidDeviceLink::DownloadEepromImage(std::string path, std::uint8_t device_address,
                                       std::uint8_t selector) {
  const ImageFile file = ReadImageFile(path, kMaxEepromImage);
  if (!file.Ok()) return Fail(Step{LinkStage::kImageFile}, HidError::kNone, file.system_text);
  return DownloadEepromImage(file.bytes, device_address, selector);
}

int HidDeviceLink::DownloadEepromImage(const std::vector<std::uint8_t>& image,
                                       std::uint8_t device_address, std::uint8_t selector) {
  if (SendImageBody(image, device_address, selector, nullptr) == 0) return 0;
  return SendRestorePacket(image[0]);
}

int HidDeviceLink::DownloadBulkImage(std::string path) {
  const ImageFile file = ReadImageFile(path, kMaxBulkImage);
  if (!file.Ok()) return Fail(Step{LinkStage::kImageFile}, HidError::kNone, file.system_text);
  return DownloadBulkImage(file.bytes);
}

int HidDeviceLink::DownloadBulkImage(const std::vector<std::uint8_t>& image) {
  return SendBulk(image, nullptr) == 1 ? Succeed() : 0;
}

int HidDeviceLink::DownloadBulkImage(const std::vector<std::uint8_t>& image,
                                     const std::atomic<bool>* stop) {
  return SendBulk(image, stop) == 1 ? Succeed() : 0;
}

int HidDeviceLink::SendBulk(const std::vector<std::uint8_t>& image, const std::atomic<bool>* stop) {
  const PacingScope pacing;  // one raised system tick for the transfer, where one is needed
  if (image.size() > kMaxBulkImage) {
    return Fail(Step{LinkStage::kImageRefused}, HidError::kNone, device_texts::kImageTooLarge);
  }
  const std::uint64_t length = image.size();
  const auto block_count = static_cast<std::uint32_t>((length + kBulkBlock - 1) / kBulkBlock);

  std::uint8_t packet[12];
  BuildBulkPacket(kCmdBulkStart, block_count, packet);
  if (WriteReport(Step{LinkStage::kBulkStart}, packet, sizeof packet) == 0) return 0;

  Step step{LinkStage::kBulkBlock};
  step.count = block_count;
  std::uint64_t sent = 0;
  auto last_progress = static_cast<std::uint16_t>(length);
  for (std::uint32_t block = 0; block < block_count; ++block) {
    std::uint8_t data[kBulkBlock] = {};
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kBulkBlock, length - sent));
    std::memcpy(data, image.data() + sent, n);
    step.index = block + 1;
    step.bytes_done = sent;
    step.packets_done = block;
    if (WriteReport(step, data, kBulkBlock) == 0) return 0;
    // Block k reports the share carried by the blocks before it.
    const auto progress = static_cast<std::uint16_t>(sent * 1000 / length);
    if (progress != last_progress) {
      if (progress < 1000) ReportProgress(progress);
      last_progress = progress;
    }
    platform_.Sleep(kBulkBlockPauseMs);
    sent += n;
    if (stop != nullptr && stop->load() && block + 1 < block_count) {
      Step stopped = step;
      stopped.stage = LinkStage::kStopped;
      stopped.bytes_done = sent;
      stopped.packets_done = block + 1;
      return Fail(stopped, HidError::kNone, device_texts::kStoppedText);
    }
  }
  Step end{LinkStage::kBulkEnd};
  end.bytes_done = sent;
  end.packets_done = block_count;
  BuildBulkPacket(kCmdBulkEnd, block_count, packet);
  return WriteReport(end, packet, sizeof packet);
}

}  // namespace veltrane
