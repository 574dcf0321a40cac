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
#include "tests/support/trace_lines.h"
#include "update/image_header.h"

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
  InterruptingDac dac(SimOptions{}, 5, &stop);
  const auto image = SimulatedDac::FactoryImage(4, 0x0103);
  CommandContext context = Context(&dac);
  context.stop = &stop;
  FlashOptions options;
  options.image_path = WriteImage(image);
  EXPECT_EQ(FlashCommand(context, options), kExitFailed);
  EXPECT_NE(err_.str().find("interrupted after 80 of 2048 bytes"), std::string::npos) << err_.str();
  // The select and five write packets; no sixth, no restore, no read-back.
  const auto outs = LinesOf(dac.Trace(), "out");
  ASSERT_EQ(outs.size(), 6u);
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

}  // namespace
}  // namespace veltrane::cli
