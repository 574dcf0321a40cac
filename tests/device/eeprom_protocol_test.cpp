// The EEPROM access protocol, checked on the simulated DAC's trace.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <numeric>

#include "device/hid_device_link.h"
#include "sim/simulated_dac.h"
#include "tests/support/trace_lines.h"

namespace veltrane {
namespace {

using sim::SimOptions;
using sim::SimulatedDac;
using testing::In;
using testing::LinesOf;
using testing::Out;

const std::vector<std::uint8_t> kSelect = {0x04, 0x00, 0x00, 0xA0};

std::vector<std::uint8_t> Pattern(std::size_t n, unsigned seed) {
  std::vector<std::uint8_t> bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i * 31 + seed);
  return bytes;
}

SimOptions WithReports(std::uint16_t in, std::uint16_t out) {
  SimOptions options;
  options.input_report_length = in;
  options.output_report_length = out;
  return options;
}

TEST(EepromProtocolTest, RoundTripsRunsOfEveryLengthAtEveryReportSize) {
  // Reports longer than 101 bytes still carry 94 data bytes: the packet buffer's limit.
  for (const std::uint16_t report : {11, 65, 101, 256}) {
    const int c = std::min(report - 7, 94);
    for (const int length : {0, 1, c, c + 1, 5000}) {
      SimulatedDac dac(WithReports(report == 256 ? 300 : report, report));
      HidDeviceLink link(dac);
      ASSERT_EQ(link.FindDevice(), 1);
      const auto data = Pattern(static_cast<std::size_t>(length), report);
      const std::uint16_t address = 0x2000;
      ASSERT_EQ(link.WriteEeprom(0xA0, 0x00, address, data.data(),
                                 static_cast<std::uint16_t>(length)), 1);
      EXPECT_TRUE(std::equal(data.begin(), data.end(), dac.Eeprom().begin() + address));
      const auto packets = (length + c - 1) / c;
      EXPECT_EQ(LinesOf(dac.Trace(), "out").size(), static_cast<std::size_t>(1 + packets))
          << "report " << report << " length " << length;

      std::vector<std::uint8_t> back(static_cast<std::size_t>(length) + 1, 0xEE);
      ASSERT_EQ(link.ReadEeprom(0xA0, 0x00, address, back.data(),
                                static_cast<std::uint16_t>(length)), 1);
      EXPECT_TRUE(std::equal(data.begin(), data.end(), back.begin()));
      EXPECT_EQ(back[static_cast<std::size_t>(length)], 0xEE);  // nothing written past the end
    }
  }
}

TEST(EepromProtocolTest, SplitsAtTheChunkBoundary) {
  SimulatedDac dac;  // 65-byte reports: 58 data bytes a packet
  HidDeviceLink link(dac);
  ASSERT_EQ(link.FindDevice(), 1);
  const auto data = Pattern(59, 1);
  ASSERT_EQ(link.WriteEeprom(0xA0, 0x00, 0x0100, data.data(), 59), 1);
  std::vector<std::uint8_t> first = {64, 0x04, 0x00, 0x00, 0x01, 0x00};
  first.insert(first.end(), data.begin(), data.begin() + 58);
  const std::vector<std::uint8_t> second = {7, 0x04, 0x00, 0x00, 0x01, 0x3A, data[58]};
  EXPECT_EQ(dac.Trace(), (std::vector<std::string>{Out(kSelect), Out(first), "sleep 1",
                                                   Out(second), "sleep 1"}));
}

TEST(EepromProtocolTest, ZeroLengthSendsOnlyTheSelectPacket) {
  SimulatedDac dac;
  HidDeviceLink link(dac);
  ASSERT_EQ(link.FindDevice(), 1);
  std::uint8_t byte = 0;
  EXPECT_EQ(link.WriteEeprom(0xA0, 0x00, 0, &byte, 0), 1);
  EXPECT_EQ(link.ReadEeprom(0xA0, 0x00, 0, &byte, 0), 1);
  EXPECT_EQ(dac.Trace(), (std::vector<std::string>{Out(kSelect), Out(kSelect)}));
}

TEST(EepromProtocolTest, NothingIsSentOnAClosedLink) {
  SimulatedDac dac;
  HidDeviceLink link(dac);
  const auto data = Pattern(4, 0);
  std::uint8_t back[4];
  EXPECT_EQ(link.WriteEeprom(0xA0, 0x00, 0, data.data(), 4), 0);
  EXPECT_EQ(link.ReadEeprom(0xA0, 0x00, 0, back, 4), 0);
  EXPECT_TRUE(dac.Trace().empty());
}

TEST(EepromProtocolTest, ThirdPacketFailingLeavesTheFirstTwoWritten) {
  SimOptions options;
  options.fail_output_report = 4;  // select, two write packets, then the failure
  SimulatedDac dac(options);
  HidDeviceLink link(dac);
  ASSERT_EQ(link.FindDevice(), 1);
  const auto before = dac.Eeprom();
  const auto data = Pattern(58 * 4, 9);
  EXPECT_EQ(link.WriteEeprom(0xA0, 0x00, 0x3000, data.data(), 58 * 4), 0);
  EXPECT_TRUE(std::equal(data.begin(), data.begin() + 116, dac.Eeprom().begin() + 0x3000));
  EXPECT_TRUE(std::equal(before.begin() + 0x3000 + 116, before.begin() + 0x3000 + 232,
                         dac.Eeprom().begin() + 0x3000 + 116));
  EXPECT_EQ(LinesOf(dac.Trace(), "out").size(), 3u);
  EXPECT_EQ(LinesOf(dac.Trace(), "out-failed").size(), 1u);
  EXPECT_FALSE(link.IsFound());
}

TEST(EepromProtocolTest, FeedbackWriteIsOneSelectAndOneTenBytePacket) {
  SimulatedDac dac;
  HidDeviceLink link(dac);
  ASSERT_EQ(link.FindDevice(), 1);
  ASSERT_EQ(link.WriteFeedbackSettings(0xA0, 0x00, 0x1F, 0x3F, 0x7F), 1);
  EXPECT_EQ(dac.Trace(),
            (std::vector<std::string>{
                Out(kSelect),
                Out({0x0A, 0x04, 0x00, 0x00, 0x17, 0x12, 0x00, 0x1F, 0x3F, 0x7F}),
                "sleep 1",
            }));
  EXPECT_EQ(dac.Eeprom()[0x1712], 0x00);
  EXPECT_EQ(dac.Eeprom()[0x1713], 0x1F);
  EXPECT_EQ(dac.Eeprom()[0x1714], 0x3F);
  EXPECT_EQ(dac.Eeprom()[0x1715], 0x7F);
}

TEST(EepromProtocolTest, FeedbackReadAsksForFourBytesAndReturnsTheBlock) {
  SimulatedDac dac;
  HidDeviceLink link(dac);
  ASSERT_EQ(link.FindDevice(), 1);
  dac.Eeprom()[0x1712] = 0x00;
  dac.Eeprom()[0x1713] = 0x07;
  dac.Eeprom()[0x1714] = 0x0F;
  dac.Eeprom()[0x1715] = 0x00;
  std::uint8_t block[100] = {};
  ASSERT_EQ(link.ReadFeedbackSettings(0xA0, 0x00, block, 4), 1);
  EXPECT_EQ(block[1], 0x07);
  EXPECT_EQ(block[2], 0x0F);
  EXPECT_EQ(block[3], 0x00);
  const std::vector<std::uint8_t> request = {0x0A, 0x05, 0x00, 0x00, 0x17, 0x12};
  EXPECT_EQ(dac.Trace(),
            (std::vector<std::string>{
                Out(kSelect), Out(request),
                In({0x0A, 0x05, 0x00, 0x00, 0x17, 0x12, 0x00, 0x07, 0x0F, 0x00}), "sleep 1"}));
}

TEST(EepromProtocolTest, FeedbackReadIntoTooShortADestinationFailsAfterReading) {
  SimulatedDac dac;
  HidDeviceLink link(dac);
  ASSERT_EQ(link.FindDevice(), 1);
  std::uint8_t block[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  EXPECT_EQ(link.ReadFeedbackSettings(0xA0, 0x00, block, 3), 0);
  EXPECT_EQ(block[0], 0xEE);
  EXPECT_EQ(LinesOf(dac.Trace(), "in").size(), 1u);
}

TEST(EepromProtocolTest, LaterReadRequestsCarryThePreviousAnswerAsFiller) {
  SimOptions options = WithReports(11, 11);  // 4 data bytes a read
  SimulatedDac dac(options);
  HidDeviceLink link(dac);
  ASSERT_EQ(link.FindDevice(), 1);
  const std::vector<std::uint8_t> data = {1, 2, 3, 4, 5, 6};
  std::copy(data.begin(), data.end(), dac.Eeprom().begin() + 0x10);
  std::uint8_t back[6];
  ASSERT_EQ(link.ReadEeprom(0xA0, 0x00, 0x10, back, 6), 1);
  const auto outs = LinesOf(dac.Trace(), "out");
  ASSERT_EQ(outs.size(), 3u);
  EXPECT_EQ(outs[1], Out({0x0A, 0x05, 0x00, 0x00, 0x00, 0x10, 0, 0, 0, 0}, 11));
  // Second request: 2 bytes asked; bytes 6 and 7 still hold the first answer's data.
  EXPECT_EQ(outs[2], Out({0x08, 0x05, 0x00, 0x00, 0x00, 0x14, 1, 2}, 11));
  EXPECT_EQ(std::vector<std::uint8_t>(back, back + 6), data);
}

TEST(EepromProtocolTest, ReadLongerThanAnOutputReportCanCarryIsRefused) {
  SimulatedDac dac(WithReports(65, 23));
  HidDeviceLink link(dac);
  ASSERT_EQ(link.FindDevice(), 1);
  std::vector<std::uint8_t> back(58);
  EXPECT_EQ(link.ReadEeprom(0xA0, 0x00, 0, back.data(), 58), 0);
  EXPECT_EQ(LinesOf(dac.Trace(), "out").size(), 1u);  // the select packet only
}

TEST(EepromProtocolTest, ReportsOfSevenBytesOrLessCarryNoData) {
  SimulatedDac dac(WithReports(7, 7));
  HidDeviceLink link(dac);
  ASSERT_EQ(link.FindDevice(), 1);
  std::uint8_t byte = 0x42;
  EXPECT_EQ(link.WriteEeprom(0xA0, 0x00, 0, &byte, 1), 0);
  EXPECT_EQ(link.ReadEeprom(0xA0, 0x00, 0, &byte, 1), 0);
  EXPECT_TRUE(dac.Trace().empty());
  EXPECT_EQ(link.WriteEeprom(0xA0, 0x00, 0, &byte, 0), 1);
}

TEST(EepromProtocolTest, PausesOneMillisecondPerPacketAndNoneAfterSelect) {
  SimulatedDac dac;
  HidDeviceLink link(dac);
  ASSERT_EQ(link.FindDevice(), 1);
  const auto data = Pattern(5000, 3);
  ASSERT_EQ(link.WriteEeprom(0xA0, 0x00, 0, data.data(), 5000), 1);
  EXPECT_EQ(dac.VirtualMilliseconds(), 87u);  // ceil(5000 / 58) packets
  std::vector<std::uint8_t> back(5000);
  ASSERT_EQ(link.ReadEeprom(0xA0, 0x00, 0, back.data(), 5000), 1);
  EXPECT_EQ(dac.VirtualMilliseconds(), 174u);
  EXPECT_EQ(dac.Trace()[1].rfind("out", 0), 0u);  // straight after the select: a packet, no pause
}

// A DAC whose second input report is bent by `bend` (report-ID byte at 0),
// behind a platform that may hold an old report until it is discarded.
class BentAnswerDac : public SimulatedDac {
 public:
  using SimulatedDac::SimulatedDac;
  bool GetInputReport(HidHandle handle, std::uint8_t* report, std::size_t length) override {
    if (!queued.empty()) {
      std::copy(queued.begin(), queued.end(), report);
      queued.clear();
      return true;
    }
    const bool ok = SimulatedDac::GetInputReport(handle, report, length);
    if (ok && ++answers == 2 && bend) bend(report);
    return ok;
  }
  void DiscardInputReports(HidHandle /*handle*/) override { queued.clear(); }

  std::function<void(std::uint8_t*)> bend;
  std::vector<std::uint8_t> queued;
  int answers = 0;
};

// The second read (the feedback block at 0x1712) takes only its own answer,
// and hands nothing of another on.
TEST(EepromProtocolTest, EveryAnswerIsCheckedAgainstItsRequest) {
  struct Case {
    const char* name;
    std::function<void(std::uint8_t*)> bend;
    int stale;          // the sim's stale fault at this input report
    bool old_in_queue;  // an old answer to the same request waits in the platform's queue
  };
  const Case taken[] = {{"right", nullptr, 0, false}, {"old answer in the queue", nullptr, 0, true}};
  const Case refused[] = {
      {"other command", [](std::uint8_t* r) { r[2] = kCmdWrite; }, 0, false},
      {"other address", [](std::uint8_t* r) { r[6] ^= 0x01; }, 0, false},
      {"short", [](std::uint8_t* r) { r[1] = 9; }, 0, false},
      {"empty", [](std::uint8_t* r) { std::fill(r, r + 65, 0); }, 0, false},
      {"stale", nullptr, 2, false},
  };
  auto read = [](const Case& c, BentAnswerDac& dac, HidDeviceLink& link, std::uint8_t* block) {
    dac.bend = c.bend;
    EXPECT_EQ(link.FindDevice(), 1);
    std::uint8_t first[4];
    EXPECT_EQ(link.ReadEeprom(0xA0, 0x00, 0x0000, first, 4), 1);
    if (c.old_in_queue) dac.queued = {0x00, 0x0A, kCmdRead, 0x00, 0x00, 0x17, 0x12, 1, 2, 3, 4};
    return link.ReadFeedbackSettings(0xA0, 0x00, block, 4);
  };
  for (const Case& c : taken) {
    SCOPED_TRACE(c.name);
    BentAnswerDac dac;
    HidDeviceLink link(dac);
    std::uint8_t block[4] = {};
    EXPECT_EQ(read(c, dac, link, block), 1);
    EXPECT_TRUE(std::equal(block, block + 4, dac.Eeprom().begin() + 0x1712));
  }
  for (const Case& c : refused) {
    SCOPED_TRACE(c.name);
    SimOptions options;
    options.stale_input_report = c.stale;
    BentAnswerDac dac(options);
    HidDeviceLink link(dac);
    std::uint8_t block[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(read(c, dac, link, block), 0);
    EXPECT_EQ(link.LastFailure().stage, LinkStage::kOtherAnswer);
    EXPECT_EQ(link.LastFailure().Describe(),
              "read answer 1 of 1 (address 0x1712): the DAC answered another request");
    EXPECT_EQ(std::count(block, block + 4, 0xEE), 4);
  }
}

}  // namespace
}  // namespace veltrane
