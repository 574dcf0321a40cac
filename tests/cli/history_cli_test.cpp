// The service history as a user meets it, in process on the simulated DAC's
// virtual time: every change leaves a row and a backup, a rollback puts the
// EEPROM back byte for byte, refusals leave it alone, and a bench's threads
// and another program writing at once lose no row.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <thread>

#include "cli/cli_app.h"
#include "service/service_history.h"
#include "sim/simulated_dac.h"
#include "tests/update/scratch_dir.h"

namespace veltrane::cli {
namespace {

std::vector<std::uint8_t> Bytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class HistoryCliTest : public ::testing::Test {
 protected:
  // Runs veltrane-cli on the simulated DAC kept in e.bin; the exit status.
  int Run(std::vector<std::string> args) {
    args.insert(args.begin(), {"--simulate=" + (dir_ / eeprom_).string(), "--virtual-time"});
    out_.str("");
    err_.str("");
    return RunCli(args, out_, err_, false);
  }
  std::string Write(const std::vector<std::uint8_t>& bytes, const std::string& name) {
    return dir_.Write(bytes, name);
  }
  std::vector<HistoryRow> Rows() {
    ServiceHistory history(HistoryOptions{(dir_ / (eeprom_ + ".history.sqlite3")).string()});
    std::vector<HistoryRow> rows;
    std::string problem;
    EXPECT_TRUE(history.List({}, &rows, &problem)) << problem;
    return rows;
  }

  veltrane::testing::ScratchDir dir_;
  std::string eeprom_ = "e.bin";
  std::ostringstream out_;
  std::ostringstream err_;
};

TEST_F(HistoryCliTest, RollbacksNewestFirstPutTheEepromBackByteForByte) {
  ASSERT_EQ(Run({"info"}), 0) << err_.str();
  const std::vector<std::uint8_t> first = Bytes(dir_ / "e.bin");
  const std::string newer = Write(sim::SimulatedDac::FactoryImage(4, 0x0103, 3000), "newer.bin");
  const std::string five = Write({'H', 'E', 'L', 'L', 'O'}, "five.bin");
  ASSERT_EQ(Run({"flash", newer}), 0) << err_.str();
  ASSERT_EQ(Run({"feedback", "set", "0.25", "0.50", "1.00"}), 0) << err_.str();
  ASSERT_EQ(Run({"eeprom", "write", "0x10", five}), 0) << err_.str();
  ASSERT_NE(Bytes(dir_ / "e.bin"), first);

  std::vector<HistoryRow> rows = Rows();
  ASSERT_EQ(rows.size(), 3u);
  for (const HistoryRow& r : rows) {
    EXPECT_EQ(r.backup_state, "saved") << r.operation;
    EXPECT_TRUE(std::filesystem::exists(r.backup_path)) << r.backup_path;
  }
  // The flash's bytes lie under the eeprom write: rolling the flash back
  // first would undo that write silently.
  EXPECT_EQ(Run({"rollback", std::to_string(rows[2].id)}), 3);
  EXPECT_NE(err_.str().find("change 3 (eeprom write"), std::string::npos) << err_.str();
  for (int i = 0; i < 3; ++i) ASSERT_EQ(Run({"rollback"}), 0) << err_.str();
  EXPECT_EQ(Bytes(dir_ / "e.bin"), first);
  rows = Rows();
  ASSERT_EQ(rows.size(), 6u);
  EXPECT_EQ(rows[0].undoes, rows[5].id);  // the last rollback undid the flash
  EXPECT_EQ(Run({"rollback"}), 1) << "nothing is left to roll back";
}

TEST_F(HistoryCliTest, RollbackRefusesAnotherDacAndAMissingOrAlteredBackup) {
  const std::string newer = Write(sim::SimulatedDac::FactoryImage(4, 0x0103, 2048), "newer.bin");
  struct Case {
    const char* name;
    std::function<void(const HistoryRow& flash)> spoil;
    std::vector<std::string> extra;  // options of the rollback
  };
  const Case cases[] = {
      {"another DAC", [](const HistoryRow&) {}, {"--serial", "SIM0002"}},
      {"a missing backup", [](const HistoryRow& r) { std::filesystem::remove(r.backup_path); }, {"--serial", "SIM0001"}},
      {"an altered backup", [](const HistoryRow& r) { std::ofstream(r.backup_path, std::ios::app) << 'x'; },
       {"--serial", "SIM0001"}},
  };
  int changes = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(Run({"--sim-count", "2", "--serial", "SIM0001", "flash", "--force", newer}), 0) << err_.str();
    ++changes;
    const HistoryRow flash = Rows().front();
    c.spoil(flash);
    const std::vector<std::uint8_t> before = Bytes(dir_ / "e.bin");
    std::vector<std::string> args = {"--sim-count", "2", "rollback", std::to_string(flash.id)};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    EXPECT_EQ(Run(args), 3) << err_.str();
    EXPECT_NE(err_.str().find("Nothing was written"), std::string::npos) << err_.str();
    EXPECT_EQ(Bytes(dir_ / "e.bin"), before);
    EXPECT_EQ(Rows().size(), static_cast<std::size_t>(changes)) << "a refusal is no change";
  }
}

// Rollback trusts the DAC over the record: it reads the range and compares
// it with what the change wrote before it puts anything back.
TEST_F(HistoryCliTest, RollbackPutsBackOnlyOverWhatTheChangeLeftThere) {
  const std::string a = Write(sim::SimulatedDac::FactoryImage(4, 0x0103, 2048), "a.bin");
  const std::string b = Write(sim::SimulatedDac::FactoryImage(4, 0x0104, 1024), "b.bin");
  const std::string five = Write({'H', 'E', 'L', 'L', 'O'}, "five.bin");
  const std::vector<std::string> kInterrupt = {"(killed)"};
  const std::vector<std::vector<std::string>> undo_redo = {{"flash", a}, {"flash", b}, {"rollback"}, {"rollback", "3"}};
  struct Case {
    const char* name;
    std::vector<std::vector<std::string>> steps;
    std::vector<std::string> rollback;
    int status;
    const char* said;
    char holds;  // the EEPROM after: 'f' as the factory left it, 'a', 'b'
  };
  const Case cases[] = {
      {"equal", {{"flash", a}}, {"rollback"}, 0, "Rolled back change 1", 'f'},
      {"interrupted, then written over", {{"flash", a}, kInterrupt, {"--no-history", "eeprom", "write", "0x100", five}},
       {"rollback"}, 0, "did not finish", 'f'},
      {"changed outside the history", {{"flash", a}, {"--no-history", "flash", b}}, {"rollback"}, 3,
       "version 0x0104, 1024 bytes", 'b'},
      {"changed outside, forced", {{"flash", a}, {"--no-history", "flash", b}}, {"rollback", "--force"}, 0,
       "--force", 'f'},
      {"undone and redone: the plain one undoes the redone change", undo_redo, {"rollback"}, 0,
       "Rolled back change 2", 'a'},
      {"undone and redone: the undo again", undo_redo, {"rollback", "3"}, 3, "already rolled back", 'b'},
      {"another DAC", {{"--sim-count", "2", "--serial", "SIM0001", "flash", a}},
       {"--sim-count", "2", "--serial", "SIM0002", "rollback", "1"}, 3, "Nothing was written", 'a'},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    eeprom_ = "judged" + std::to_string(++n) + ".bin";
    ASSERT_EQ(Run({"info"}), 0) << err_.str();
    std::map<char, std::vector<std::uint8_t>> image = {{'f', Bytes(dir_ / eeprom_)}};
    for (const auto& step : c.steps) {
      if (step == kInterrupt) {
        // As a killed program leaves it: running, its lock held by nobody.
        HistoryRow row = Rows().front();
        row.outcome = outcome::kRunning;
        row.lock_path = (dir_ / "nobody.lock").string();
        ServiceHistory(HistoryOptions{(dir_ / (eeprom_ + ".history.sqlite3")).string()}).Update(row.id, row);
        continue;
      }
      ASSERT_EQ(Run(step), 0) << err_.str();
      if (step.back() == a || step.back() == b) image[step.back() == a ? 'a' : 'b'] = Bytes(dir_ / eeprom_);
    }
    EXPECT_EQ(Run(c.rollback), c.status) << err_.str();
    EXPECT_NE((err_.str() + out_.str()).find(c.said), std::string::npos) << err_.str() << out_.str();
    EXPECT_EQ(Bytes(dir_ / eeprom_), image[c.holds]);
  }
}

TEST_F(HistoryCliTest, ABackupOfAnUnfinishedImageIsPutBackExactly) {
  const std::string newer = Write(sim::SimulatedDac::FactoryImage(4, 0x0103, 2048), "newer.bin");
  // A flash cut short after some packets: byte 0 stays failing its checksum.
  ASSERT_EQ(Run({"--sim-fault", "out:60", "flash", newer}), 1);
  const std::vector<std::uint8_t> unfinished = Bytes(dir_ / "e.bin");
  ASSERT_EQ(Run({"flash", newer}), 0) << err_.str();
  ASSERT_EQ(Run({"rollback"}), 0) << err_.str();
  EXPECT_EQ(Bytes(dir_ / "e.bin"), unfinished);
  EXPECT_NE(err_.str().find("fails its header checksum"), std::string::npos) << err_.str();
}

TEST_F(HistoryCliTest, EightBenchThreadsAndAnotherProgramWritingAtOnceLoseNoRow) {
  const std::string newer = Write(sim::SimulatedDac::FactoryImage(4, 0x0103, 2048), "newer.bin");
  const std::string file = (dir_ / "e.bin.history.sqlite3").string();
  constexpr int kDesktopRows = 40;
  // The desktop program: its own connection, writing while the bench runs.
  std::thread desktop([&] {
    ServiceHistory history(HistoryOptions{file});
    for (int i = 0; i < kDesktopRows; ++i) {
      HistoryRow row;
      row.operation = "Write";
      row.serial = "DESK";
      EXPECT_TRUE(history.Record(row).id);
    }
  });
  EXPECT_EQ(Run({"--sim-count", "8", "bench", newer, "--units", "8"}), 0) << err_.str();
  desktop.join();
  const std::vector<HistoryRow> rows = Rows();
  EXPECT_EQ(rows.size(), 8u + kDesktopRows);
  EXPECT_EQ(std::count_if(rows.begin(), rows.end(), [](const HistoryRow& r) { return r.operation == "bench" && r.Done(); }), 8);
  EXPECT_EQ(err_.str().find("not recorded"), std::string::npos) << err_.str();
}

}  // namespace
}  // namespace veltrane::cli
