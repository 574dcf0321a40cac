// The image header rules: the order of the tests, every message, and the
// revision taken from the hardware ID.
#include "image/image_header.h"

#include <gtest/gtest.h>

#include <functional>

#include "tests/update/scratch_dir.h"
#include "image/image_texts.h"
#include "update/update_texts.h"

namespace veltrane {
namespace {

// A valid header for vendor 0x3917, product 4, version 0x0103; each case bends it.
std::vector<std::uint8_t> GoodHeader() {
  std::vector<std::uint8_t> image;
  PackImage(0x3917, 4, 0x0103, {0xAA, 0xBB}, &image);
  return image;
}

void FixChecksum(std::vector<std::uint8_t>* image) {
  std::uint8_t sum = 0;
  for (std::size_t i = 1; i < kImageHeaderSize; ++i) sum = static_cast<std::uint8_t>(sum + (*image)[i]);
  (*image)[0] = sum;
}

void SetProduct(std::vector<std::uint8_t>* image, std::uint16_t product) {
  (*image)[6] = static_cast<std::uint8_t>(product);
  (*image)[7] = static_cast<std::uint8_t>(product >> 8);
  FixChecksum(image);
}

struct HeaderCase {
  const char* name;
  std::function<void(std::vector<std::uint8_t>*)> bend;
  DeviceIdentity device;
  Verdict verdict;
  std::string message;
};

class ImageHeaderTest : public ::testing::Test {
 protected:
  std::string WriteImage(const std::vector<std::uint8_t>& bytes, const std::string& name = "image.bin") {
    return dir_.Write(bytes, name);
  }

  testing::ScratchDir dir_;
};

const DeviceIdentity kDevice4{0x3917, 4, 0x0102, "USB\\VID_3917&PID_0004&REV_0102"};
const DeviceIdentity kDevice5{0x3917, 5, 0x0102, ""};
const DeviceIdentity kDevice6{0x3917, 6, 0x0102, ""};

TEST_F(ImageHeaderTest, JudgesEveryRuleInOrderWithItsMessage) {
  const std::string kIncompatible65 =
      "Device and Image versions are not compatible!\nDevice ID 0x3917-0x0005\nImage ID 0x3917-0x0006";
  const std::vector<HeaderCase> cases = {
      {"newer version on revision 0x0102", [](auto*) {}, kDevice4, Verdict::kReady, ""},
      {"version bytes 03 01 on 0x0102",
       [](auto* img) { (*img)[8] = 0x03; (*img)[9] = 0x01; FixChecksum(img); }, kDevice4,
       Verdict::kReady, ""},
      {"sum 0x1A3 passes with byte 0 = 0xA3",
       [](auto* img) {
         // Bytes 1..17 add up to 0x1A3: the 8-bit sum 0xA3 must equal byte 0.
         std::uint16_t sum = 0;
         for (std::size_t i = 1; i < kImageHeaderSize; ++i) sum += (*img)[i];
         const int missing = 0x1A3 - sum;
         ASSERT_GE(missing, 0);
         ASSERT_LE(missing, 0xFF * 2);
         (*img)[10] = static_cast<std::uint8_t>(std::min(missing, 0xFF));
         (*img)[11] = static_cast<std::uint8_t>(missing - (*img)[10]);
         (*img)[0] = 0xA3;
       },
       kDevice4, Verdict::kReady, ""},
      {"checksum off by one", [](auto* img) { (*img)[0]++; }, kDevice4, Verdict::kInvalidImage,
       "Invalid Image!"},
      {"unexamined byte 13 changed without the checksum", [](auto* img) { (*img)[13] ^= 0x40; },
       kDevice4, Verdict::kInvalidImage, "Invalid Image!"},
      {"bad checksum wins over a bad magic and foreign IDs",
       [](auto* img) { (*img)[2] = 0; SetProduct(img, 9); (*img)[0]++; }, kDevice4,
       Verdict::kInvalidImage, "Invalid Image!"},
      {"swapped magic", [](auto* img) { std::swap((*img)[2], (*img)[3]); FixChecksum(img); },
       kDevice4, Verdict::kInvalidImage, "Invalid Image!"},
      {"bad magic wins over foreign IDs",
       [](auto* img) { (*img)[3] = 0x35; SetProduct(img, 9); }, kDevice4, Verdict::kInvalidImage,
       "Invalid Image!"},
      {"image 6 on device 4", [](auto* img) { SetProduct(img, 6); }, kDevice4, Verdict::kReady, ""},
      {"image 4 on device 6", [](auto* img) { SetProduct(img, 4); }, kDevice6, Verdict::kReady, ""},
      {"image 6 on device 5", [](auto* img) { SetProduct(img, 6); }, kDevice5,
       Verdict::kIncompatible, kIncompatible65},
      {"image 5 on device 4", [](auto* img) { SetProduct(img, 5); }, kDevice4,
       Verdict::kIncompatible,
       "Device and Image versions are not compatible!\nDevice ID 0x3917-0x0004\nImage ID 0x3917-0x0005"},
      {"vendor mismatch with equal products",
       [](auto* img) { (*img)[4] = 0xAB; (*img)[5] = 0xCD; FixChecksum(img); }, kDevice4,
       Verdict::kIncompatible,
       "Device and Image versions are not compatible!\nDevice ID 0x3917-0x0004\nImage ID 0xcdab-0x0004"},
      {"incompatible wins over an old version",
       [](auto* img) { (*img)[8] = 0; (*img)[9] = 0; SetProduct(img, 6); }, kDevice5,
       Verdict::kIncompatible, kIncompatible65},
      {"equal version", [](auto* img) { (*img)[8] = 0x02; (*img)[9] = 0x01; FixChecksum(img); },
       kDevice4, Verdict::kNotNewer, "Device has latest update!"},
      {"older version", [](auto* img) { (*img)[8] = 0xFF; (*img)[9] = 0x00; FixChecksum(img); },
       kDevice4, Verdict::kNotNewer, "Device has latest update!"},
      {"version compared unsigned",
       [](auto* img) { (*img)[8] = 0x00; (*img)[9] = 0x80; FixChecksum(img); }, kDevice4,
       Verdict::kReady, ""},
      {"17 bytes: shorter than the header", [](auto* img) { img->resize(17); }, kDevice4,
       Verdict::kInvalidImage, "Invalid Image!"},
      {"empty file", [](auto* img) { img->clear(); }, kDevice4, Verdict::kInvalidImage,
       "Invalid Image!"},
      {"exactly the header, which says so",
       [](auto* img) { img->resize(18); (*img)[17] = 18; FixChecksum(img); }, kDevice4, Verdict::kReady, ""},
      {"one byte short of the header's length (a cut download)", [](auto* img) { img->resize(19); },
       kDevice4, Verdict::kInvalidImage, "Invalid Image!"},
      {"longer than the header's length: sent whole", [](auto* img) { img->push_back(0x5A); }, kDevice4,
       Verdict::kReady, ""},
      {"a length of 0 gives no length", [](auto* img) { (*img)[17] = 0; img->resize(19); FixChecksum(img); },
       kDevice4, Verdict::kReady, ""},
      {"an EEPROM image for a bulk product", [](auto*) {}, DeviceIdentity{0x3917, 16, 0x0102, ""},
       Verdict::kInvalidImage, "Invalid Image!"},
      {"a bulk image that only looks alike (another vendor)", [](auto* img) { (*img)[4] = 0x18; },
       DeviceIdentity{0x3917, 16, 0x0102, ""}, Verdict::kReady, ""},
  };
  for (const HeaderCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::uint8_t> image = GoodHeader();
    c.bend(&image);
    const ImageCheck check = JudgeImage(WriteImage(image), c.device);
    EXPECT_EQ(check.verdict, c.verdict);
    EXPECT_EQ(check.message, c.message);
  }
  const ImageCheck missing = JudgeImage((dir_ / "missing.bin").string(), kDevice4);
  EXPECT_EQ(missing.verdict, Verdict::kOpenFailed);
  EXPECT_EQ(missing.message, "Failed open file!");
}

TEST_F(ImageHeaderTest, MessagesComeFromTheOneTable) {
  EXPECT_EQ(IncompatibleMessage(0x3917, 5, 0x3917, 6),
            "Device and Image versions are not compatible!\nDevice ID 0x3917-0x0005\nImage ID 0x3917-0x0006");
  EXPECT_EQ(IncompatibleMessage(0x3917, 0x12345 & 0xFFFF, 0, 0xFFFF),
            "Device and Image versions are not compatible!\nDevice ID 0x3917-0x2345\nImage ID 0x0000-0xffff");
  EXPECT_STREQ(update_texts::kProgramCompleted, "EEPROM program completed. ");
  EXPECT_STREQ(update_texts::kProgramFailed, "Eeprom programm failed! Please try again!");
  EXPECT_STREQ(update_texts::kNoDeviceConnect, "No device found!\nPlease connect device");
  EXPECT_STREQ(update_texts::kNoDevice, "No device found");
  EXPECT_STREQ(update_texts::kSelectFile, "Please select file to be programmed.");
  EXPECT_EQ(std::string(image_texts::kInvalidImage) + update_texts::kProgramExit,
            "Invalid Image!\nProgram Exit!");
}

TEST_F(ImageHeaderTest, BulkImagesNeedOnlyToOpenAndHoldBytes) {
  EXPECT_EQ(JudgeBulkImage(WriteImage({0x01})).verdict, Verdict::kReady);
  EXPECT_TRUE(JudgeBulkImage(WriteImage({0x01})).message.empty());
  const ImageCheck empty = JudgeBulkImage(WriteImage({}, "empty.bin"));
  EXPECT_EQ(empty.verdict, Verdict::kInvalidImage);
  EXPECT_EQ(empty.message, "Invalid Image!");
  const ImageCheck missing = JudgeBulkImage((dir_ / "missing.bin").string());
  EXPECT_EQ(missing.verdict, Verdict::kOpenFailed);
  EXPECT_EQ(missing.message, "Failed open file!");
}

std::uint16_t Parsed(const std::string& text) {
  std::uint16_t value = 0xBEEF;
  ParseRevision(text, &value);
  return value;
}

TEST(RevisionTest, ParsesFourDigitsWithOthersCountingAsZero) {
  EXPECT_EQ(Parsed("0102"), 0x0102);
  EXPECT_EQ(Parsed("01a0"), 0x01A0);
  EXPECT_EQ(Parsed("1A00 X"), 0x1A00);
  EXPECT_EQ(Parsed("1.05"), Parsed("1005"));
  EXPECT_EQ(Parsed("1005"), 0x1005);
  EXPECT_EQ(Parsed("MI_00"), 0x0000);
  EXPECT_EQ(Parsed("01"), 0x0100);  // missing characters count as 0
  EXPECT_EQ(Parsed(""), 0x0000);
  EXPECT_EQ(Parsed("FFFF9"), 0xFFFF);  // characters after the fourth are ignored
  EXPECT_EQ(Parsed("12 34"), 0x1200);  // only what comes before the blank
}

TEST(RevisionTest, TakesTheThirdFieldOfTheHardwareId) {
  auto revision = [](const std::string& id) { return Parsed(RevisionField(id)); };
  EXPECT_EQ(RevisionField("USB\\VID_3917&PID_0004&REV_0102"), "0102");
  EXPECT_EQ(revision("USB\\VID_3917&PID_0004&REV_0102"), 0x0102);
  EXPECT_EQ(revision("usb\\vid_3917&pid_0004&rev_01a0"), 0x01A0);
  EXPECT_EQ(revision("HID\\VID_3917&PID_0004&MI_00&REV_0102"), 0x0000);
  EXPECT_EQ(revision("USB\\VID_3917&&PID_0004&&&REV_0103"), 0x0103);  // runs of separators are one
  EXPECT_EQ(revision("&USB\\VID_3917&PID_0004&REV_0104"), 0x0104);     // an empty field is skipped
  EXPECT_EQ(revision("USB\\VID_3917&PID_0004"), 0x0000);               // fewer than three fields
  EXPECT_EQ(revision(""), 0x0000);
}

TEST(CompatibilityTest, ProductsFourAndSixTakeEachOthersImages) {
  EXPECT_TRUE(ProductsCompatible(4, 6));
  EXPECT_TRUE(ProductsCompatible(6, 4));
  EXPECT_TRUE(ProductsCompatible(5, 5));
  EXPECT_FALSE(ProductsCompatible(5, 6));
  EXPECT_FALSE(ProductsCompatible(6, 5));
  EXPECT_FALSE(ProductsCompatible(4, 5));
}

}  // namespace
}  // namespace veltrane
