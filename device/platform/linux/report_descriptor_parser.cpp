#include "device/platform/linux/report_descriptor_parser.h"

#include <algorithm>

namespace veltrane {
namespace {

// Item types of a short item's prefix byte (bits 2..3).
constexpr std::uint8_t kTypeMain = 0;
constexpr std::uint8_t kTypeGlobal = 1;
constexpr std::uint8_t kTypeLocal = 2;

// Main item tags.
constexpr std::uint8_t kMainInput = 0x8;
constexpr std::uint8_t kMainOutput = 0x9;
constexpr std::uint8_t kMainCollection = 0xA;
constexpr std::uint8_t kMainFeature = 0xB;
constexpr std::uint8_t kMainEndCollection = 0xC;

// Global item tags.
constexpr std::uint8_t kGlobalUsagePage = 0x0;
constexpr std::uint8_t kGlobalReportSize = 0x7;
constexpr std::uint8_t kGlobalReportId = 0x8;
constexpr std::uint8_t kGlobalReportCount = 0x9;
constexpr std::uint8_t kGlobalPush = 0xA;
constexpr std::uint8_t kGlobalPop = 0xB;

// Local item tags.
constexpr std::uint8_t kLocalUsage = 0x0;
constexpr std::uint8_t kLocalUsageMinimum = 0x1;

constexpr std::uint8_t kLongItemPrefix = 0xFE;
constexpr std::uint32_t kMaxReportSizeBits = 256;

}  // namespace

bool ReportDescriptorParser::Fail(DescriptorError error, std::size_t offset) {
  error_ = error;
  error_offset_ = offset;
  collections_.clear();
  return false;
}

bool ReportDescriptorParser::Parse(const std::uint8_t* data, std::size_t size) {
  *this = ReportDescriptorParser{};
  if (data == nullptr || size == 0) return Fail(DescriptorError::kEmpty, 0);
  if (size > kMaxDescriptorSize) return Fail(DescriptorError::kTooLong, 0);

  std::size_t pos = 0;
  while (pos < size) {
    const std::size_t offset = pos;
    const std::uint8_t prefix = data[pos++];
    if (prefix == kLongItemPrefix) {
      // Long item: data size, tag, then the data. No long item is defined;
      // it only has to be skipped whole.
      if (size - pos < 2) return Fail(DescriptorError::kTruncatedItem, offset);
      const std::size_t data_size = data[pos];
      pos += 2;
      if (size - pos < data_size) return Fail(DescriptorError::kTruncatedItem, offset);
      pos += data_size;
      continue;
    }
    // Size code 3 means four data bytes.
    const std::size_t size_code = prefix & 0x03u;
    const std::size_t data_size = size_code == 3 ? 4 : size_code;
    if (size - pos < data_size) return Fail(DescriptorError::kTruncatedItem, offset);
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < data_size; ++i) {
      value |= static_cast<std::uint32_t>(data[pos + i]) << (8 * i);
    }
    pos += data_size;
    const std::uint8_t type = (prefix >> 2) & 0x03u;
    const std::uint8_t tag = prefix >> 4;
    switch (type) {
      case kTypeMain:
        if (!MainItem(tag, offset)) return false;
        break;
      case kTypeGlobal:
        if (!GlobalItem(tag, value, offset)) return false;
        break;
      case kTypeLocal:
        LocalItem(tag, value, data_size);
        break;
      default:
        break;  // reserved item type: skipped, as the kernel does
    }
  }
  if (depth_ != 0) return Fail(DescriptorError::kUnbalancedCollection, size);
  if (collections_.empty()) return Fail(DescriptorError::kNoCollection, size);
  Finish();
  parsed_ = true;
  return true;
}

bool ReportDescriptorParser::MainItem(std::uint8_t tag, std::size_t offset) {
  bool ok = true;
  switch (tag) {
    case kMainCollection:
      if (depth_ >= kMaxCollectionDepth) return Fail(DescriptorError::kCollectionTooDeep, offset);
      if (depth_ == 0) {
        TopLevelCollection collection;
        // A four-byte usage carries its own page in the high half.
        const std::uint32_t page = usage_has_page_ ? usage_ >> 16 : globals_.usage_page;
        collection.usage_page = static_cast<std::uint16_t>(page);
        collection.usage = have_usage_ ? static_cast<std::uint16_t>(usage_ & 0xFFFF) : 0;
        collections_.push_back(collection);
      }
      ++depth_;
      break;
    case kMainEndCollection:
      if (depth_ == 0) return Fail(DescriptorError::kUnbalancedCollection, offset);
      --depth_;
      break;
    case kMainInput:
      ok = AddReportBits(0, offset);
      break;
    case kMainOutput:
      ok = AddReportBits(1, offset);
      break;
    case kMainFeature:
      ok = AddReportBits(2, offset);
      break;
    default:
      break;
  }
  have_usage_ = false;
  usage_has_page_ = false;
  usage_ = 0;
  return ok;
}

bool ReportDescriptorParser::AddReportBits(int type, std::size_t offset) {
  // Data items outside every collection belong to no interface the link could use.
  if (depth_ == 0 || collections_.empty()) return true;
  if (!globals_.report_size_given) return Fail(DescriptorError::kBadReportSize, offset);
  const int collection = static_cast<int>(collections_.size()) - 1;
  const std::uint64_t bits =
      static_cast<std::uint64_t>(globals_.report_size) * globals_.report_count;
  std::uint64_t& total = report_bits_[ReportKey{collection, type, globals_.report_id}];
  // Both terms are below 2^41, so the sum cannot wrap before it is checked.
  total += bits;
  if ((total + 7) / 8 > kMaxReportBytes) return Fail(DescriptorError::kReportTooLong, offset);
  return true;
}

bool ReportDescriptorParser::GlobalItem(std::uint8_t tag, std::uint32_t value, std::size_t offset) {
  switch (tag) {
    case kGlobalUsagePage:
      globals_.usage_page = value;
      break;
    case kGlobalReportSize:
      // Report Size is an unsigned bit count: 0 is a field of no bits (some
      // devices ship a constant padding field of size 0, and the kernel takes it).
      if (value > kMaxReportSizeBits) return Fail(DescriptorError::kBadReportSize, offset);
      globals_.report_size = value;
      globals_.report_size_given = true;
      break;
    case kGlobalReportId:
      if (value == 0 || value > 255) return Fail(DescriptorError::kBadReportId, offset);
      globals_.report_id = value;
      break;
    case kGlobalReportCount:
      globals_.report_count = value;
      break;
    case kGlobalPush:
      if (static_cast<int>(global_stack_.size()) >= kMaxGlobalStackDepth) {
        return Fail(DescriptorError::kPushOverflow, offset);
      }
      global_stack_.push_back(globals_);
      break;
    case kGlobalPop:
      if (global_stack_.empty()) return Fail(DescriptorError::kPopUnderflow, offset);
      globals_ = global_stack_.back();
      global_stack_.pop_back();
      break;
    default:
      break;  // logical and physical ranges, units: no bearing on report lengths
  }
  return true;
}

void ReportDescriptorParser::LocalItem(std::uint8_t tag, std::uint32_t value,
                                       std::size_t data_size) {
  // The first usage (or usage minimum) names the collection that follows.
  if ((tag != kLocalUsage && tag != kLocalUsageMinimum) || have_usage_) return;
  have_usage_ = true;
  usage_ = value;
  usage_has_page_ = data_size == 4;
}

void ReportDescriptorParser::Finish() {
  for (const auto& [key, bits] : report_bits_) {
    const int index = std::get<0>(key);
    const int kind = std::get<1>(key);
    TopLevelCollection& collection = collections_[static_cast<std::size_t>(index)];
    // Windows counts the report-ID byte even where the device uses no IDs.
    const auto length = static_cast<std::uint16_t>((bits + 7) / 8 + 1);
    std::uint16_t* field = kind == 0   ? &collection.input_report_byte_length
                           : kind == 1 ? &collection.output_report_byte_length
                                       : &collection.feature_report_byte_length;
    *field = std::max(*field, length);
  }
}

bool ReportDescriptorParser::Caps(HidCaps* caps) const {
  if (!parsed_ || collections_.empty()) return false;
  const TopLevelCollection* chosen = &collections_.front();
  for (const TopLevelCollection& collection : collections_) {
    if (collection.usage_page >= 0xFF00) {
      chosen = &collection;
      break;
    }
  }
  caps->usage_page = chosen->usage_page;
  caps->usage = chosen->usage;
  caps->input_report_byte_length = chosen->input_report_byte_length;
  caps->output_report_byte_length = chosen->output_report_byte_length;
  return true;
}

}  // namespace veltrane
