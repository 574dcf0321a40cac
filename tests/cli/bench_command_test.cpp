// bench and --keep-settings in process, on the simulated DAC's virtual time.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <set>
#include <sstream>

#include "cli/bench_command.h"
#include "cli/command_context.h"
#include "cli/device_commands.h"
#include "cli/flash_command.h"
#include "cli/json_report.h"
#include "sim/simulated_bus.h"
#include "sim/simulated_dac.h"
#include "device/platform/arrival_watcher.h"

namespace veltrane::cli {
namespace {

using sim::SimOptions;
using sim::SimulatedBus;
using sim::SimulatedDac;

constexpr std::size_t kFeedbackBlock = 0x1712;

class ServiceTest : public ::testing::Test {
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
  std::string TempPath(const char* suffix) {
    return ::testing::TempDir() + "service_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name() + suffix;
  }
  std::string WriteImage(const std::vector<std::uint8_t>& image) {
    const std::string path = TempPath(".bin");
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(image.data()),
                                                static_cast<std::streamsize>(image.size()));
    return path;
  }
  std::ostringstream out_;
  std::ostringstream err_;
  JsonReport report_;
};

TEST_F(ServiceTest, BenchFlashesThreeDacsAtOnceAndLogsTheOneThatFailed) {
  std::vector<std::unique_ptr<SimulatedDac>> dacs;
  for (int i = 0; i < 3; ++i) {
    SimOptions options;
    options.index = i;
    if (i == 1) options.fail_output_report = 42;  // after the header read: write packet 39 of the second DAC
    dacs.push_back(std::make_unique<SimulatedDac>(options));
  }
  SimulatedBus bus(std::move(dacs));
  const auto image = SimulatedDac::FactoryImage(4, 0x0103, 4096);
  BenchOptions options;
  options.image_path = WriteImage(image);
  options.units = 3;
  options.log_path = TempPath(".jsonl");
  std::remove(options.log_path.c_str());
  EXPECT_EQ(BenchCommand(Context(&bus), options), kExitFailed) << err_.str();

  std::ifstream log(options.log_path);
  std::set<std::string> serials;
  std::string line;
  int failed = 0;
  while (std::getline(log, line)) {
    const Json unit = Json::parse(line);
    serials.insert(unit["serial"].get<std::string>());
    EXPECT_EQ(unit["image_sha256"].get<std::string>().size(), 64u);
    if (unit["result"] == "passed") continue;
    ++failed;
    EXPECT_EQ(unit["serial"], "SIM0002");
    EXPECT_EQ(unit["stage"], "write_packet");
    EXPECT_EQ(unit["packets_written"], 38);
  }
  EXPECT_EQ(serials, (std::set<std::string>{"SIM0001", "SIM0002", "SIM0003"}));
  EXPECT_EQ(failed, 1);
  for (int i : {0, 2}) {
    EXPECT_TRUE(std::equal(image.begin(), image.end(), bus.Dac(i).Eeprom().begin())) << i;
  }
}

TEST_F(ServiceTest, KeepSettingsWritesTheDacsFeedbackBlockOverTheImages) {
  SimulatedDac dac;
  const std::vector<std::uint8_t> held(dac.Eeprom().begin() + kFeedbackBlock,
                                       dac.Eeprom().begin() + kFeedbackBlock + 4);
  const auto image = SimulatedDac::FactoryImage(4, 0x0103, 8192);
  const std::string path = WriteImage(image);
  CommandContext context = Context(&dac);
  EXPECT_EQ(CheckCommand(context, path), kExitDone);
  EXPECT_NE(err_.str().find("sets the feedback settings to"), std::string::npos) << err_.str();

  FlashOptions options;
  options.image_path = path;
  options.keep_settings = true;
  EXPECT_EQ(FlashCommand(context, options), kExitDone) << err_.str();
  EXPECT_NE(err_.str().find("keeps feedback settings 0.125 / 0.25 / 0.50"), std::string::npos);
  std::vector<std::uint8_t> expected = image;
  std::copy(held.begin(), held.end(), expected.begin() + kFeedbackBlock);
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), dac.Eeprom().begin()));
  // The image file itself is not changed.
  std::ifstream file(path, std::ios::binary);
  EXPECT_EQ(std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file), {}), image);
}

// A bus whose user presses Ctrl-C while the bench waits for more DACs, once
// `restores` restore packets have gone out (those flashes are then complete).
class StoppingBus : public SimulatedBus {
 public:
  StoppingBus(std::vector<std::unique_ptr<SimulatedDac>> dacs, int restores, std::atomic<bool>* stop)
      : SimulatedBus(std::move(dacs)), restores_(restores), stop_(stop) {}
  bool SetOutputReport(HidHandle handle, const std::uint8_t* report, std::size_t length) override {
    const bool restore = length >= 8 && report[1] == 0x07 && report[2] == 0x04 && report[3] == 0 &&
                         report[4] == 0 && report[5] == 0 && report[6] == 0;
    const bool sent = SimulatedBus::SetOutputReport(handle, report, length);
    if (sent && restore) ++restored_;
    return sent;
  }
  std::unique_ptr<ArrivalWatcher> CreateArrivalWatcher() override {
    class Watcher : public ArrivalWatcher {
     public:
      Watcher(StoppingBus& bus, std::unique_ptr<ArrivalWatcher> inner) : bus_(bus), inner_(std::move(inner)) {}
      bool WaitForChange(unsigned timeout_ms) override {
        if (bus_.restored_.load() >= bus_.restores_) bus_.stop_->store(true);
        return inner_->WaitForChange(timeout_ms);
      }

     private:
      StoppingBus& bus_;
      std::unique_ptr<ArrivalWatcher> inner_;
    };
    return std::make_unique<Watcher>(*this, SimulatedBus::CreateArrivalWatcher());
  }

 private:
  const int restores_;
  std::atomic<bool>* stop_;
  std::atomic<int> restored_{0};
};

TEST_F(ServiceTest, ABenchStoppedBeforeItsUnitsWereDoneSaysSoAndFails) {
  std::vector<std::unique_ptr<SimulatedDac>> dacs;
  for (int i = 0; i < 4; ++i) {
    SimOptions options;
    options.index = i;
    dacs.push_back(std::make_unique<SimulatedDac>(options));
  }
  std::atomic<bool> stop{false};
  StoppingBus bus(std::move(dacs), 4, &stop);
  BenchOptions options;
  options.image_path = WriteImage(SimulatedDac::FactoryImage(4, 0x0103, 2048));
  options.units = 6;
  CommandContext context = Context(&bus);
  context.stop = &stop;
  EXPECT_EQ(BenchCommand(context, options), kExitFailed);
  EXPECT_NE(err_.str().find("4 of 6 units passed; stopped."), std::string::npos) << err_.str();
  const Json doc = Json::parse(report_.Render(kExitFailed));
  EXPECT_EQ(doc["passed"], 4);
  EXPECT_EQ(doc["error"]["stage"], "stopped");
  EXPECT_NE(doc["error"]["message"].get<std::string>().find("4 of 6"), std::string::npos);
}

TEST_F(ServiceTest, AFailedBenchNamesItsFailedUnitsInTheJsonError) {
  std::vector<std::unique_ptr<SimulatedDac>> dacs;
  SimOptions options;
  options.fail_output_report = 20;
  dacs.push_back(std::make_unique<SimulatedDac>(options));
  SimulatedBus bus(std::move(dacs));
  BenchOptions bench;
  bench.image_path = WriteImage(SimulatedDac::FactoryImage(4, 0x0103, 2048));
  bench.units = 1;
  EXPECT_EQ(BenchCommand(Context(&bus), bench), kExitFailed);
  const Json doc = Json::parse(report_.Render(kExitFailed));
  const std::string message = doc["error"]["message"].get<std::string>();
  EXPECT_NE(message.find("0 of 1 units passed."), std::string::npos) << message;
  EXPECT_NE(message.find("SIM0001"), std::string::npos) << message;
}

}  // namespace
}  // namespace veltrane::cli
