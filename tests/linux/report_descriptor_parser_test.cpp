#include "device/platform/linux/report_descriptor_parser.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/linux/report_descriptors.h"

namespace veltrane {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Parsed {
  bool ok;
  DescriptorError error;
  ReportDescriptorParser parser;
};

Parsed ParseBytes(const Bytes& bytes) {
  Parsed result{};
  result.ok = result.parser.Parse(bytes.data(), bytes.size());
  result.error = result.parser.Error();
  return result;
}

HidCaps CapsOf(const Bytes& bytes) {
  ReportDescriptorParser parser;
  HidCaps caps;
  EXPECT_TRUE(parser.Parse(bytes.data(), bytes.size())) << static_cast<int>(parser.Error());
  EXPECT_TRUE(parser.Caps(&caps));
  return caps;
}

// A vendor collection around `body`.
Bytes InVendorCollection(const Bytes& body) {
  Bytes bytes = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01};
  bytes.insert(bytes.end(), body.begin(), body.end());
  bytes.push_back(0xC0);
  return bytes;
}

TEST(ReportDescriptorParserTest, DacInterfaceHas65ByteReportsOnTheVendorPage) {
  const HidCaps caps = CapsOf(testing::kDacDescriptor);
  EXPECT_EQ(caps.usage_page, 0xFF00);
  EXPECT_EQ(caps.usage, 0x0001);
  EXPECT_EQ(caps.input_report_byte_length, 65);
  EXPECT_EQ(caps.output_report_byte_length, 65);
}

TEST(ReportDescriptorParserTest, StandardCollectionsCountBitsAndTheReportIdByte) {
  const HidCaps consumer = CapsOf(testing::kConsumerControlDescriptor);
  EXPECT_EQ(consumer.usage_page, 0x000C);
  EXPECT_EQ(consumer.usage, 0x0001);
  EXPECT_EQ(consumer.input_report_byte_length, 2);  // one byte of keys, one of ID
  EXPECT_EQ(consumer.output_report_byte_length, 0);  // no output report at all

  const HidCaps keyboard = CapsOf(testing::kKeyboardDescriptor);
  EXPECT_EQ(keyboard.usage_page, 0x0001);
  EXPECT_EQ(keyboard.usage, 0x0006);
  EXPECT_EQ(keyboard.input_report_byte_length, 9);
  EXPECT_EQ(keyboard.output_report_byte_length, 2);  // five LEDs and three padding bits
}

TEST(ReportDescriptorParserTest, VendorCollectionDecidesOnACompositeNode) {
  const Parsed parsed = ParseBytes(testing::kCompositeDescriptor);
  ASSERT_TRUE(parsed.ok);
  ASSERT_EQ(parsed.parser.Collections().size(), 3u);
  EXPECT_EQ(parsed.parser.Collections()[0].input_report_byte_length, 8);
  EXPECT_EQ(parsed.parser.Collections()[1].usage_page, 0x000C);
  EXPECT_EQ(parsed.parser.Collections()[1].input_report_byte_length, 3);
  HidCaps caps;
  ASSERT_TRUE(parsed.parser.Caps(&caps));
  EXPECT_EQ(caps.usage_page, 0xFF00);
  EXPECT_EQ(caps.input_report_byte_length, 33);
  EXPECT_EQ(caps.output_report_byte_length, 64);

  // Without a vendor collection the first one speaks for the node.
  Bytes standard = testing::kKeyboardDescriptor;
  standard.insert(standard.end(), testing::kConsumerControlDescriptor.begin(),
                  testing::kConsumerControlDescriptor.end());
  EXPECT_EQ(CapsOf(standard).usage, 0x0006);
}

TEST(ReportDescriptorParserTest, LongestReportOfEachIdWinsAndPushPopRestoresGlobals) {
  // Report 1 carries 10 input bytes in two items, report 2 carries 4; a
  // pushed report size of 16 bits is popped back to 8.
  const Bytes bytes = InVendorCollection({
      0x85, 0x01, 0x75, 0x08, 0x95, 0x06, 0x81, 0x02,
      0xA4, 0x75, 0x10, 0x95, 0x02, 0x81, 0x02, 0xB4,
      0x85, 0x02, 0x95, 0x04, 0x81, 0x02,
      0xA1, 0x02, 0x95, 0x03, 0x91, 0x02, 0xC0,  // nested collection adds to the same node
  });
  const HidCaps caps = CapsOf(bytes);
  EXPECT_EQ(caps.input_report_byte_length, 11);
  EXPECT_EQ(caps.output_report_byte_length, 4);
}

TEST(ReportDescriptorParserTest, FourByteItemsAreReadWhole) {
  // Usage Page and Usage as four-byte items; the 32-bit usage names its own page.
  EXPECT_EQ(CapsOf({0x07, 0x00, 0xFF, 0x00, 0x00, 0x09, 0x05, 0xA1, 0x01, 0xC0}).usage_page, 0xFF00);
  const HidCaps caps = CapsOf({0x05, 0x01, 0x0B, 0x02, 0x00, 0x01, 0xFF, 0xA1, 0x01,
                               0x75, 0x08, 0x97, 0x10, 0x00, 0x00, 0x00, 0x81, 0x02, 0xC0});
  EXPECT_EQ(caps.usage_page, 0xFF01);
  EXPECT_EQ(caps.usage, 0x0002);
  EXPECT_EQ(caps.input_report_byte_length, 17);
  // A long item is skipped whole.
  EXPECT_EQ(CapsOf({0xFE, 0x03, 0x10, 0xAA, 0xBB, 0xCC, 0x06, 0x00, 0xFF, 0xA1, 0x01, 0xC0})
                .usage_page,
            0xFF00);
}

TEST(ReportDescriptorParserTest, RefusesTruncatedItems) {
  const struct {
    Bytes bytes;
    const char* what;
  } cases[] = {
      {{0x06, 0x00}, "two-byte item cut short"},
      {{0xA1, 0x01, 0x07, 0x00, 0xFF, 0x00}, "four-byte item cut short"},
      {{0xA1, 0x01, 0xC0, 0x0B}, "four-byte item with no data"},
      {{0xFE}, "long item prefix alone"},
      {{0xFE, 0x05}, "long item without tag"},
      {{0xFE, 0x05, 0x10, 0x01, 0x02}, "long item data cut short"},
  };
  for (const auto& c : cases) {
    const Parsed parsed = ParseBytes(c.bytes);
    EXPECT_FALSE(parsed.ok) << c.what;
    EXPECT_EQ(parsed.error, DescriptorError::kTruncatedItem) << c.what;
  }
}

TEST(ReportDescriptorParserTest, RefusesBrokenStructure) {
  const struct {
    Bytes bytes;
    DescriptorError error;
    const char* what;
  } cases[] = {
      {Bytes(17, 0xA4), DescriptorError::kPushOverflow, "seventeen pushes"},
      {InVendorCollection({0xB4}), DescriptorError::kPopUnderflow, "pop without push"},
      {{0x06, 0x00, 0xFF, 0xA1, 0x01}, DescriptorError::kUnbalancedCollection, "never closed"},
      {{0xC0}, DescriptorError::kUnbalancedCollection, "closed before opened"},
      {{0x06, 0x00, 0xFF, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02},
       DescriptorError::kNoCollection, "data outside every collection"},
  };
  for (const auto& c : cases) {
    const Parsed parsed = ParseBytes(c.bytes);
    EXPECT_FALSE(parsed.ok) << c.what;
    EXPECT_EQ(parsed.error, c.error) << c.what;
  }
  Bytes deep;
  for (int i = 0; i < 33; ++i) deep.insert(deep.end(), {0xA1, 0x00});
  for (int i = 0; i < 33; ++i) deep.push_back(0xC0);
  EXPECT_EQ(ParseBytes(deep).error, DescriptorError::kCollectionTooDeep);
  Bytes deep_enough;
  for (int i = 0; i < 32; ++i) deep_enough.insert(deep_enough.end(), {0xA1, 0x00});
  for (int i = 0; i < 32; ++i) deep_enough.push_back(0xC0);
  EXPECT_TRUE(ParseBytes(deep_enough).ok);
}

TEST(ReportDescriptorParserTest, RefusesAbsurdIdsSizesAndCounts) {
  const struct {
    Bytes body;
    DescriptorError error;
    const char* what;
  } cases[] = {
      {{0x85, 0x00}, DescriptorError::kBadReportId, "report ID 0"},
      {{0x86, 0x00, 0x01}, DescriptorError::kBadReportId, "report ID 256"},
      {{0x76, 0x01, 0x01}, DescriptorError::kBadReportSize, "report size 257"},
      {{0x95, 0x01, 0x81, 0x02}, DescriptorError::kBadReportSize, "data with no report size"},
      {{0x76, 0x00, 0x01, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0x81, 0x02},
       DescriptorError::kReportTooLong, "256 bits times 2^32-1"},
      {{0x75, 0x08, 0x96, 0x00, 0x40, 0x91, 0x02}, DescriptorError::kReportTooLong,
       "16384-byte output report"},
      {{0x75, 0x08, 0x96, 0x00, 0x20, 0xB1, 0x02, 0xB1, 0x02}, DescriptorError::kReportTooLong,
       "two 8192-byte items in one feature report"},
  };
  for (const auto& c : cases) {
    const Parsed parsed = ParseBytes(InVendorCollection(c.body));
    EXPECT_FALSE(parsed.ok) << c.what;
    EXPECT_EQ(parsed.error, c.error) << c.what;
    HidCaps caps;
    EXPECT_FALSE(parsed.parser.Caps(&caps)) << c.what;
  }
  // The largest report the kernel can carry is still accepted.
  const HidCaps largest = CapsOf(InVendorCollection({0x75, 0x08, 0x96, 0xFF, 0x3F, 0x81, 0x02}));
  EXPECT_EQ(largest.input_report_byte_length, 16384);
  EXPECT_EQ(CapsOf(InVendorCollection({0x86, 0xFF, 0x00})).usage_page, 0xFF00);  // ID 255
  // Report Size 0 is a field of no bits (a constant padding field), not a fault.
  const HidCaps padded = CapsOf(InVendorCollection(
      {0x75, 0x00, 0x95, 0x01, 0x81, 0x03, 0x75, 0x08, 0x95, 0x40, 0x81, 0x02}));
  EXPECT_EQ(padded.input_report_byte_length, 65);
  EXPECT_TRUE(ParseBytes(InVendorCollection({0x75, 0x00, 0x95, 0x08, 0x81, 0x03})).ok);
}

TEST(ReportDescriptorParserTest, RefusesEmptyAndOversizedDescriptors) {
  ReportDescriptorParser parser;
  EXPECT_FALSE(parser.Parse(nullptr, 0));
  EXPECT_EQ(parser.Error(), DescriptorError::kEmpty);
  // Padding with zero-length main items up to the kernel's limit is fine; one byte more is not.
  Bytes padded = testing::kDacDescriptor;
  padded.resize(ReportDescriptorParser::kMaxDescriptorSize, 0x00);
  EXPECT_TRUE(ParseBytes(padded).ok);
  padded.push_back(0x00);
  EXPECT_EQ(ParseBytes(padded).error, DescriptorError::kTooLong);
}

TEST(ReportDescriptorParserTest, AFailedParseForgetsAnEarlierSuccess) {
  ReportDescriptorParser parser;
  ASSERT_TRUE(parser.Parse(testing::kDacDescriptor.data(), testing::kDacDescriptor.size()));
  const Bytes broken = {0x06, 0x00, 0xFF, 0xA1, 0x01};
  EXPECT_FALSE(parser.Parse(broken.data(), broken.size()));
  HidCaps caps;
  EXPECT_FALSE(parser.Caps(&caps));
  EXPECT_TRUE(parser.Collections().empty());
}

}  // namespace
}  // namespace veltrane
