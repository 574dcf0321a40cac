// The feedback resolution table: exact texts, masks and lookups both ways.
#include <gtest/gtest.h>

#include <string>

#include "feedback/feedback_table.h"

namespace veltrane {
namespace {

TEST(FeedbackTableTest, RowIIsTwoToTheIMinusSevenWithTheILowestBitsSet) {
  const char* const texts[] = {"0.0078125", "0.015625", "0.03125", "0.0625",
                               "0.125",     "0.25",     "0.50",    "1.00"};
  ASSERT_EQ(kFeedbackResolutions.size(), 8u);
  for (std::size_t i = 0; i < kFeedbackResolutions.size(); ++i) {
    EXPECT_EQ(kFeedbackResolutions[i].text, texts[i]) << "row " << i;
    EXPECT_EQ(kFeedbackResolutions[i].mask, (1u << i) - 1) << "row " << i;
    // The number the text names is 2^(i-7).
    EXPECT_DOUBLE_EQ(std::stod(std::string(kFeedbackResolutions[i].text)),
                     1.0 / static_cast<double>(1u << (7 - i)));
  }
}

TEST(FeedbackTableTest, LooksUpBothWaysExactlyAndCaseSensitively) {
  for (const FeedbackResolution& row : kFeedbackResolutions) {
    EXPECT_EQ(MaskForText(row.text), row.mask);
    EXPECT_EQ(TextForMask(row.mask), row.text);
  }
  // Near misses name no row: the user typed something the device never stored.
  for (const char* text : {"0.5", "1", "1.0", "0.250", " 0.25", "0.25 ", "", ".25", "0,25"}) {
    EXPECT_FALSE(MaskForText(text).has_value()) << '"' << text << '"';
  }
  for (const int mask : {0x02, 0x05, 0x0E, 0x10, 0x3E, 0x80, 0xFE, 0xFF}) {
    EXPECT_FALSE(TextForMask(static_cast<std::uint8_t>(mask)).has_value()) << mask;
  }
}

}  // namespace
}  // namespace veltrane
