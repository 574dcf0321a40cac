// Every write road killed (SIGKILL) at evenly spread moments, in real time,
// on a simulated DAC that keeps its EEPROM in a file: whenever the program
// dies, the file holds the old bytes, the new ones, or an image whose byte 0
// fails its header checksum; the history holds the change, interrupted, with
// its backup; and rollback puts the file back byte for byte.
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "service/service_history.h"
#include "sim/simulated_dac.h"
#include "tests/cli/program_runner.h"
#include "image/image_header.h"

namespace veltrane::cli::testing {
namespace {

constexpr int kMoments = 8;

bool ByteZeroFails(const std::vector<std::uint8_t>& eeprom) {
  ImageHeader header;
  std::copy(eeprom.begin(), eeprom.begin() + kImageHeaderSize, header.bytes);
  return !header.ChecksumValid();
}

struct Road {
  const char* name;
  std::vector<std::vector<std::string>> setup;  // on virtual time, before the run that is killed
  std::vector<std::string> args;                // the run that is killed
  bool from_zero;                               // writes an image from address 0
};

class KillMatrixTest : public ProgramTest {
 protected:
  Outcome Virtual(std::vector<std::string> args) {
    args.insert(args.begin(), {"--simulate=" + eeprom_, "--virtual-time"});
    return Run(std::move(args));
  }
  pid_t StartReal(std::vector<std::string> args) {
    args.insert(args.begin(), "--simulate=" + eeprom_);
    return Start(std::move(args));
  }
  // A factory DAC, its history and backups gone, then the road's setup.
  void Fresh(const Road& road) {
    for (const char* suffix : {"", ".history.sqlite3", ".history.sqlite3-wal", ".history.sqlite3-shm",
                               ".history.sqlite3.running", ".backups"}) {
      std::filesystem::remove_all(eeprom_ + suffix);
    }
    ASSERT_EQ(Virtual({"info"}).status, 0);
    for (const auto& args : road.setup) ASSERT_EQ(Virtual(args).status, 0) << args.front();
  }
  std::vector<HistoryRow> Rows() {
    ServiceHistory history(HistoryOptions{eeprom_ + ".history.sqlite3"});
    std::vector<HistoryRow> rows;
    std::string problem;
    EXPECT_TRUE(history.List({}, &rows, &problem)) << problem;
    return rows;
  }
};

TEST_F(KillMatrixTest, AKilledChangeIsRecordedAsInterruptedAndRolledBackByteForByte) {
  // Short images whose every packet differs from the factory's.
  std::vector<std::uint8_t> image = sim::SimulatedDac::FactoryImage(4, 0x0103, 1024);
  for (std::size_t i = kImageHeaderSize; i < image.size(); ++i) image[i] ^= 0x5A;
  const std::string path = dir_ + "/new.bin";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(image.data()),
                                              static_cast<std::streamsize>(image.size()));
  const Road roads[] = {
      {"flash", {}, {"flash", path}, true},
      {"flash --changed-only", {}, {"flash", "--changed-only", path}, true},
      {"eeprom write 0", {}, {"eeprom", "write", "0", path}, true},
      {"rollback", {{"flash", path}}, {"rollback"}, true},
      {"feedback set", {}, {"feedback", "set", "0.25", "0.50", "1.00"}, false},
  };
  int interrupted_total = 0;
  for (const Road& road : roads) {
    SCOPED_TRACE(road.name);
    // The whole run once, unkilled: how long it takes, and what it leaves.
    Fresh(road);
    const std::vector<std::uint8_t> before = ReadBytes(eeprom_);
    const std::size_t setup_rows = Rows().size();
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(Finish(StartReal(road.args)).status, 0);
    const auto whole = std::chrono::steady_clock::now() - started;
    const std::vector<std::uint8_t> after_done = ReadBytes(eeprom_);
    ASSERT_NE(after_done, before);

    int interrupted = 0;
    for (int moment = 1; moment <= kMoments; ++moment) {
      SCOPED_TRACE(moment);
      Fresh(road);
      const pid_t pid = StartReal(road.args);
      ASSERT_GT(pid, 0);
      // The moment is the test's subject: real time, as a battery or a kill would choose it.
      std::this_thread::sleep_until(std::chrono::steady_clock::now() + whole * moment / (kMoments + 1));
      kill(pid, SIGKILL);
      Finish(pid);

      const std::vector<std::uint8_t> left = ReadBytes(eeprom_);
      const bool old = left == before;
      EXPECT_TRUE(old || left == after_done || (road.from_zero && ByteZeroFails(left)))
          << "a valid-looking mix was left";
      const std::vector<HistoryRow> rows = Rows();
      if (rows.size() == setup_rows) {
        EXPECT_TRUE(old) << "the EEPROM changed, and the history holds no row for it";
        continue;
      }
      ASSERT_EQ(rows.size(), setup_rows + 1);
      const HistoryRow& row = rows.front();
      EXPECT_TRUE(row.Interrupted() || row.Done()) << row.outcome;
      EXPECT_EQ(row.backup_state, "saved");
      EXPECT_TRUE(std::filesystem::exists(row.backup_path)) << row.backup_path;
      const Outcome history = Virtual({"history"});
      if (row.Interrupted()) {
        ++interrupted;
        EXPECT_NE(history.out.find("interrupted"), std::string::npos) << history.out;
        EXPECT_NE(Virtual({"history", "show", std::to_string(row.id)}).out.find(row.backup_path), std::string::npos);
        const Outcome back = Virtual({"rollback"});
        EXPECT_EQ(back.status, 0) << back.err;
      } else {
        const Outcome back = Virtual({"rollback", std::to_string(row.id)});
        EXPECT_EQ(back.status, 0) << back.err;
      }
      EXPECT_EQ(ReadBytes(eeprom_), before) << "rollback did not put the EEPROM back";
    }
    if (road.from_zero) {
      EXPECT_GT(interrupted, 0) << "no kill came while the change was running";
    }
    interrupted_total += interrupted;
  }
  EXPECT_GT(interrupted_total, 0);
}

}  // namespace
}  // namespace veltrane::cli::testing
