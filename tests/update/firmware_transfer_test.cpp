// The two firmware download transfers, byte for byte on the simulated DAC's
// trace, on virtual time.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "device/hid_device_link.h"
#include "device/progress.h"
#include "sim/simulated_dac.h"
#include "tests/support/trace_lines.h"
#include "tests/update/scratch_dir.h"
#include "image/image_header.h"

namespace veltrane {
namespace {

using sim::SimOptions;
using sim::SimulatedDac;
using testing::LinesOf;
using testing::Out;
using testing::Write;

using Bytes = std::vector<std::uint8_t>;

class RecordingSink : public ProgressSink {
 public:
  void SetProgress(std::uint16_t per_mille) override { values.push_back(per_mille); }
  std::vector<std::uint16_t> values;
};

// Bytes 0, 1, 2 ... with the image length (high byte first) in bytes 16 and 17.
Bytes Image(std::size_t length, std::uint16_t total) {
  Bytes image(length);
  for (std::size_t i = 0; i < length; ++i) image[i] = static_cast<std::uint8_t>(i * 13 + 0x5A);
  if (length > 17) {
    image[16] = static_cast<std::uint8_t>(total >> 8);
    image[17] = static_cast<std::uint8_t>(total);
  }
  return image;
}

const std::string kSelect = Out({0x04, 0x00, 0x00, 0xA0});

Bytes WritePacket(const Bytes& image, std::size_t offset, std::size_t n) {
  Bytes packet(6 + n);
  packet[0] = static_cast<std::uint8_t>(n + 6);
  packet[1] = 0x04;
  packet[4] = static_cast<std::uint8_t>(offset >> 8);
  packet[5] = static_cast<std::uint8_t>(offset);
  std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(offset), n, packet.begin() + 6);
  if (offset == 0) packet[6] = static_cast<std::uint8_t>(~packet[6]);
  return packet;
}

std::string Restore(std::uint8_t first) { return Out({0x07, 0x04, 0x00, 0x00, 0x00, 0x00, first}); }

class TransferTest : public ::testing::Test {
 protected:
  std::string File(const Bytes& bytes, const std::string& name = "image.bin") {
    return dir_.Write(bytes, name);
  }

  // Finds the device and forgets the discovery's trace.
  void Connect(SimulatedDac& dac, HidDeviceLink& link) {
    ASSERT_EQ(link.FindDevice(), 1);
    dac.ClearTrace();
  }

  testing::ScratchDir dir_;
};

TEST_F(TransferTest, ImagesOfOneToSixteenBytesAreOnePacketThenTheRestore) {
  for (std::size_t n = 1; n <= 16; ++n) {
    SCOPED_TRACE(n);
    SimulatedDac dac;
    HidDeviceLink link(dac);
    Connect(dac, link);
    RecordingSink sink;
    ScopedLinkProgress scope(link, &sink);
    const Bytes image = Image(n, 0);
    ASSERT_EQ(link.DownloadEepromImage(File(image), 0xA0, 0x00), 1);
    std::vector<std::string> expected = {kSelect, Out(WritePacket(image, 0, n))};
    // The default total 8192: 9..16 bytes make 1 per mille, fewer make 0 (not reported).
    if (n * 1000 / 8192 != 0) expected.push_back("progress 1");
    expected.push_back("sleep 10");
    expected.push_back(Restore(image[0]));
    EXPECT_EQ(dac.Trace(), expected);
    EXPECT_EQ(sink.values, (n >= 9 ? std::vector<std::uint16_t>{1} : std::vector<std::uint16_t>{}));
    EXPECT_TRUE(std::equal(image.begin(), image.end(), dac.Eeprom().begin()));
  }
}

TEST_F(TransferTest, FortyByteImageIsThreePacketsWithItsOwnTotalAndPauses) {
  SimulatedDac dac;
  HidDeviceLink link(dac);
  Connect(dac, link);
  RecordingSink sink;
  ScopedLinkProgress scope(link, &sink);
  const Bytes image = Image(40, 0x0028);
  ASSERT_EQ(link.DownloadEepromImage(File(image), 0xA0, 0x00), 1);

  Bytes first = WritePacket(image, 0, 16);
  ASSERT_EQ(first[0], 22);
  EXPECT_EQ(first[6], static_cast<std::uint8_t>(~image[0]));
  const std::vector<std::string> expected = {
      kSelect,                                              // no pause after select
      Out(first), "progress 1", "sleep 10",                 // 16 * 1000 / 8192
      Out(WritePacket(image, 16, 16)), "progress 800", "sleep 10",  // 32 * 1000 / 40
      Out(WritePacket(image, 32, 8)), "sleep 10",           // 1000: not reported
      Restore(image[0]),                                    // no pause after restore
  };
  EXPECT_EQ(dac.Trace(), expected);
  EXPECT_EQ(LinesOf(dac.Trace(), "out")[3],
            Out({0x0E, 0x04, 0x00, 0x00, 0x00, 0x20, image[32], image[33], image[34], image[35],
                 image[36], image[37], image[38], image[39]}));
  EXPECT_EQ(sink.values, (std::vector<std::uint16_t>{1, 800}));
  EXPECT_TRUE(std::equal(image.begin(), image.end(), dac.Eeprom().begin()));
  EXPECT_EQ(dac.VirtualMilliseconds(), 30u);
}

TEST_F(TransferTest, LengthNotAMultipleOfSixteenEndsWithAShortPacket) {
  SimulatedDac dac;
  HidDeviceLink link(dac);
  Connect(dac, link);
  const Bytes image = Image(37, 37);
  ASSERT_EQ(link.DownloadEepromImage(File(image), 0xA0, 0x00), 1);
  const auto outs = LinesOf(dac.Trace(), "out");
  ASSERT_EQ(outs.size(), 5u);
  EXPECT_EQ(outs[3], Out(WritePacket(image, 32, 5)));
  EXPECT_EQ(outs[3].substr(0, 9), "out 00 0b");
  EXPECT_TRUE(std::equal(image.begin(), image.end(), dac.Eeprom().begin()));
}

TEST_F(TransferTest, ProgressFollowsTheTotalInTheImageNotTheFileLength) {
  struct Case {
    std::size_t length;
    std::uint16_t total;
    std::vector<std::uint16_t> progress;
  };
  const std::vector<Case> cases = {
      {64, 40, {1, 800}},        // smaller: passes 999 before the end, then silent
      {40, 80, {1, 400, 500}},   // larger: stops short of 1000
      {40, 0, {1, 3, 4}},        // 0: the default 8192 stays, no division by zero
      // 16: 66 chunks make 66000 per mille, which as a 16-bit value would wrap
      // round to 464 and send the bar back; it stays past the end instead.
      {1056, 16, {1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length * 100000 + c.total);
    SimulatedDac dac;
    HidDeviceLink link(dac);
    Connect(dac, link);
    RecordingSink sink;
    ScopedLinkProgress scope(link, &sink);
    const Bytes image = Image(c.length, c.total);
    ASSERT_EQ(link.DownloadEepromImage(File(image), 0xA0, 0x00), 1);
    EXPECT_EQ(sink.values, c.progress);
    EXPECT_EQ(LinesOf(dac.Trace(), "progress").size(), c.progress.size());
    EXPECT_TRUE(std::equal(image.begin(), image.end(), dac.Eeprom().begin()));
  }
}

TEST_F(TransferTest, FailureInTheMiddleLeavesByteZeroInvertedAndNoRestore) {
  SimOptions options;
  options.fail_output_report = 3;  // select, first write, then the second write fails
  SimulatedDac dac(options);
  HidDeviceLink link(dac);
  Connect(dac, link);
  const Bytes before = dac.Eeprom();
  const Bytes image = Image(64, 64);
  EXPECT_EQ(link.DownloadEepromImage(File(image), 0xA0, 0x00), 0);

  const std::vector<std::string> expected = {
      kSelect, Out(WritePacket(image, 0, 16)), "progress 1", "sleep 10",
      testing::ReportLine("out-failed", WritePacket(image, 16, 16)),
  };
  EXPECT_EQ(dac.Trace(), expected);
  const LinkFailure& failure = link.LastFailure();
  EXPECT_EQ(failure.stage, LinkStage::kWritePacket);
  EXPECT_EQ(failure.index, 2u);
  EXPECT_EQ(failure.count, 4u);
  EXPECT_EQ(failure.address, 0x10u);
  EXPECT_EQ(failure.packets_done, 1u);
  EXPECT_EQ(failure.bytes_done, 16u);
  EXPECT_EQ(failure.Describe().rfind("write packet 2 of 4 (address 0x0010): ", 0), 0u)
      << failure.Describe();
  EXPECT_EQ(dac.Eeprom()[0], static_cast<std::uint8_t>(~image[0]));
  EXPECT_TRUE(std::equal(image.begin() + 1, image.begin() + 16, dac.Eeprom().begin() + 1));
  EXPECT_TRUE(std::equal(before.begin() + 16, before.end(), dac.Eeprom().begin() + 16));
  EXPECT_FALSE(link.IsFound());  // a failed control transfer closes the link
}

TEST_F(TransferTest, FailedSelectOrRestoreIsAFailure) {
  {
    SimOptions options;
    options.fail_output_report = 1;
    SimulatedDac dac(options);
    HidDeviceLink link(dac);
    Connect(dac, link);
    EXPECT_EQ(link.DownloadEepromImage(File(Image(40, 40)), 0xA0, 0x00), 0);
    EXPECT_EQ(dac.Trace().size(), 1u);
  }
  {
    SimOptions options;
    options.fail_output_report = 5;  // select, three writes, restore
    SimulatedDac dac(options);
    HidDeviceLink link(dac);
    Connect(dac, link);
    const Bytes image = Image(40, 40);
    EXPECT_EQ(link.DownloadEepromImage(File(image), 0xA0, 0x00), 0);
    EXPECT_EQ(dac.Eeprom()[0], static_cast<std::uint8_t>(~image[0]));
  }
}

TEST_F(TransferTest, RefusesEmptyMissingAndOversizedImagesBeforeSendingAnything) {
  SimulatedDac dac;
  HidDeviceLink link(dac);
  Connect(dac, link);
  const Bytes before = dac.Eeprom();
  // An empty image has no first byte to restore.
  EXPECT_EQ(link.DownloadEepromImage(File({}, "empty.bin"), 0xA0, 0x00), 0);
  EXPECT_EQ(link.DownloadEepromImage((dir_ / "missing.bin").string(), 0xA0, 0x00), 0);
  // One byte more than the 16-bit addresses reach would overwrite the image's own start.
  EXPECT_EQ(link.DownloadEepromImage(File(Image(65537, 0xFFFF), "big.bin"), 0xA0, 0x00), 0);
  EXPECT_TRUE(dac.Trace().empty());
  EXPECT_EQ(dac.Eeprom(), before);
  EXPECT_TRUE(link.IsFound());
}

TEST_F(TransferTest, ImageFillingTheWholeAddressSpaceIsWrittenWhole) {
  SimulatedDac dac;
  HidDeviceLink link(dac);
  Connect(dac, link);
  const Bytes image = Image(65536, 0xFFFF);
  ASSERT_EQ(link.DownloadEepromImage(File(image), 0xA0, 0x00), 1);
  EXPECT_EQ(dac.Eeprom(), image);
  const auto outs = LinesOf(dac.Trace(), "out");
  ASSERT_EQ(outs.size(), 1u + 4096u + 1u);
  EXPECT_EQ(outs[4096], Out(WritePacket(image, 0xFFF0, 16)));
}

TEST_F(TransferTest, ProgressGoesToTheLinksOwnSinkAndAlwaysToTheTrace) {
  SimulatedDac dac;
  HidDeviceLink link(dac);
  HidDeviceLink other(dac);
  Connect(dac, link);
  const std::string path = File(Image(40, 40));
  ASSERT_EQ(link.GetProgressSink(), nullptr);
  ASSERT_EQ(link.DownloadEepromImage(path, 0xA0, 0x00), 1);
  // No sink: the trace still hears every value.
  EXPECT_EQ(LinesOf(dac.Trace(), "progress"),
            (std::vector<std::string>{"progress 1", "progress 800"}));

  RecordingSink outer, inner, elsewhere;
  other.SetProgressSink(&elsewhere);
  {
    ScopedLinkProgress outer_scope(link, &outer);
    {
      ScopedLinkProgress inner_scope(link, &inner);
      ASSERT_EQ(link.DownloadEepromImage(path, 0xA0, 0x00), 1);
    }
    EXPECT_EQ(link.GetProgressSink(), &outer);
  }
  EXPECT_EQ(link.GetProgressSink(), nullptr);
  EXPECT_EQ(inner.values, (std::vector<std::uint16_t>{1, 800}));
  EXPECT_TRUE(outer.values.empty());
  EXPECT_TRUE(elsewhere.values.empty());
}

// Bulk packets: 12 bytes, the block count least significant byte first.
Bytes BulkPacket(std::uint8_t command, std::uint32_t count) {
  return {0x0C, command, 0x00, 0x00, static_cast<std::uint8_t>(count),
          static_cast<std::uint8_t>(count >> 8), static_cast<std::uint8_t>(count >> 16),
          static_cast<std::uint8_t>(count >> 24), 0x00, 0x00, 0x00, 0x00};
}

SimOptions BulkDevice() {
  SimOptions options;
  options.product_id = 16;
  return options;
}

TEST_F(TransferTest, BulkEmptyFileIsStartAndEndWithCountZero) {
  SimulatedDac dac(BulkDevice());
  HidDeviceLink link(dac);
  Connect(dac, link);
  RecordingSink sink;
  ScopedLinkProgress scope(link, &sink);
  EXPECT_EQ(link.DownloadBulkImage(File({}, "empty.bin")), 1);
  EXPECT_EQ(dac.Trace(), (std::vector<std::string>{Write(BulkPacket(0x01, 0)),
                                                   Write(BulkPacket(0xFF, 0))}));
  EXPECT_TRUE(sink.values.empty());
  EXPECT_TRUE(dac.BulkComplete());
}

TEST_F(TransferTest, BulkSixtyFiveBytesAreTwoBlocksTheLastFilledWithZeros) {
  SimOptions options = BulkDevice();
  options.product_id = 17;
  SimulatedDac dac(options);
  HidDeviceLink link(dac);
  Connect(dac, link);
  RecordingSink sink;
  ScopedLinkProgress scope(link, &sink);
  const Bytes file = Image(65, 0);
  EXPECT_EQ(link.DownloadBulkImage(File(file)), 1);

  Bytes second(64, 0);
  second[0] = file[64];
  const std::vector<std::string> expected = {
      Write(BulkPacket(0x01, 2)),
      Write(Bytes(file.begin(), file.begin() + 64)), "progress 0", "sleep 1",
      Write(second), "progress 984", "sleep 1",  // 64 * 1000 / 65
      Write(BulkPacket(0xFF, 2)),
  };
  EXPECT_EQ(dac.Trace(), expected);
  EXPECT_EQ(sink.values, (std::vector<std::uint16_t>{0, 984}));
  Bytes received = file;
  received.resize(128, 0);
  EXPECT_EQ(dac.BulkImage(), received);
  EXPECT_TRUE(dac.BulkComplete());
}

TEST_F(TransferTest, BulkFaultsSayWhichBlockAndADroppedBlockIsLostSilently) {
  const Bytes file = Image(64 * 4, 0);
  {
    SimOptions options = BulkDevice();
    options.fail_write = 3;  // the start, the first block, then the second block fails
    SimulatedDac dac(options);
    HidDeviceLink link(dac);
    Connect(dac, link);
    EXPECT_EQ(link.DownloadBulkImage(file), 0);
    const LinkFailure& failure = link.LastFailure();
    EXPECT_EQ(failure.stage, LinkStage::kBulkBlock);
    EXPECT_EQ(failure.index, 2u);
    EXPECT_EQ(failure.count, 4u);
    EXPECT_EQ(failure.bytes_done, 64u);
    EXPECT_EQ(failure.Describe().rfind("bulk block 2 of 4: ", 0), 0u) << failure.Describe();
    EXPECT_EQ(LinesOf(dac.Trace(), "write-failed").size(), 1u);
    ASSERT_EQ(link.DownloadBulkImage(file), 1);  // a success clears it
    EXPECT_FALSE(link.LastFailure().Failed());
  }
  {
    SimOptions options = BulkDevice();
    options.drop_eeprom_write = 3;  // counted as interrupt writes: the second block
    SimulatedDac dac(options);
    HidDeviceLink link(dac);
    Connect(dac, link);
    EXPECT_EQ(link.DownloadBulkImage(file), 1);  // nobody can tell from here
    EXPECT_EQ(LinesOf(dac.Trace(), "write").size(), 6u);
    Bytes received(file.begin(), file.begin() + 64);
    received.insert(received.end(), file.begin() + 128, file.end());
    // One block short, the device takes the end packet for the last block.
    ASSERT_EQ(dac.BulkImage().size(), 4u * 64u);
    EXPECT_TRUE(std::equal(received.begin(), received.end(), dac.BulkImage().begin()));
    EXPECT_FALSE(dac.BulkComplete());
  }
}

TEST_F(TransferTest, BulkBlockCountGoesLeastSignificantByteFirst) {
  SimulatedDac dac(BulkDevice());
  HidDeviceLink link(dac);
  Connect(dac, link);
  const Bytes file = Image(300 * 64 + 1, 0);
  EXPECT_EQ(link.DownloadBulkImage(File(file)), 1);
  const auto writes = LinesOf(dac.Trace(), "write");
  ASSERT_EQ(writes.size(), 303u);
  EXPECT_EQ(writes.front(), Write({0x0C, 0x01, 0x00, 0x00, 0x2D, 0x01, 0x00, 0x00}));
  EXPECT_EQ(writes.back(), Write({0x0C, 0xFF, 0x00, 0x00, 0x2D, 0x01, 0x00, 0x00}));
  EXPECT_EQ(LinesOf(dac.Trace(), "sleep").size(), 301u);
  EXPECT_TRUE(dac.BulkComplete());
}

TEST_F(TransferTest, BulkProgressOverSixtyFourKibibytesKeepsRising) {
  // The share is taken of the whole file: a 16-bit length would divide by 64
  // here, and by 0 for a file of exactly 64 KiB.
  for (std::size_t length : {std::size_t{65536}, std::size_t{65536 + 64}}) {
    SCOPED_TRACE(length);
    SimulatedDac dac(BulkDevice());
    HidDeviceLink link(dac);
    Connect(dac, link);
    RecordingSink sink;
    ScopedLinkProgress scope(link, &sink);
    EXPECT_EQ(link.DownloadBulkImage(File(Image(length, 0))), 1);
    ASSERT_FALSE(sink.values.empty());
    // The first block's 0 is not reported when the length is a multiple of
    // 64 KiB: the last progress starts as the length's low 16 bits.
    EXPECT_EQ(sink.values.front(), length == 65536 ? 1 : 0);
    EXPECT_TRUE(std::is_sorted(sink.values.begin(), sink.values.end()));
    EXPECT_EQ(std::adjacent_find(sink.values.begin(), sink.values.end()), sink.values.end());
    EXPECT_LT(sink.values.back(), 1000);
    EXPECT_GE(sink.values.back(), 990);
    EXPECT_TRUE(dac.BulkComplete());
  }
}

TEST_F(TransferTest, BulkReportsFailureWhereTheDeviceTookNothing) {
  // A link that was never opened refuses every write: that is no success.
  {
    SimulatedDac dac(BulkDevice());
    HidDeviceLink link(dac);
    EXPECT_EQ(link.DownloadBulkImage(File(Image(65, 0))), 0);
    EXPECT_TRUE(LinesOf(dac.Trace(), "write").empty());
  }
  // A missing file.
  {
    SimulatedDac dac(BulkDevice());
    HidDeviceLink link(dac);
    Connect(dac, link);
    EXPECT_EQ(link.DownloadBulkImage((dir_ / "missing.bin").string()), 0);
    EXPECT_TRUE(dac.Trace().empty());
  }
  // A file far larger than any firmware (a wrong pick under "All Files") is
  // refused before anything is sent, and the check says so first.
  {
    SimulatedDac dac(BulkDevice());
    HidDeviceLink link(dac);
    Connect(dac, link);
    const std::string huge = File({}, "huge.bin");
    std::filesystem::resize_file(huge, kMaxBulkImage + 1);
    EXPECT_EQ(JudgeBulkImage(huge).verdict, Verdict::kInvalidImage);
    EXPECT_EQ(link.DownloadBulkImage(huge), 0);
    EXPECT_TRUE(dac.Trace().empty());
    std::filesystem::resize_file(huge, kMaxBulkImage);
    EXPECT_EQ(JudgeBulkImage(huge).verdict, Verdict::kReady);
  }
  // A failed interrupt write stops the transfer at once; the link stays open.
  for (int k = 1; k <= 4; ++k) {
    SCOPED_TRACE(k);
    SimOptions options = BulkDevice();
    options.fail_write = k;  // start, block, block, end
    SimulatedDac dac(options);
    HidDeviceLink link(dac);
    Connect(dac, link);
    EXPECT_EQ(link.DownloadBulkImage(File(Image(65, 0))), 0);
    const auto& trace = dac.Trace();
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace.back().rfind("write-failed ", 0), 0u);
    EXPECT_EQ(LinesOf(trace, "write").size(), static_cast<std::size_t>(k - 1));
    EXPECT_TRUE(link.IsFound());
    EXPECT_FALSE(dac.BulkComplete());
  }
}

}  // namespace
}  // namespace veltrane
