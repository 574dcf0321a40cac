#include "sim/dac_model.h"

#include <algorithm>
#include <cstring>

namespace veltrane::sim {
namespace {

constexpr std::uint8_t kEepromBusDevice = 0xA0;

std::uint32_t Le32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
         (static_cast<std::uint32_t>(bytes[2]) << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
}

}  // namespace

DacModel::DacModel() : eeprom_(kEepromSize, 0xFF) {}

void DacModel::TakeInputReport(std::uint8_t* report, std::size_t length) {
  std::memset(report, 0, length);
  if (!pending_answer_.empty()) {
    std::memcpy(report, pending_answer_.data(), std::min(length, pending_answer_.size()));
    pending_answer_.clear();
  }
}

void DacModel::HandleOutput(const std::uint8_t* payload, std::size_t length,
                            std::uint16_t product_id, std::uint16_t input_report_length) {
  last_write_ = EepromSpan{};
  if (length < 2) return;
  if (bulk_receiving_) {
    // Between bulk start and end every report is a 64-byte block, unless it is the end packet.
    const bool end_packet = payload[0] == 0x0C && payload[1] == 0xFF && length >= 12 &&
                            bulk_image_.size() / 64 == bulk_blocks_expected_;
    if (!end_packet) {
      bulk_image_.insert(bulk_image_.end(), payload, payload + std::min<std::size_t>(64, length));
      return;
    }
  }
  const std::size_t packet_length = payload[0];
  const std::uint8_t command = payload[1];
  if (packet_length > length) return;  // the device ignores a packet longer than its report
  const auto address = static_cast<std::uint16_t>(packet_length >= 6 ? (payload[4] << 8) | payload[5] : 0);
  switch (command) {
    case 0x00:  // select
      if (packet_length >= 4) selected_device_ = payload[3];
      break;
    case 0x04:  // write
      if (selected_device_ == kEepromBusDevice && packet_length >= 6) {
        ++eeprom_writes_;
        if (eeprom_writes_ == drop_eeprom_write_) break;  // acknowledged, not stored
        for (std::size_t i = 6; i < packet_length; ++i) {
          eeprom_[static_cast<std::uint16_t>(address + (i - 6))] = payload[i];
        }
        last_write_ = EepromSpan{address, packet_length - 6};
      }
      break;
    case 0x05: {  // read: echo the request's first six bytes, then the data, then zeros
      pending_answer_.assign(input_report_length, 0);
      if (pending_answer_.empty() || packet_length < 6) break;
      for (std::size_t i = 0; i < 6 && i + 1 < pending_answer_.size(); ++i) {
        pending_answer_[i + 1] = payload[i];
      }
      if (selected_device_ == kEepromBusDevice) {
        for (std::size_t i = 0; i + 6 < packet_length && i + 7 < pending_answer_.size(); ++i) {
          pending_answer_[i + 7] = eeprom_[static_cast<std::uint16_t>(address + i)];
        }
      }
      break;
    }
    case 0x01:  // bulk start
      if (IsBulkProduct(product_id) && packet_length == 12) {
        bulk_blocks_expected_ = Le32(payload + 4);
        bulk_image_.clear();
        bulk_complete_ = false;
        bulk_receiving_ = true;
      }
      break;
    case 0xFF:  // bulk end
      if (bulk_receiving_ && packet_length == 12) {
        const std::uint32_t count = Le32(payload + 4);
        bulk_receiving_ = false;
        bulk_complete_ = count == bulk_blocks_expected_ && bulk_image_.size() == count * 64u;
      }
      break;
    default:
      break;
  }
}

}  // namespace veltrane::sim
