#include "feedback/feedback_table.h"

namespace veltrane {

std::optional<std::uint8_t> MaskForText(std::string_view text) {
  for (const FeedbackResolution& row : kFeedbackResolutions) {
    if (row.text == text) return row.mask;
  }
  return std::nullopt;
}

std::optional<std::string_view> TextForMask(std::uint8_t mask) {
  for (const FeedbackResolution& row : kFeedbackResolutions) {
    if (row.mask == mask) return row.text;
  }
  return std::nullopt;
}

}  // namespace veltrane
