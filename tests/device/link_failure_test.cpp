// What the link says about its last failure, at a few points of the exchange,
// and how discovery words a device it cannot have.
#include <gtest/gtest.h>

#include "device/device_finder.h"
#include "device/hid_device_link.h"
#include "sim/simulated_dac.h"

namespace veltrane {
namespace {

using sim::SimOptions;
using sim::SimulatedDac;

TEST(LinkFailureTest, EepromRunsNameTheStageAndThePacket) {
  const struct {
    int fail_out;
    int fail_in;
    LinkStage stage;
    std::uint32_t index;
    const char* line;
  } cases[] = {
      {1, 0, LinkStage::kSelect, 0, "select packet: set-output-report failed"},
      // 200 bytes are four answers of 58 bytes (65-byte reports): the second fails.
      {0, 2, LinkStage::kReadAnswer, 2,
       "read answer 2 of 4 (address 0x003a): get-input-report failed"},
      {3, 0, LinkStage::kReadRequest, 2,
       "read request 2 of 4 (address 0x003a): set-output-report failed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    SimOptions options;
    options.fail_output_report = c.fail_out;
    options.fail_input_report = c.fail_in;
    SimulatedDac dac(options);
    HidDeviceLink link(dac);
    ASSERT_EQ(link.FindDevice(), 1);
    EXPECT_FALSE(link.LastFailure().Failed());
    std::uint8_t bytes[200];
    EXPECT_EQ(link.ReadEeprom(0xA0, 0x00, 0, bytes, sizeof bytes), 0);
    EXPECT_EQ(link.LastFailure().stage, c.stage);
    EXPECT_EQ(link.LastFailure().index, c.index);
    EXPECT_EQ(link.LastFailure().error, HidError::kOther);
    EXPECT_EQ(link.LastFailure().Describe(), c.line);
  }
}

TEST(LinkFailureTest, FindOrExplainTellsMissingFromRefused) {
  SimulatedDac present;
  HidDeviceLink found_link(present);
  EXPECT_TRUE(FindOrExplain(found_link).Found());

  SimulatedDac gone;
  gone.Unplug();
  HidDeviceLink missing_link(gone);
  const FindResult missing = FindOrExplain(missing_link);
  EXPECT_EQ(missing.outcome, FindOutcome::kNotFound);
  EXPECT_EQ(missing_link.LastFailure().stage, LinkStage::kDiscovery);
  EXPECT_FALSE(missing.message.empty());

  SimOptions options;
  options.access_denied = true;
  SimulatedDac refusing(options);
  HidDeviceLink refused_link(refusing);
  const FindResult refused = FindOrExplain(refused_link);
  EXPECT_EQ(refused.outcome, FindOutcome::kAccessDenied);
  EXPECT_EQ(refused_link.LastFailure().stage, LinkStage::kOpening);
  EXPECT_EQ(refused_link.LastFailure().error, HidError::kAccessDenied);
  EXPECT_EQ(refused_link.LastFailure().system_text, "Permission denied");
  EXPECT_NE(refused.message.find("permission denied"), std::string::npos);
}

}  // namespace
}  // namespace veltrane
