// The two firmware download transfers: the EEPROM image download (16-byte
// write packets, first byte held inverted until a final restore packet) and
// the bulk download for product IDs 16 and 17 (64-byte interrupt writes
// between a start and an end packet).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "device/command_packet.h"
#include "device/hid_device_link.h"
#include "device/progress.h"

namespace veltrane {
namespace {

constexpr std::size_t kImageChunk = 16;
constexpr std::size_t kBulkBlock = 64;
constexpr std::uint32_t kDefaultProgressTotal = 8192;
constexpr unsigned kImagePacketPauseMs = 10;
constexpr unsigned kBulkBlockPauseMs = 1;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Reads a file, at most `limit` bytes of it; false when it cannot be opened or read.
bool ReadFile(const std::string& path, std::vector<std::uint8_t>* bytes,
              std::size_t limit = SIZE_MAX) {
  File file(std::fopen(path.c_str(), "rb"));
  if (!file) return false;
  bytes->clear();
  std::uint8_t buffer[4096];
  std::size_t n;
  while (bytes->size() < limit &&
         (n = std::fread(buffer, 1, std::min(sizeof buffer, limit - bytes->size()), file.get())) > 0) {
    bytes->insert(bytes->end(), buffer, buffer + n);
  }
  return std::ferror(file.get()) == 0;
}

// Bulk start and end packets: the block count goes least significant byte first.
void BuildBulkPacket(std::uint8_t command, std::uint32_t block_count, std::uint8_t packet[12]) {
  std::memset(packet, 0, 12);
  packet[0] = 0x0C;
  packet[1] = command;
  for (int i = 0; i < 4; ++i) packet[4 + i] = static_cast<std::uint8_t>(block_count >> (8 * i));
}

}  // namespace

void HidDeviceLink::ReportProgress(std::uint16_t per_mille) {
  ProgressSink* sink = InstalledProgressSink();
  if (sink == nullptr) return;
  platform_.NoteProgress(per_mille);
  sink->SetProgress(per_mille);
}

int HidDeviceLink::WriteEepromImageBody(const std::vector<std::uint8_t>& image,
                                        std::uint8_t device_address, std::uint8_t selector,
                                        const std::atomic<bool>* stop) {
  // An empty image has no first byte to restore, and a longer image than the
  // 16-bit address space would wrap round and overwrite its own start.
  if (image.empty() || image.size() > kMaxEepromImage) return 0;
  if (SendSelect(device_address, selector) == 0) return 0;

  std::uint32_t total = kDefaultProgressTotal;
  std::uint16_t last_progress = 0;
  std::uint8_t packet[6 + kImageChunk];
  for (std::size_t offset = 0; offset < image.size(); offset += kImageChunk) {
    const std::size_t n = std::min(kImageChunk, image.size() - offset);
    std::memcpy(packet + 6, image.data() + offset, n);
    if (offset == 0) {
      packet[6] = static_cast<std::uint8_t>(~image[0]);
    } else if (offset == 16) {
      // The image length in bytes 16 and 17, high byte first, is the total
      // from the second packet on. A length of 0 keeps the default total.
      const std::uint32_t length = image[16] * 256u + (n > 1 ? image[17] : 0u);
      if (length != 0) total = length;
    }
    PutWriteHeader(packet, n, static_cast<std::uint16_t>(offset));
    if (SendOutputReport(packet, static_cast<std::uint16_t>(n + 6)) == 0) return 0;

    // Past the end of a total smaller than the file the value stays at 1000
    // (not reported) instead of wrapping round as a 16-bit number and sending
    // the bar back.
    const auto progress =
        static_cast<std::uint16_t>(std::min<std::size_t>((offset + n) * 1000 / total, 1000));
    if (progress != last_progress) {
      if (progress < 1000) ReportProgress(progress);
      last_progress = progress;
    }
    platform_.Sleep(kImagePacketPauseMs);
    if (stop != nullptr && stop->load()) return 0;
  }
  return 1;
}

int HidDeviceLink::SendRestorePacket(std::uint8_t first_byte) {
  const std::uint8_t packet[7] = {0x07, kCmdWrite, 0x00, 0x00, 0x00, 0x00, first_byte};
  return SendOutputReport(packet, sizeof packet);
}

int HidDeviceLink::DownloadEepromImage(std::string path, std::uint8_t device_address,
                                       std::uint8_t selector) {
  // One byte past the address space is enough to refuse an image that is too long.
  std::vector<std::uint8_t> image;
  if (!ReadFile(path, &image, kMaxEepromImage + 1)) return 0;
  if (WriteEepromImageBody(image, device_address, selector) == 0) return 0;
  return SendRestorePacket(image[0]);
}

int HidDeviceLink::DownloadBulkImage(std::string path) {
  std::vector<std::uint8_t> image;
  if (!ReadFile(path, &image, kMaxBulkImage + 1) || image.size() > kMaxBulkImage) return 0;
  const std::uint64_t length = image.size();
  const auto block_count = static_cast<std::uint32_t>((length + kBulkBlock - 1) / kBulkBlock);

  std::uint8_t packet[12];
  BuildBulkPacket(kCmdBulkStart, block_count, packet);
  if (WriteOutputReport(packet, sizeof packet) == 0) return 0;

  std::uint64_t sent = 0;
  auto last_progress = static_cast<std::uint16_t>(length);
  for (std::uint32_t block = 0; block < block_count; ++block) {
    std::uint8_t data[kBulkBlock] = {};
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kBulkBlock, length - sent));
    std::memcpy(data, image.data() + sent, n);
    if (WriteOutputReport(data, kBulkBlock) == 0) return 0;
    // Block k reports the share carried by the blocks before it.
    const auto progress = static_cast<std::uint16_t>(sent * 1000 / length);
    if (progress != last_progress) {
      if (progress < 1000) ReportProgress(progress);
      last_progress = progress;
    }
    platform_.Sleep(kBulkBlockPauseMs);
    sent += n;
  }
  BuildBulkPacket(kCmdBulkEnd, block_count, packet);
  return WriteOutputReport(packet, sizeof packet) == 0 ? 0 : 1;
}

}  // namespace veltrane
