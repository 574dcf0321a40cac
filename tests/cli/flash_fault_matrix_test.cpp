// The fault matrix on every command-line road: flash, --changed-only,
// --keep-settings, eeprom write 0 and a bench unit, over the image pairs
// that break repairs (the desktop's Write walks the same table in the
// firmware page's suite). --no-verify is the described packet sequence and
// cannot see a lost packet: it is walked for out, unplug and stop (flash and
// bench).
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/bench_unit.h"
#include "cli/command_context.h"
#include "cli/device_commands.h"
#include "cli/flash_command.h"
#include "cli/json_report.h"
#include "tests/support/fault_matrix.h"

namespace veltrane::cli {
namespace {

using testing::MatrixDac;
using testing::Road;

struct Quiet {
  std::ostringstream out;
  std::ostringstream err;
  JsonReport report;
  CommandContext context;

  explicit Quiet(MatrixDac& dac) {
    context.platform = &dac;
    context.out = &out;
    context.err = &err;
    context.report = &report;
    context.progress = ProgressStyle::kSilent;
    context.stop = &dac.stop;
  }
};

Road FlashRoad(const char* name, bool changed_only, bool keep_settings, bool verify = true) {
  return {name,
          [=](MatrixDac& dac, const std::string& path) {
            Quiet q(dac);
            FlashOptions flash;
            flash.image_path = path;
            flash.verify = verify;
            flash.changed_only = changed_only;
            flash.keep_settings = keep_settings;
            const bool done = FlashCommand(q.context, flash) == kExitDone;
            EXPECT_EQ(done, q.out.str().find("completed") != std::string::npos) << name;
            return done;
          },
          keep_settings, true, verify};
}

Road EepromWriteRoad() {
  return {"eeprom write 0", [](MatrixDac& dac, const std::string& path) {
            Quiet q(dac);
            return EepromWriteCommand(q.context, "0", path) == kExitDone;
          }};
}

Road BenchUnitRoad(bool verify = true) {
  return {verify ? "bench unit" : "bench unit --no-verify", [=](MatrixDac& dac, const std::string& path) {
            std::string device_path;
            {
              HidDeviceLink probe(dac);
              if (probe.FindDevice() == 0) return false;
              device_path = probe.DevicePath();
            }
            const ImageFile file = ReadImageFile(path, kMaxBulkImage);
            BenchUnit unit(dac, nullptr, "SIM0001", "sim", device_path);
            FlashOptions options;
            options.verify = verify;
            unit.Start(file.bytes, path, options, &dac.stop);
            unit.Join();
            return unit.Record().Passed();
          },
          false, true, verify};
}

class FaultMatrixTest : public ::testing::TestWithParam<int> {};

TEST_P(FaultMatrixTest, NoFaultLeavesAValidLookingMixOrClaimsDoneFalsely) {
  const Road roads[] = {FlashRoad("flash", false, false), FlashRoad("flash --changed-only", true, false),
                        FlashRoad("flash --keep-settings", false, true), EepromWriteRoad(), BenchUnitRoad()};
  const std::vector<testing::ImagePair> pairs = testing::RepairBreakingPairs();
  const testing::ImagePair& pair = pairs[static_cast<std::size_t>(GetParam())];
  for (const Road& road : roads) testing::WalkFaultMatrix(road, pair, 160);
}

INSTANTIATE_TEST_SUITE_P(Pairs, FaultMatrixTest,
                         ::testing::Range(0, static_cast<int>(testing::RepairBreakingPairs().size())));

TEST(FaultMatrixNoVerify, OutUnplugAndStopLeaveNoValidLookingMix) {
  // Without the read-back a lost packet goes unseen; every other fault is
  // caught. The odd-length pairs would pass after the first packet were
  // byte 0 held plainly inverted.
  std::vector<testing::ImagePair> pairs = testing::OddLengthPairs();
  for (const testing::ImagePair& pair : pairs) {
    auto after_first = static_cast<std::uint8_t>(pair.old_image[16] + pair.old_image[17]);
    for (std::size_t i = 1; i < 16; ++i) after_first = static_cast<std::uint8_t>(after_first + pair.new_file[i]);
    ASSERT_EQ(after_first, static_cast<std::uint8_t>(~pair.new_file[0])) << pair.name;
  }
  for (const testing::ImagePair& pair : testing::RepairBreakingPairs(false)) {
    if (pair.name == "old checksum the complement of the new" || pair.name == "same length") pairs.push_back(pair);
  }
  for (const Road& road : {FlashRoad("flash --no-verify", false, false, false), BenchUnitRoad(false)}) {
    for (const testing::ImagePair& pair : pairs) testing::WalkFaultMatrix(road, pair, 60);
  }
}

TEST(FaultMatrixChangedOnly, TheHeldImageSendsOnlyTheFirstAndTheRestorePacket) {
  const std::vector<std::uint8_t> image = sim::SimulatedDac::FactoryImage(4, 0x0103, 8192);
  const std::string path = testing::WriteTempFile(image, "fault_matrix_held.bin");
  sim::SimulatedDac dac;
  std::copy(image.begin(), image.end(), dac.Eeprom().begin());
  std::ostringstream out, err;
  JsonReport report;
  CommandContext context;
  context.platform = &dac;
  context.out = &out;
  context.err = &err;
  context.report = &report;
  context.progress = ProgressStyle::kSilent;
  FlashOptions flash;
  flash.image_path = path;
  flash.force = true;  // the same version as the DAC's
  flash.changed_only = true;
  const ExitStatus status = FlashCommand(context, flash);
  std::remove(path.c_str());
  ASSERT_EQ(status, 0) << err.str();
  std::vector<std::string> writes;
  for (const std::string& line : dac.Trace()) {
    if (line.rfind("out 00 ", 0) == 0 && line.compare(9, 3, " 04") == 0) writes.push_back(line.substr(0, 28));
  }
  char inverted[8];
  std::snprintf(inverted, sizeof inverted, "%02x", static_cast<unsigned>(static_cast<std::uint8_t>(~image[0])));
  ASSERT_EQ(writes.size(), 2u);
  // The first packet, 16 bytes at 0 with byte 0 inverted; then the restore packet.
  EXPECT_EQ(writes[0].substr(0, 27), "out 00 16 04 00 00 00 00 " + std::string(inverted));
  EXPECT_EQ(writes[1].substr(0, 22), "out 00 07 04 00 00 00 ");
  EXPECT_EQ(std::vector<std::uint8_t>(dac.Eeprom().begin(), dac.Eeprom().begin() + 8192), image);
}

}  // namespace
}  // namespace veltrane::cli
