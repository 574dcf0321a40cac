// --simulate=FILE: an unusable FILE is refused before anything runs, a FILE
// the run did not create keeps its length unless a write needs more, and two
// runs on one FILE do not both go ahead; every write packet is in FILE as
// soon as the DAC took it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

#include "device/eeprom_image_flash.h"
#include "device/hid_device_link.h"
#include "sim/sim_args.h"
#include "sim/simulated_dac.h"
#include "tests/update/scratch_dir.h"

namespace veltrane::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::unique_ptr<SimulatedDac> Create(const std::string& file, std::string* error) {
  SimSetup setup;
  setup.enabled = true;
  setup.options.eeprom_file = file;
  return CreateSimulatedDac(setup, error);
}

TEST(SimEepromFileTest, UnusableFilesAreRefusedWithASentence) {
  testing::ScratchDir dir;
  const std::string too_long = dir.Write(Bytes(65537, 0xAB), "long.bin");
  std::filesystem::create_directories(dir / "ro");
  const struct {
    std::string file;
    const char* says;
    bool skip;
  } cases[] = {
      {dir.Path().string(), "not a regular file", false},
      {"/dev/null", "not a regular file", !std::filesystem::exists("/dev/null")},
      {(dir / "no/such/folder/eeprom.bin").string(), "folder does not exist", false},
      {too_long, "longer than", false},
      // root may write anywhere: the permission case means nothing then.
#ifdef _WIN32
      // A read-only folder does not stop writes into it on Windows.
      {(dir / "ro/eeprom.bin").string(), "cannot", true},
#else
      {(dir / "ro/eeprom.bin").string(), "cannot", geteuid() == 0},
#endif
  };
  std::filesystem::permissions(dir / "ro", std::filesystem::perms::owner_read |
                                               std::filesystem::perms::owner_exec);
  for (const auto& c : cases) {
    if (c.skip) continue;
    SCOPED_TRACE(c.file);
    std::string error;
    EXPECT_EQ(Create(c.file, &error), nullptr);
    EXPECT_NE(error.find(c.says), std::string::npos) << error;
    EXPECT_NE(error.find(c.file), std::string::npos) << error;
  }
  std::filesystem::permissions(dir / "ro", std::filesystem::perms::owner_all);
  EXPECT_EQ(std::filesystem::file_size(too_long), 65537u);
}

TEST(SimEepromFileTest, AShortFileIsTheEepromsStartAndKeepsItsLengthUnlessAWriteNeedsMore) {
  testing::ScratchDir dir;
  Bytes stored(100);
  for (std::size_t i = 0; i < stored.size(); ++i) stored[i] = static_cast<std::uint8_t>(i);
  const std::string file = dir.Write(stored, "eeprom.bin");
  std::string error;
  {
    auto dac = Create(file, &error);
    ASSERT_NE(dac, nullptr) << error;
    EXPECT_TRUE(std::equal(stored.begin(), stored.end(), dac->Eeprom().begin()));
    EXPECT_EQ(dac->Eeprom()[100], 0xFF);  // past the file: erased
    HidDeviceLink link(*dac);
    ASSERT_EQ(link.FindDevice(), 1);
    std::uint8_t block[4];
    ASSERT_EQ(link.ReadFeedbackSettings(0xA0, 0x00, block, 4), 1);
  }
  EXPECT_EQ(std::filesystem::file_size(file), 100u);  // a read changes nothing

  {
    auto dac = Create(file, &error);
    ASSERT_NE(dac, nullptr) << error;
    HidDeviceLink link(*dac);
    ASSERT_EQ(link.FindDevice(), 1);
    const std::uint8_t byte = 0x5A;
    ASSERT_EQ(link.WriteEeprom(0xA0, 0x00, 10, &byte, 1), 1);
  }
  EXPECT_EQ(std::filesystem::file_size(file), 100u);  // written within: same length
  {
    auto dac = Create(file, &error);
    ASSERT_NE(dac, nullptr) << error;
    EXPECT_EQ(dac->Eeprom()[10], 0x5A);
    HidDeviceLink link(*dac);
    ASSERT_EQ(link.FindDevice(), 1);
    ASSERT_EQ(link.WriteFeedbackSettings(0xA0, 0x00, 1, 2, 3), 1);  // 0x1712..0x1715
  }
  EXPECT_EQ(std::filesystem::file_size(file), 0x1716u);  // grown only as far as needed
  EXPECT_FALSE(std::filesystem::exists(file + ".saving"));

  // A new FILE is the factory EEPROM, kept whole.
  const std::string fresh = (dir / "fresh.bin").string();
  { ASSERT_NE(Create(fresh, &error), nullptr) << error; }
  EXPECT_EQ(std::filesystem::file_size(fresh), 65536u);
}

TEST(SimEepromFileTest, EveryWritePacketIsInTheFileWhileTheRunGoesOn) {
  testing::ScratchDir dir;
  const Bytes image = SimulatedDac::FactoryImage(4, 0x0103, 8192);
  const struct {
    const char* name;
    std::size_t file_length;  // 0: a new FILE
    std::uint16_t address;
    Bytes bytes;              // written in packets; empty: a flash of `image`
    std::size_t length_after;
  } cases[] = {
      {"new file", 0, 0x2000, {0x11, 0x22}, 65536},
      {"within a short file", 100, 10, {0x5A, 0x5B}, 100},
      {"past a short file's end", 100, 0x1712, {1, 2, 3, 4}, 0x1716},
      {"the bytes it holds", 100, 20, {20, 21}, 100},
      {"a flash", 100, 0, {}, 8192},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes stored(c.file_length);
    for (std::size_t i = 0; i < stored.size(); ++i) stored[i] = static_cast<std::uint8_t>(i);
    const std::string file = dir.Write(stored, "eeprom" + std::to_string(++n) + ".bin");
    std::string error;
    auto dac = Create(file, &error);
    ASSERT_NE(dac, nullptr) << error;
    HidDeviceLink link(*dac);
    ASSERT_EQ(link.FindDevice(), 1);
    if (c.bytes.empty()) {
      EepromFlashResult result;
      ASSERT_EQ(FlashEepromImage(link, image, EepromFlashOptions{}, &result), 1);
    } else {
      ASSERT_EQ(link.WriteEeprom(0xA0, 0x00, c.address, c.bytes.data(), static_cast<std::uint16_t>(c.bytes.size())), 1);
    }
    // Read while the DAC is still there, as after a kill: nothing waits for its end.
    std::ifstream in(file, std::ios::binary);
    const Bytes kept((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(kept.size(), c.length_after);
    EXPECT_TRUE(std::equal(kept.begin(), kept.end(), dac->Eeprom().begin()));
  }
}

TEST(SimEepromFileTest, ASecondRunOnTheSameFileIsRefusedWhileTheFirstHoldsIt) {
  testing::ScratchDir dir;
  const std::string file = (dir / "eeprom.bin").string();
  std::string error;
  {
    auto first = Create(file, &error);
    ASSERT_NE(first, nullptr) << error;
    EXPECT_EQ(Create(file, &error), nullptr);
    EXPECT_NE(error.find("another veltrane program"), std::string::npos) << error;
  }
  EXPECT_NE(Create(file, &error), nullptr) << error;  // free again once the first has ended
}

}  // namespace
}  // namespace veltrane::sim
