// Commands run in process against the simulated DAC, for what the program
// cannot be made to do from outside: Ctrl-C at a chosen packet, a device node
// this user may not open, a system without a HID backend.
#include <gtest/gtest.h>

#include <atomic>
#include <sstream>

#include "cli/command_context.h"
#include "cli/device_commands.h"
#include "cli/flash_command.h"
#include "cli/json_report.h"
#include "sim/simulated_dac.h"
#include "tests/support/fault_matrix.h"
#include "tests/support/trace_lines.h"
#include "image/image_header.h"

namespace veltrane::cli {
namespace {

using sim::SimOptions;
using sim::SimulatedDac;
using veltrane::testing::LinesOf;

// A simulated DAC whose user presses Ctrl-C during the K-th pause.
class InterruptingDac : public SimulatedDac {
 public:
  InterruptingDac(SimOptions options, int k, std::atomic<bool>* stop)
      : SimulatedDac(std::move(options)), k_(k), stop_(stop) {}
  void Sleep(unsigned ms) override {
    SimulatedDac::Sleep(ms);
    if (++sleeps_ == k_) stop_->store(true);
  }

 private:
  int k_;
  int sleeps_ = 0;
  std::atomic<bool>* stop_;
};

class CommandsTest : public ::testing::Test {
 protected:
  CommandContext Context(HidPlatform* platform) {
    CommandContext context;
    context.platform = platform;
    context.out = &out_;
    context.err = &err_;
    context.progress = ProgressStyle::kSilent;
    context.report = &report_;
    return context;
  }
  std::string WriteImage(const std::vector<std::uint8_t>& image) {
    // CTest runs the tests of this file side by side: one file per test.
    const std::string path = ::testing::TempDir() + "cli_commands_" +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".bin";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(image.data(), 1, image.size(), f);
    std::fclose(f);
    return path;
  }
  std::ostringstream out_;
  std::ostringstream err_;
  JsonReport report_;
};

TEST_F(CommandsTest, CtrlCStopsAtAPacketBoundaryWithoutTheRestorePacket) {
  std::atomic<bool> stop{false};
  InterruptingDac dac(SimOptions{}, 6, &stop);  // the header read's pause, then five packets'
  const auto image = SimulatedDac::FactoryImage(4, 0x0103);
  CommandContext context = Context(&dac);
  context.stop = &stop;
  FlashOptions options;
  options.image_path = WriteImage(image);
  EXPECT_EQ(FlashCommand(context, options), kExitFailed);
  EXPECT_NE(err_.str().find("interrupted after 80 of 2048 bytes"), std::string::npos) << err_.str();
  // The header read (select, request), the select and five write packets; no
  // sixth, no restore, no read-back.
  const auto outs = LinesOf(dac.Trace(), "out");
  ASSERT_EQ(outs.size(), 8u);
  EXPECT_EQ(outs.back().substr(0, 22), "out 00 16 04 00 00 00 ");
  EXPECT_EQ(dac.Eeprom()[0], static_cast<std::uint8_t>(~image[0]));
  EXPECT_EQ(out_.str(), "");
}

TEST_F(CommandsTest, CtrlCDuringTheBulkTransferSendsNoFurtherBlocks) {
  std::atomic<bool> stop{false};
  SimOptions options;
  options.product_id = 16;
  InterruptingDac dac(options, 3, &stop);
  CommandContext context = Context(&dac);
  context.stop = &stop;
  FlashOptions flash;
  flash.image_path = WriteImage(std::vector<std::uint8_t>(1000, 0x5A));
  EXPECT_EQ(FlashCommand(context, flash), kExitFailed);
  EXPECT_NE(err_.str().find("interrupted after 192 of 1000 bytes"), std::string::npos) << err_.str();
  // The start packet and three blocks reached the device; the end packet did not.
  EXPECT_EQ(LinesOf(dac.Trace(), "write").size(), 4u);
  EXPECT_FALSE(dac.BulkComplete());
}

TEST_F(CommandsTest, EepromWriteAndFeedbackSetStopAtAPacketBoundaryOnRequest) {
  {
    std::atomic<bool> stop{false};
    InterruptingDac dac(SimOptions{}, 3, &stop);
    const std::vector<std::uint8_t> before = dac.Eeprom();
    CommandContext context = Context(&dac);
    context.stop = &stop;
    // Three packets of 58 bytes (65-byte reports) went out before the stop.
    EXPECT_EQ(EepromWriteCommand(context, "0x100", WriteImage(std::vector<std::uint8_t>(400, 0xA5))),
              kExitFailed);
    EXPECT_NE(err_.str().find("stopped after 174 of 400 bytes"), std::string::npos) << err_.str();
    EXPECT_EQ(dac.Eeprom()[0x100 + 173], 0xA5);
    EXPECT_EQ(dac.Eeprom()[0x100 + 174], before[0x100 + 174]);
    const Json doc = Json::parse(report_.Render(kExitFailed));
    EXPECT_EQ(doc["error"]["stage"], "stopped");
  }
  {
    // Asked before the one packet of the block: nothing is sent.
    std::atomic<bool> stop{true};
    SimulatedDac dac;
    const std::vector<std::uint8_t> before = dac.Eeprom();
    CommandContext context = Context(&dac);
    context.stop = &stop;
    EXPECT_EQ(FeedbackSetCommand(context, {"0.25", "0.50", "1.00"}), kExitFailed);
    EXPECT_NE(err_.str().find("feedback settings are unchanged"), std::string::npos) << err_.str();
    EXPECT_EQ(dac.Eeprom(), before);
  }
}

TEST_F(CommandsTest, ANodeThisUserMayNotOpenIsListedWithItsFix) {
  SimOptions options;
  options.access_denied = true;
  SimulatedDac dac(options);
  CommandContext context = Context(&dac);
  EXPECT_EQ(ListCommand(context), kExitDone);
  EXPECT_NE(out_.str().find("refused: permission denied"), std::string::npos) << out_.str();
  EXPECT_NE(out_.str().find("fix "), std::string::npos);
  out_.str("");
  EXPECT_EQ(InfoCommand(context), kExitFailed);
  EXPECT_NE(err_.str().find("may not open its device node (permission denied)"), std::string::npos)
      << err_.str();
  EXPECT_EQ(err_.str().find("No device found"), std::string::npos);
  EXPECT_EQ(out_.str(), "");
}

TEST_F(CommandsTest, NoSystemBackendReadsAsNoDevice) {
  CommandContext context = Context(nullptr);
  EXPECT_EQ(InfoCommand(context), kExitFailed);
  EXPECT_EQ(err_.str(), "veltrane-cli: No device found!\nPlease connect device\n");
  err_.str("");
  EXPECT_EQ(FeedbackGetCommand(context), kExitFailed);
  EXPECT_EQ(err_.str(), "veltrane-cli: Failed device enumeration!\nPlease reconnect the device!\nAnd try again!\n");
  EXPECT_EQ(ListCommand(context), kExitFailed);
}

TEST_F(CommandsTest, BackupHoldsTheEepromAsItWasBeforeTheWrite) {
  SimulatedDac dac;
  const std::vector<std::uint8_t> before(dac.Eeprom().begin(), dac.Eeprom().begin() + 2048);
  const auto image = SimulatedDac::FactoryImage(4, 0x0103, 1000);
  CommandContext context = Context(&dac);
  FlashOptions options;
  options.image_path = WriteImage(image);
  options.backup_path = ::testing::TempDir() + "cli_commands_backup.bin";
  ASSERT_EQ(FlashCommand(context, options), kExitDone) << err_.str();
  std::FILE* f = std::fopen(options.backup_path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  std::vector<std::uint8_t> backup(2000);
  backup.resize(std::fread(backup.data(), 1, backup.size(), f));
  std::fclose(f);
  EXPECT_EQ(backup, std::vector<std::uint8_t>(before.begin(), before.begin() + 1000));
  EXPECT_TRUE(std::equal(image.begin(), image.end(), dac.Eeprom().begin()));
}

// One test per mended fault of the one road, at its boundary.

// A file one byte short of its header's length is refused by check and flash
// alike; the full length and one byte more go (the longer file is sent whole).
TEST_F(CommandsTest, AFileShorterThanItsHeadersLengthIsRefusedEverywhere) {
  const auto image = SimulatedDac::FactoryImage(4, 0x0103, 2048);
  auto longer = image;
  longer.push_back(0x5A);
  const struct {
    std::vector<std::uint8_t> bytes;
    ExitStatus status;
  } cases[] = {{std::vector<std::uint8_t>(image.begin(), image.end() - 1), kExitRefused},
               {image, kExitDone},
               {longer, kExitDone}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes.size());
    SimulatedDac dac;
    const auto before = dac.Eeprom();
    const std::string path = WriteImage(c.bytes);
    EXPECT_EQ(CheckCommand(Context(&dac), path), c.status);
    FlashOptions options;
    options.image_path = path;
    EXPECT_EQ(FlashCommand(Context(&dac), options), c.status);
    if (c.status == kExitDone) {
      EXPECT_TRUE(std::equal(c.bytes.begin(), c.bytes.end(), dac.Eeprom().begin()));
    } else {
      EXPECT_EQ(dac.Eeprom(), before);
      EXPECT_NE(err_.str().find("cut short"), std::string::npos) << err_.str();
    }
  }
}

// The first packet lost over an old header whose checksum is the complement
// of the new one: the repair leaves byte 0 failing the header as it stands.
TEST_F(CommandsTest, TheRepairAfterALostFirstPacketFailsTheHeaderThatIsThere) {
  const testing::ImagePair pair = testing::RepairBreakingPairs(false)[2];
  ASSERT_EQ(pair.old_image[0], static_cast<std::uint8_t>(~pair.new_file[0]));
  SimOptions sim;
  sim.drop_eeprom_write = 1;
  SimulatedDac dac(sim);
  std::copy(pair.old_image.begin(), pair.old_image.end(), dac.Eeprom().begin());
  FlashOptions options;
  options.image_path = WriteImage(pair.new_file);
  EXPECT_EQ(FlashCommand(Context(&dac), options), kExitFailed);
  EXPECT_TRUE(testing::HeaderChecksumFails(dac.Eeprom()));
  EXPECT_EQ(out_.str().find("completed"), std::string::npos);
}

// eeprom write 0 takes the flash's rule: a failing packet or Ctrl-C leaves
// byte 0 failing the checksum; a write from address 1 is a plain range write.
TEST_F(CommandsTest, EepromWriteFromZeroHoldsByteZeroUntilEverythingIsReadBack) {
  const auto image = SimulatedDac::FactoryImage(4, 0x0103, 2048);
  const std::string path = WriteImage(image);
  {
    SimOptions sim;
    sim.fail_output_report = 20;
    SimulatedDac dac(sim);
    EXPECT_EQ(EepromWriteCommand(Context(&dac), "0", path), kExitFailed);
    EXPECT_TRUE(testing::HeaderChecksumFails(dac.Eeprom()));
  }
  {
    std::atomic<bool> stop{false};
    InterruptingDac dac(SimOptions{}, 8, &stop);
    CommandContext context = Context(&dac);
    context.stop = &stop;
    EXPECT_EQ(EepromWriteCommand(context, "0", path), kExitFailed);
    EXPECT_TRUE(testing::HeaderChecksumFails(dac.Eeprom()));
    EXPECT_NE(err_.str().find("interrupted"), std::string::npos) << err_.str();
  }
  {
    SimulatedDac dac;
    EXPECT_EQ(EepromWriteCommand(Context(&dac), "0", path), kExitDone);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), dac.Eeprom().begin()));
  }
}

// Bulk products refuse the EEPROM-only options (2) and an EEPROM image (3)
// unless forced; a headerless bulk image goes.
TEST_F(CommandsTest, BulkProductsRefuseEepromOptionsAndEepromImages) {
  const auto eeprom_image = SimulatedDac::FactoryImage(4, 0x0103, 1024);
  const std::vector<std::uint8_t> bulk_image(1000, 0x42);
  const struct {
    const char* name;
    const std::vector<std::uint8_t>* bytes;
    bool changed_only, keep_settings, force;
    ExitStatus status;
  } cases[] = {{"--changed-only", &bulk_image, true, false, false, kExitUsage},
               {"--keep-settings", &bulk_image, false, true, false, kExitUsage},
               {"EEPROM image", &eeprom_image, false, false, false, kExitRefused},
               {"EEPROM image --force", &eeprom_image, false, false, true, kExitDone},
               {"bulk image", &bulk_image, false, false, false, kExitDone}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SimOptions sim;
    sim.product_id = 16;
    SimulatedDac dac(sim);
    FlashOptions options;
    options.image_path = WriteImage(*c.bytes);
    options.changed_only = c.changed_only;
    options.keep_settings = c.keep_settings;
    options.force = c.force;
    EXPECT_EQ(FlashCommand(Context(&dac), options), c.status) << err_.str();
    EXPECT_EQ(LinesOf(dac.Trace(), "write").empty(), c.status != kExitDone);
  }
  EXPECT_NE(err_.str().find("carries an EEPROM image header"), std::string::npos);
}

}  // namespace
}  // namespace veltrane::cli
