// The DAC itself, as its firmware answers reports: select, write, read, bulk
// start, bulk blocks and bulk end, with a 64 KiB EEPROM behind bus device
// 0xA0 and, for products 16 and 17, a bulk-image receiver.
//
// It knows nothing of handles, traces or faults of the transport: the
// simulated DAC platform and the uhid test device both feed it the payload
// of every output report and take its pending answer as the next input report.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace veltrane::sim {

inline constexpr std::size_t kEepromSize = 65536;

class DacModel {
 public:
  DacModel();

  // One output report's payload (the report-ID byte already taken off), as
  // received by a DAC of `product_id` whose input reports are
  // `input_report_length` bytes long (report-ID byte included).
  void HandleOutput(const std::uint8_t* payload, std::size_t length, std::uint16_t product_id,
                    std::uint16_t input_report_length);
  // Fills `report` (report-ID byte included) with the answer a read left
  // pending, zeros beyond it, and forgets the answer.
  void TakeInputReport(std::uint8_t* report, std::size_t length);
  // True while a read's answer waits to be taken.
  bool AnswerPending() const { return !pending_answer_.empty(); }

  std::vector<std::uint8_t>& Eeprom() { return eeprom_; }
  const std::vector<std::uint8_t>& Eeprom() const { return eeprom_; }
  const std::vector<std::uint8_t>& BulkImage() const { return bulk_image_; }
  bool BulkComplete() const { return bulk_complete_; }
  // The K-th EEPROM write packet (counting from 1) is acknowledged but not stored; 0: none.
  void SetDropEepromWrite(int k) { drop_eeprom_write_ = k; }

  // Where the last output report stored EEPROM bytes: `count` bytes from
  // `address`, going on at 0 past the last address; count 0 when it stored none.
  struct EepromSpan {
    std::uint16_t address = 0;
    std::size_t count = 0;
  };
  const EepromSpan& LastEepromWrite() const { return last_write_; }

  static bool IsBulkProduct(std::uint16_t product_id) {
    return product_id == 16 || product_id == 17;
  }

 private:
  std::vector<std::uint8_t> eeprom_;
  std::uint8_t selected_device_ = 0;
  std::vector<std::uint8_t> pending_answer_;
  std::uint32_t bulk_blocks_expected_ = 0;
  bool bulk_receiving_ = false;
  bool bulk_complete_ = false;
  std::vector<std::uint8_t> bulk_image_;
  int eeprom_writes_ = 0;
  int drop_eeprom_write_ = 0;
  EepromSpan last_write_;
};

}  // namespace veltrane::sim
