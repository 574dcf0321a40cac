// A fault walked through every report of an 8 KiB flash: a failing output
// report, a silently lost write packet, the device unplugged, each with and
// without verify. Whatever happens, the EEPROM holds the old image unchanged,
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

enum class Fault { kOut, kDrop, kUnplug };

struct Outcome {
  int status = -1;
  std::string out;
  std::vector<std::uint8_t> eeprom;  // the image's span after the run
  int reports = 0;                   // reports the device saw
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

  Outcome Flash(Fault fault, int k, bool verify) {
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
    Outcome run;
    run.status = FlashCommand(context, flash);
    run.out = out.str();
    run.eeprom.assign(dac.Eeprom().begin(), dac.Eeprom().begin() + kImageSize);
    for (const std::string& line : dac.Trace()) {
      if (line.rfind("out ", 0) == 0 || line.rfind("in ", 0) == 0 || line.rfind("write ", 0) == 0) {
        ++run.reports;
      }
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
  };
  const Mode modes[] = {{Fault::kOut, "out", true},    {Fault::kOut, "out", false},
                        {Fault::kDrop, "drop", true},  {Fault::kDrop, "drop", false},
                        {Fault::kUnplug, "unplug", true}, {Fault::kUnplug, "unplug", false}};
  for (const Mode& mode : modes) {
    // A clean run tells how many reports (write packets for drop) there are to fault.
    const Outcome clean = Flash(mode.fault, 0, mode.verify);
    ASSERT_EQ(clean.status, 0) << mode.name;
    ASSERT_EQ(clean.eeprom, image_);
    const int points = mode.fault == Fault::kDrop ? static_cast<int>(kImageSize / 16) : clean.reports;
    int failures = 0;
    for (int k = 1; k <= points; ++k) {
      const Outcome run = Flash(mode.fault, k, mode.verify);
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
      const bool is_new = run.eeprom == image_;
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

}  // namespace
}  // namespace veltrane::cli
