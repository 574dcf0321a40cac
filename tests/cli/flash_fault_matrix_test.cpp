// A fault walked through every report of an 8 KiB flash: a failing output
// report, a silently lost write packet, the device unplugged, each with and
// without verify, and with --changed-only and --keep-settings. Whatever happens, the EEPROM holds the old image unchanged,
// the new image exactly, or an image whose first byte fails the header
// checksum; and only a run that left the new image says it completed — but
// for --no-verify with a lost packet, which nothing can see without reading
// back, and whose success line must then say so.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command_context.h"
#include "cli/flash_command.h"
#include "cli/json_report.h"
#include "sim/simulated_dac.h"

namespace veltrane::cli {
namespace {

using sim::SimOptions;
using sim::SimulatedDac;

constexpr std::size_t kImageSize = 8192;
constexpr std::size_t kFeedbackBlock = 0x1712;

enum class Fault { kOut, kDrop, kUnplug };

struct Outcome {
  int status = -1;
  std::string out;
  std::vector<std::uint8_t> eeprom;  // the image's span after the run
  int reports = 0;                   // reports the device saw
  int write_packets = 0;             // EEPROM write packets among them
};

bool HeaderChecksumFails(const std::vector<std::uint8_t>& bytes) {
  std::uint8_t sum = 0;
  for (int i = 1; i < 18; ++i) sum = static_cast<std::uint8_t>(sum + bytes[static_cast<std::size_t>(i)]);
  return bytes[0] != sum;
}

class FaultMatrixTest : public ::testing::Test {
 protected:
  void SetUp() override {
    image_ = SimulatedDac::FactoryImage(4, 0x0103, kImageSize);
    path_ = ::testing::TempDir() + "fault_matrix_image.bin";
    std::FILE* f = std::fopen(path_.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fwrite(image_.data(), 1, image_.size(), f), image_.size());
    std::fclose(f);
    SimulatedDac fresh;
    old_.assign(fresh.Eeprom().begin(), fresh.Eeprom().begin() + kImageSize);
  }

  Outcome Flash(Fault fault, int k, bool verify, bool changed_only = false, bool keep_settings = false) {
    SimOptions options;
    if (fault == Fault::kOut) options.fail_output_report = k;
    if (fault == Fault::kDrop) options.drop_eeprom_write = k;
    if (fault == Fault::kUnplug) options.unplug_after = k;
    SimulatedDac dac(options);
    std::ostringstream out;
    std::ostringstream err;
    JsonReport report;
    CommandContext context;
    context.platform = &dac;
    context.out = &out;
    context.err = &err;
    context.report = &report;
    context.progress = ProgressStyle::kSilent;
    FlashOptions flash;
    flash.image_path = path_;
    flash.verify = verify;
    flash.changed_only = changed_only;
    flash.keep_settings = keep_settings;
    Outcome run;
    run.status = FlashCommand(context, flash);
    run.out = out.str();
    run.eeprom.assign(dac.Eeprom().begin(), dac.Eeprom().begin() + kImageSize);
    for (const std::string& line : dac.Trace()) {
      if (line.rfind("out ", 0) == 0 || line.rfind("in ", 0) == 0 || line.rfind("write ", 0) == 0) {
        ++run.reports;
      }
      // "out 00 LL 04 …": a write packet (a select packet is "out 00 04 00 …").
      if (line.rfind("out 00 ", 0) == 0 && line.compare(9, 3, " 04") == 0) ++run.write_packets;
    }
    return run;
  }

  std::vector<std::uint8_t> image_;
  std::vector<std::uint8_t> old_;
  std::string path_;
};

TEST_F(FaultMatrixTest, NoFaultPointLeavesAValidLookingMixOrClaimsSuccessFalsely) {
  struct Mode {
    Fault fault;
    const char* name;
    bool verify;
    bool changed_only = false;
    bool keep_settings = false;
  };
  const Mode modes[] = {{Fault::kOut, "out", true},    {Fault::kOut, "out", false},
                        {Fault::kDrop, "drop", true},  {Fault::kDrop, "drop", false},
                        {Fault::kUnplug, "unplug", true}, {Fault::kUnplug, "unplug", false},
                        {Fault::kOut, "out --changed-only", true, true},
                        {Fault::kDrop, "drop --changed-only", true, true},
                        {Fault::kUnplug, "unplug --changed-only", true, true},
                        {Fault::kOut, "out --keep-settings", true, false, true},
                        {Fault::kDrop, "drop --keep-settings --changed-only", true, true, true},
                        {Fault::kUnplug, "unplug --keep-settings --no-verify", false, false, true}};
  // --keep-settings writes the DAC's feedback block in place of the image's.
  std::vector<std::uint8_t> kept = image_;
  std::copy(old_.begin() + kFeedbackBlock, old_.begin() + kFeedbackBlock + 4, kept.begin() + kFeedbackBlock);
  ASSERT_NE(kept, image_);
  for (const Mode& mode : modes) {
    const std::vector<std::uint8_t>& new_image = mode.keep_settings ? kept : image_;
    auto flash = [&](int k) { return Flash(mode.fault, k, mode.verify, mode.changed_only, mode.keep_settings); };
    // A clean run tells how many reports (write packets for drop) there are to fault.
    const Outcome clean = flash(0);
    ASSERT_EQ(clean.status, 0) << mode.name;
    ASSERT_EQ(clean.eeprom, new_image) << mode.name;
    const int points = mode.fault == Fault::kDrop ? clean.write_packets : clean.reports;
    int failures = 0;
    for (int k = 1; k <= points; ++k) {
      const Outcome run = flash(k);
      const std::string where = std::string(mode.name) + ":" + std::to_string(k) +
                                (mode.verify ? "" : " --no-verify");
      const bool says_completed = run.out.find("completed") != std::string::npos;
      EXPECT_EQ(says_completed, run.status == 0) << where;
      if (run.status != 0) ++failures;
      if (mode.fault == Fault::kDrop && !mode.verify) {
        // Nothing can see a lost packet without reading back: the line must say so.
        if (run.status == 0) {
          EXPECT_NE(run.out.find("not verified"), std::string::npos) << where;
        }
        continue;
      }
      const bool is_new = run.eeprom == new_image;
      const bool is_old = run.eeprom == old_;
      EXPECT_TRUE(is_new || is_old || HeaderChecksumFails(run.eeprom)) << where << ": a valid-looking mix";
      EXPECT_TRUE(run.status != 0 || is_new) << where << ": completed over a wrong image";
    }
    // Every fault that reaches the image is noticed, except lost packets without verify.
    if (mode.fault != Fault::kDrop || mode.verify) {
      EXPECT_GT(failures, points / 2) << mode.name;
    }
  }
}

TEST_F(FaultMatrixTest, ChangedOnlyOfTheHeldImageSendsOnlyTheFirstAndTheRestorePacket) {
  SimulatedDac dac;
  std::copy(image_.begin(), image_.end(), dac.Eeprom().begin());
  std::ostringstream out, err;
  JsonReport report;
  CommandContext context;
  context.platform = &dac;
  context.out = &out;
  context.err = &err;
  context.report = &report;
  context.progress = ProgressStyle::kSilent;
  FlashOptions flash;
  flash.image_path = path_;
  flash.force = true;  // the same version as the DAC's
  flash.changed_only = true;
  ASSERT_EQ(FlashCommand(context, flash), 0) << err.str();
  std::vector<std::string> writes;
  for (const std::string& line : dac.Trace()) {
    if (line.rfind("out 00 ", 0) == 0 && line.compare(9, 3, " 04") == 0) writes.push_back(line.substr(0, 28));
  }
  char inverted[8];
  std::snprintf(inverted, sizeof inverted, "%02x", static_cast<unsigned>(static_cast<std::uint8_t>(~image_[0])));
  ASSERT_EQ(writes.size(), 2u);
  // The first packet, 16 bytes at 0 with byte 0 inverted; then the restore packet.
  EXPECT_EQ(writes[0].substr(0, 27), "out 00 16 04 00 00 00 00 " + std::string(inverted));
  EXPECT_EQ(writes[1].substr(0, 22), "out 00 07 04 00 00 00 ");
  EXPECT_EQ(std::vector<std::uint8_t>(dac.Eeprom().begin(), dac.Eeprom().begin() + kImageSize), image_);
}

}  // namespace
}  // namespace veltrane::cli
