// Discovery, handles and report framing of the HID device link.
#include "device/hid_device_link.h"

#include <gtest/gtest.h>

#include "sim/simulated_dac.h"
#include "tests/support/trace_lines.h"

namespace veltrane {
namespace {

using sim::SimOptions;
using sim::SimulatedDac;
using testing::LinesOf;
using testing::Out;

TEST(HidDeviceLinkTest, RefusesEverySendAndFailsReadsBeforeDiscovery) {
  SimulatedDac dac;
  HidDeviceLink link(dac);
  const std::uint8_t packet[4] = {0x04, 0x00, 0x00, 0xA0};
  EXPECT_EQ(link.SendOutputReport(packet, 4), 0);
  EXPECT_EQ(link.SendOutputReport(packet, 0), 0);
  EXPECT_EQ(link.WriteOutputReport(packet, 4), 0);
  std::uint8_t answer[8];
  // The read handle is null, not invalid: the platform call is made and fails.
  EXPECT_EQ(link.ReadInputReport(answer, 4), 0);
  EXPECT_FALSE(link.IsFound());
  EXPECT_EQ(link.ReadHandle(), kNullHandle);
  EXPECT_EQ(link.WriteHandle(), kNullHandle);
  EXPECT_TRUE(LinesOf(dac.Trace(), "out").empty());
  EXPECT_TRUE(LinesOf(dac.Trace(), "write").empty());
}

TEST(HidDeviceLinkTest, FindsTheVendorInterfaceBehindAStandardOne) {
  SimulatedDac dac;
  HidDeviceLink link(dac);
  ASSERT_EQ(link.FindDevice(), 1);
  EXPECT_EQ(link.DevicePath(), dac.VendorInterfacePath());
  EXPECT_EQ(link.Capabilities().usage_page, 0xFF00);
  EXPECT_TRUE(IsOpenHandle(link.QueryHandle()));
  EXPECT_TRUE(IsOpenHandle(link.ReadHandle()));
  EXPECT_TRUE(IsOpenHandle(link.WriteHandle()));
  // The standard interface's query handle was closed again: only ours stay.
  EXPECT_EQ(dac.OpenHandleCount(), 3);
  std::uint16_t vid = 0, pid = 0;
  EXPECT_TRUE(link.GetDeviceIds(&vid, &pid));
  EXPECT_EQ(vid, 0x3917);
  EXPECT_EQ(pid, 4);
}

TEST(HidDeviceLinkTest, PassesOverAnotherVendorAndClosesItsQueryHandle) {
  SimOptions options;
  options.foreign_device_first = true;
  SimulatedDac dac(options);
  HidDeviceLink link(dac);
  ASSERT_EQ(link.FindDevice(), 1);
  EXPECT_EQ(link.DevicePath(), dac.VendorInterfacePath());
  EXPECT_EQ(dac.OpenHandleCount(), 3);
}

TEST(HidDeviceLinkTest, FindsNothingWithOnlyAnotherVendorOrWithNoDevice) {
  SimOptions options;
  options.foreign_device_first = true;
  SimulatedDac dac(options);
  dac.Unplug();
  HidDeviceLink link(dac);
  EXPECT_EQ(link.FindDevice(), 0);
  EXPECT_EQ(dac.OpenHandleCount(), 0);
  std::uint16_t vid = 0, pid = 0xFFFF;
  link.GetDeviceIds(&vid, &pid);
  EXPECT_EQ(pid, 0);  // no candidate passed the vendor test
}

TEST(HidDeviceLinkTest, OneOpenHandleIsEnoughAndTheOtherDirectionFails) {
  {
    SimOptions options;
    options.open_limit = sim::OpenLimit::kReadOnly;
    SimulatedDac dac(options);
    HidDeviceLink link(dac);
    ASSERT_EQ(link.FindDevice(), 1);
    EXPECT_EQ(link.WriteHandle(), kInvalidHandle);
    EXPECT_TRUE(IsOpenHandle(link.ReadHandle()));
    const std::uint8_t packet[4] = {0x04, 0x00, 0x00, 0xA0};
    EXPECT_EQ(link.SendOutputReport(packet, 4), 0);
    EXPECT_TRUE(link.IsFound());  // a refused send leaves the link as it was
  }
  {
    SimOptions options;
    options.open_limit = sim::OpenLimit::kWriteOnly;
    SimulatedDac dac(options);
    HidDeviceLink link(dac);
    ASSERT_EQ(link.FindDevice(), 1);
    EXPECT_EQ(link.ReadHandle(), kInvalidHandle);
    std::uint8_t answer[8];
    EXPECT_EQ(link.ReadInputReport(answer, 4), 0);
    EXPECT_TRUE(LinesOf(dac.Trace(), "in").empty());
  }
}

TEST(HidDeviceLinkTest, BothHandlesRefusedIsNotFoundAndTellsAccessDenied) {
  SimOptions options;
  options.access_denied = true;
  SimulatedDac dac(options);
  HidDeviceLink link(dac);
  EXPECT_EQ(link.FindDevice(), 0);
  EXPECT_TRUE(link.AccessDenied());
  EXPECT_EQ(dac.OpenHandleCount(), 0);
}

TEST(HidDeviceLinkTest, SecondDiscoveryClosesTheOldHandlesFirst) {
  SimulatedDac dac;
  HidDeviceLink link(dac);
  ASSERT_EQ(link.FindDevice(), 1);
  const HidHandle old_query = link.QueryHandle();
  const HidHandle old_write = link.WriteHandle();
  ASSERT_EQ(link.FindDevice(), 1);
  EXPECT_FALSE(dac.IsHandleOpen(old_query));
  EXPECT_FALSE(dac.IsHandleOpen(old_write));
  EXPECT_EQ(dac.OpenHandleCount(), 3);
  // With no interface listed at all, no candidate is examined: the result is
  // 0 and the handles keep their state until the next discovery.
  dac.Unplug();
  EXPECT_EQ(link.FindDevice(), 0);
  EXPECT_FALSE(link.IsFound());
  EXPECT_EQ(dac.OpenHandleCount(), 3);
}

TEST(HidDeviceLinkTest, ProductIdOfARefusedCandidateIsKept) {
  SimOptions options;
  options.product_id = 0x00AB;
  options.access_denied = true;
  SimulatedDac dac(options);
  HidDeviceLink link(dac);
  EXPECT_EQ(link.FindDevice(), 0);
  std::uint16_t vid = 0, pid = 0;
  link.GetDeviceIds(&vid, &pid);
  EXPECT_EQ(pid, 0x00AB);
}

TEST(HidDeviceLinkTest, RefusesPathsAndReportsThatDoNotFitTheBuffers) {
  struct Case {
    std::size_t path_length;
    std::uint16_t in_length;
    std::uint16_t out_length;
    int expected;
  };
  const Case cases[] = {
      {255, 65, 65, 1}, {256, 65, 65, 0}, {300, 65, 65, 0},
      {0, 512, 256, 1}, {0, 513, 65, 0},  {0, 65, 257, 0},
  };
  for (const Case& c : cases) {
    SimOptions options;
    options.path_length = c.path_length;
    options.input_report_length = c.in_length;
    options.output_report_length = c.out_length;
    SimulatedDac dac(options);
    HidDeviceLink link(dac);
    EXPECT_EQ(link.FindDevice(), c.expected)
        << "path " << c.path_length << " in " << c.in_length << " out " << c.out_length;
    if (c.expected == 0) {
      EXPECT_EQ(dac.OpenHandleCount(), 0);
    }
  }
}

// A DAC whose reports grow past the link's buffers once `grown` is set (a
// different device plugged in between two discoveries).
class GrowingReportsDac : public SimulatedDac {
 public:
  bool GetCaps(HidHandle handle, HidCaps* caps) override {
    if (!SimulatedDac::GetCaps(handle, caps)) return false;
    if (grown && caps->usage_page == kVendorUsagePage) {
      caps->output_report_byte_length = 300;
      caps->input_report_byte_length = 600;
    }
    return true;
  }
  bool grown = false;
};

TEST(HidDeviceLinkTest, InterfaceRefusedForItsReportLengthsLeavesSendsRefused) {
  GrowingReportsDac dac;
  HidDeviceLink link(dac);
  ASSERT_EQ(link.FindDevice(), 1);
  dac.grown = true;
  ASSERT_EQ(link.FindDevice(), 0);
  ASSERT_EQ(link.WriteHandle(), kInvalidHandle);
  dac.ClearTrace();
  // The refused interface's report lengths do not fit the buffers: nothing
  // may be framed with them, and the closed link must stay closed.
  const std::uint8_t packet[4] = {0x04, 0x00, 0x00, 0xA0};
  EXPECT_EQ(link.SendOutputReport(packet, 4), 0);
  EXPECT_EQ(link.WriteOutputReport(packet, 4), 0);
  std::uint8_t byte = 0x42;
  EXPECT_EQ(link.WriteEeprom(0xA0, 0x00, 0, &byte, 1), 0);
  EXPECT_EQ(link.WriteHandle(), kInvalidHandle);
  EXPECT_EQ(link.ReadHandle(), kInvalidHandle);
  EXPECT_TRUE(dac.Trace().empty());

  // Never opened: the handles are null, and the refused lengths were never
  // taken, so nothing goes out and the read fails as on a new link.
  GrowingReportsDac fresh_dac;
  fresh_dac.grown = true;
  HidDeviceLink fresh(fresh_dac);
  ASSERT_EQ(fresh.FindDevice(), 0);
  EXPECT_LE(fresh.Capabilities().output_report_byte_length, kOutputReportBufferSize);
  EXPECT_LE(fresh.Capabilities().input_report_byte_length, kInputReportBufferSize);
  std::uint8_t answer[8];
  EXPECT_EQ(fresh.ReadInputReport(answer, 8), 0);
  EXPECT_EQ(fresh.SendOutputReport(packet, 4), 0);
  EXPECT_TRUE(LinesOf(fresh_dac.Trace(), "out").empty());
  EXPECT_TRUE(LinesOf(fresh_dac.Trace(), "in").empty());
}

TEST(HidDeviceLinkTest, FramesPayloadsAtTheFullReportLength) {
  SimOptions options;
  options.output_report_length = 11;
  SimulatedDac dac(options);
  HidDeviceLink link(dac);
  ASSERT_EQ(link.FindDevice(), 1);
  const std::vector<std::uint8_t> longest = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  EXPECT_EQ(link.SendOutputReport(longest.data(), 10), 1);
  std::vector<std::uint8_t> too_long(11, 0x55);
  EXPECT_EQ(link.SendOutputReport(too_long.data(), 11), 0);
  EXPECT_EQ(link.WriteOutputReport(too_long.data(), 11), 0);
  const std::vector<std::uint8_t> shorter = {0xAA};
  EXPECT_EQ(link.WriteOutputReport(shorter.data(), 1), 1);
  EXPECT_EQ(dac.Trace(), (std::vector<std::string>{
                             "out 00 01 02 03 04 05 06 07 08 09 0a",
                             "write 00 aa 00 00 00 00 00 00 00 00 00",
                         }));
  EXPECT_TRUE(link.IsFound());
}

TEST(HidDeviceLinkTest, FailedControlTransferClosesTheLinkFailedInterruptWriteDoesNot) {
  SimOptions options;
  options.fail_write = 1;
  options.fail_output_report = 2;
  SimulatedDac dac(options);
  HidDeviceLink link(dac);
  ASSERT_EQ(link.FindDevice(), 1);
  const std::uint8_t packet[4] = {0x04, 0x00, 0x00, 0xA0};
  EXPECT_EQ(link.WriteOutputReport(packet, 4), 0);
  EXPECT_TRUE(link.IsFound());
  EXPECT_EQ(link.SendOutputReport(packet, 4), 1);
  EXPECT_EQ(link.SendOutputReport(packet, 4), 0);
  EXPECT_FALSE(link.IsFound());
  EXPECT_EQ(link.WriteHandle(), kInvalidHandle);
  EXPECT_EQ(link.ReadHandle(), kInvalidHandle);
  EXPECT_EQ(dac.OpenHandleCount(), 0);
  // Later sends are refused at once, without reaching the device.
  const auto before = dac.Trace().size();
  EXPECT_EQ(link.SendOutputReport(packet, 4), 0);
  EXPECT_EQ(dac.Trace().size(), before);
}

TEST(HidDeviceLinkTest, FailedInputReportClosesTheLink) {
  SimOptions options;
  options.fail_input_report = 1;
  SimulatedDac dac(options);
  HidDeviceLink link(dac);
  ASSERT_EQ(link.FindDevice(), 1);
  std::uint8_t answer[8];
  EXPECT_EQ(link.ReadInputReport(answer, 8), 0);
  EXPECT_FALSE(link.IsFound());
  EXPECT_EQ(dac.OpenHandleCount(), 0);
}

TEST(HidDeviceLinkTest, HardwareIdMatchesUpperCaseHexadecimalProductIds) {
  SimOptions options;
  options.product_id = 0x00AB;
  options.revision = 0x01A0;
  SimulatedDac dac(options);
  HidDeviceLink link(dac);
  ASSERT_EQ(link.FindDevice(), 1);
  EXPECT_EQ(link.GetHardwareId(), "USB\\VID_3917&PID_00AB&REV_01A0");
}

TEST(HidDeviceLinkTest, HardwareIdIsEmptyWithoutAMatchingDevice) {
  SimulatedDac dac;
  HidDeviceLink link(dac);
  ASSERT_EQ(link.FindDevice(), 1);
  ASSERT_FALSE(link.GetHardwareId().empty());
  dac.Unplug();
  EXPECT_EQ(link.GetHardwareId(), "");
  // Before any discovery the pattern names product 0, which nobody has.
  SimulatedDac other;
  HidDeviceLink fresh(other);
  EXPECT_EQ(fresh.GetHardwareId(), "");
}

TEST(HidDeviceLinkTest, RestrictedToAPathPicksThatDac) {
  SimOptions options;
  options.second_dac = true;
  options.second_product_id = 6;
  SimulatedDac dac(options);
  HidDeviceLink link(dac);
  link.RestrictToPath(dac.VendorInterfacePath(1));
  ASSERT_EQ(link.FindDevice(), 1);
  std::uint16_t vid = 0, pid = 0;
  link.GetDeviceIds(&vid, &pid);
  EXPECT_EQ(pid, 6);
}

TEST(HidDeviceLinkTest, DestructorClosesEveryHandle) {
  SimulatedDac dac;
  {
    HidDeviceLink link(dac);
    ASSERT_EQ(link.FindDevice(), 1);
    EXPECT_EQ(dac.OpenHandleCount(), 3);
  }
  EXPECT_EQ(dac.OpenHandleCount(), 0);
}

}  // namespace
}  // namespace veltrane
