// Reads a HID report descriptor far enough to tell what the link needs: the
// usage page and usage of every top-level collection and the longest input,
// output and feature report of each, counted as Windows counts them (bytes
// plus one for the report-ID byte, 0 when there is no such report).
//
// Pure code, no OS calls. The descriptor comes from the device, so every
// malformed one (truncated items, unbalanced collections or push/pop, absurd
// sizes, IDs and counts) is refused cleanly rather than half-read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <tuple>
#include <vector>

#include "device/platform/hid_platform.h"

namespace veltrane {

enum class DescriptorError {
  kNone,
  kEmpty,
  kTooLong,             // over 4096 bytes, the kernel's own limit
  kTruncatedItem,       // a short or long item runs past the end
  kPushOverflow,
  kPopUnderflow,
  kCollectionTooDeep,
  kUnbalancedCollection,
  kBadReportId,         // 0 or above 255
  kBadReportSize,       // above 256 bits, or data before any Report Size
  kReportTooLong,       // a report over 16383 bytes
  kNoCollection,        // nothing to identify the interface by
};

struct TopLevelCollection {
  std::uint16_t usage_page = 0;
  std::uint16_t usage = 0;
  std::uint16_t input_report_byte_length = 0;
  std::uint16_t output_report_byte_length = 0;
  std::uint16_t feature_report_byte_length = 0;
};

class ReportDescriptorParser {
 public:
  static constexpr std::size_t kMaxDescriptorSize = 4096;
  static constexpr std::size_t kMaxReportBytes = 16383;
  static constexpr int kMaxGlobalStackDepth = 16;
  static constexpr int kMaxCollectionDepth = 32;

  // False, with Error() and ErrorOffset() set, when the descriptor is refused.
  bool Parse(const std::uint8_t* data, std::size_t size);

  DescriptorError Error() const { return error_; }
  std::size_t ErrorOffset() const { return error_offset_; }
  const std::vector<TopLevelCollection>& Collections() const { return collections_; }

  // The capabilities of the interface: where one node carries several
  // top-level collections the first vendor-defined one (usage page
  // 0xFF00..0xFFFF) decides, else the first. False before a successful Parse.
  bool Caps(HidCaps* caps) const;

 private:
  struct Globals {
    std::uint32_t usage_page = 0;
    std::uint32_t report_size = 0;
    bool report_size_given = false;  // a Report Size item was seen (0 is a size)
    std::uint32_t report_count = 0;
    std::uint32_t report_id = 0;
  };
  // (collection index, kind: 0 input 1 output 2 feature, report ID)
  using ReportKey = std::tuple<int, int, std::uint32_t>;

  bool Fail(DescriptorError error, std::size_t offset);
  bool MainItem(std::uint8_t tag, std::size_t offset);
  bool GlobalItem(std::uint8_t tag, std::uint32_t value, std::size_t offset);
  void LocalItem(std::uint8_t tag, std::uint32_t value, std::size_t data_size);
  bool AddReportBits(int type, std::size_t offset);
  void Finish();

  DescriptorError error_ = DescriptorError::kNone;
  std::size_t error_offset_ = 0;
  bool parsed_ = false;
  std::vector<TopLevelCollection> collections_;
  std::vector<Globals> global_stack_;
  Globals globals_;
  int depth_ = 0;
  // Local state, cleared by every main item.
  bool have_usage_ = false;
  std::uint32_t usage_ = 0;
  bool usage_has_page_ = false;
  std::map<ReportKey, std::uint64_t> report_bits_;
};

}  // namespace veltrane
