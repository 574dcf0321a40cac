#include "device/platform/linux/hardware_id.h"

#include <gtest/gtest.h>

namespace veltrane {
namespace {

TEST(HardwareIdTest, BuildsWindowsFormStringsInUpperCaseHex) {
  EXPECT_EQ(UsbHardwareId(0x3917, 0x0004, 0x0102), "USB\\VID_3917&PID_0004&REV_0102");
  EXPECT_EQ(UsbHardwareId(0x3917, 0x00AB, 0xBEEF), "USB\\VID_3917&PID_00AB&REV_BEEF");
  EXPECT_EQ(UsbHardwareId(0xFFFF, 0xFFFF, 0xFFFF), "USB\\VID_FFFF&PID_FFFF&REV_FFFF");
  EXPECT_EQ(HidHardwareId(0x3917, 0x0010), "HID\\VID_3917&PID_0010");
}

TEST(HardwareIdTest, ReadsSysfsHexAttributes) {
  std::uint16_t value = 0;
  EXPECT_TRUE(ParseHexAttribute("3917\n", &value));
  EXPECT_EQ(value, 0x3917);
  EXPECT_TRUE(ParseHexAttribute("00ab", &value));
  EXPECT_EQ(value, 0x00AB);
  value = 7;
  for (const char* bad : {"", "\n", "12345", "39x7", "-1"}) {
    EXPECT_FALSE(ParseHexAttribute(bad, &value)) << bad;
    EXPECT_EQ(value, 7) << bad;
  }
}

TEST(HardwareIdTest, ReadsHidIdFromAUevent) {
  HidAttributes attributes;
  ASSERT_TRUE(ParseHidId("DRIVER=hid-generic\nHID_ID=0003:00003917:00000004\nHID_NAME=DAC\n",
                         &attributes));
  EXPECT_EQ(attributes.vendor_id, 0x3917);
  EXPECT_EQ(attributes.product_id, 0x0004);
  // The kernel prints the IDs sign-extended for vendors at 0x8000 and above.
  ASSERT_TRUE(ParseHidId("HID_ID=0005:FFFF8086:FFFFABCD", &attributes));
  EXPECT_EQ(attributes.vendor_id, 0x8086);
  EXPECT_EQ(attributes.product_id, 0xABCD);
  for (const char* bad : {"", "HID_NAME=x\n", "HID_ID=0003:3917\n", "HID_ID=0003:00003917:\n",
                          "HID_ID=0003:0000391G:00000004\n", "HID_ID=0003:123456789:1\n"}) {
    EXPECT_FALSE(ParseHidId(bad, &attributes)) << bad;
  }
}

}  // namespace
}  // namespace veltrane
