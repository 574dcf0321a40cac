// What the service operations cost against the device's own pauses, on the
// simulated DAC in real time (its pauses slept, not recorded): a full 8 KiB
// flash, --changed-only of the image the DAC holds and of a flash stopped
// half-way, a bench of 1 and of 8 DACs, and the 64 KiB bulk stream. Each
// prints `ratio`, its wall time over the pauses' floor; the --changed-only
// runs also `of_full` (over the full flash's wall), the bench of 8 `of_one`
// (over the bench of 1) and `cpu_share` (process CPU time over wall). One
// more runs on virtual time: what keeping the EEPROM in a file costs.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "cli/bench_command.h"
#include "cli/json_report.h"
#include "device/eeprom_image_flash.h"
#include "device/hid_device_link.h"
#include "sim/simulated_bus.h"
#include "sim/simulated_dac.h"

namespace {

using namespace veltrane;
using sim::SimOptions;
using sim::SimulatedDac;

constexpr std::size_t kImageSize = 8192;

double g_full_wall_s = 0;
double g_bench_one_wall_s = 0;

const std::vector<std::uint8_t>& Image() {
  static const auto image = SimulatedDac::FactoryImage(4, 0x0103, kImageSize);
  return image;
}

// As --simulate runs it: real time, no trace kept in memory.
SimOptions RealTime() {
  SimOptions options;
  options.virtual_time = false;
  options.keep_trace = false;
  return options;
}

// Stops the body once the bar reaches half-way: after packet 256 of 512.
class StopHalfWay : public ProgressSink {
 public:
  explicit StopHalfWay(std::atomic<bool>* stop) : stop_(stop) {}
  void SetProgress(std::uint16_t per_mille) override {
    if (per_mille >= 500) stop_->store(true);
  }

 private:
  std::atomic<bool>* stop_;
};

// Runs one flash on `dac` and reports wall time over the pauses slept.
double TimedFlash(benchmark::State& state, SimulatedDac& dac, bool changed_only) {
  HidDeviceLink link(dac);
  if (link.FindDevice() == 0) {
    state.SkipWithError("the simulated DAC was not found");
    return 0;
  }
  EepromFlashOptions options;
  options.changed_only = changed_only;
  EepromFlashResult result;
  const std::uint64_t paused_before = dac.VirtualMilliseconds();
  const auto start = std::chrono::steady_clock::now();
  if (FlashEepromImage(link, Image(), options, &result) == 0) state.SkipWithError("the flash failed");
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double floor = (dac.VirtualMilliseconds() - paused_before) / 1000.0;
  state.SetIterationTime(wall);
  state.counters["floor_s"] = floor;
  state.counters["ratio"] = wall / floor;
  state.counters["packets"] = result.packets_written;
  if (g_full_wall_s > 0 && changed_only) state.counters["of_full"] = wall / g_full_wall_s;
  return wall;
}

void BM_FullFlash(benchmark::State& state) {
  for (auto _ : state) {
    SimulatedDac dac(RealTime());
    g_full_wall_s = TimedFlash(state, dac, false);
  }
}
BENCHMARK(BM_FullFlash)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_ChangedOnlyOfTheHeldImage(benchmark::State& state) {
  for (auto _ : state) {
    SimulatedDac dac(RealTime());
    std::copy(Image().begin(), Image().end(), dac.Eeprom().begin());
    TimedFlash(state, dac, true);
  }
}
BENCHMARK(BM_ChangedOnlyOfTheHeldImage)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_ChangedOnlyAfterAHalfFlash(benchmark::State& state) {
  for (auto _ : state) {
    SimOptions options = RealTime();  // the stopped flash on virtual time: only the finish is timed
    options.virtual_time = true;
    SimulatedDac dac(options);
    {
      HidDeviceLink link(dac);
      std::atomic<bool> stop{false};
      StopHalfWay half(&stop);
      link.SetProgressSink(&half);
      if (link.FindDevice() == 0 ||
          link.WriteEepromImageBody(Image(), kEepromDeviceAddress, kEepromSelector, &stop) != 0 ||
          link.LastFailure().packets_done != 256) {
        state.SkipWithError("the flash did not stop at packet 256");
        return;
      }
    }
    dac.MutableOptions().virtual_time = false;
    TimedFlash(state, dac, true);
  }
}
BENCHMARK(BM_ChangedOnlyAfterAHalfFlash)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// The simulator's own cost of keeping its EEPROM in a file (--simulate=FILE)
// on virtual time, where nothing sleeps: a full 8 KiB flash from making the
// DAC to ending it (its FILE written), against the same flash with no FILE.
// `of_no_file` is the one's wall over the other's.
double FlashOnVirtualTime(const std::string& file) {
  SimOptions options;
  options.keep_trace = false;
  options.eeprom_file = file;
  const auto start = std::chrono::steady_clock::now();
  {
    SimulatedDac dac(options);
    HidDeviceLink link(dac);
    EepromFlashResult result;
    if (link.FindDevice() == 0 || FlashEepromImage(link, Image(), EepromFlashOptions{}, &result) == 0) return -1;
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_FileKeptFlashOnVirtualTime(benchmark::State& state) {
  const auto path = std::filesystem::temp_directory_path() / "veltrane-flash-bench-eeprom.bin";
  constexpr int kRuns = 20;
  for (auto _ : state) {
    double with_file = 0;
    double without = 0;
    for (int i = 0; i < kRuns; ++i) {  // interleaved, each against the machine's moment
      std::filesystem::remove(path);
      const double kept = FlashOnVirtualTime(path.string());
      const double plain = FlashOnVirtualTime("");
      if (kept < 0 || plain < 0) {
        state.SkipWithError("the flash failed");
        return;
      }
      with_file += kept;
      without += plain;
    }
    state.SetIterationTime(with_file / kRuns);
    state.counters["no_file_ms"] = without / kRuns * 1000;
    state.counters["of_no_file"] = with_file / without;
  }
  std::filesystem::remove(path);
}
BENCHMARK(BM_FileKeptFlashOnVirtualTime)->Iterations(1)->Repetitions(3)->UseManualTime()->Unit(benchmark::kMillisecond);

// `bench` of `count` simulated DACs in real time, in process.
void BM_Bench(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const auto path = std::filesystem::temp_directory_path() / "veltrane-flash-bench.bin";
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(Image().data()), static_cast<std::streamsize>(Image().size()));
  for (auto _ : state) {
    std::vector<std::unique_ptr<SimulatedDac>> dacs;
    for (int i = 0; i < count; ++i) {
      SimOptions options = RealTime();
      options.index = i;
      dacs.push_back(std::make_unique<SimulatedDac>(options));
    }
    sim::SimulatedBus bus(std::move(dacs));
    std::ostringstream out;
    std::ostringstream err;
    cli::JsonReport report;
    cli::CommandContext context;
    context.platform = &bus;
    context.out = &out;
    context.err = &err;
    context.report = &report;
    context.progress = cli::ProgressStyle::kSilent;
    cli::BenchOptions options;
    options.image_path = path.string();
    options.units = count;
    const std::clock_t cpu_before = std::clock();
    const auto start = std::chrono::steady_clock::now();
    if (cli::BenchCommand(context, options) != cli::kExitDone) state.SkipWithError(err.str().c_str());
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = static_cast<double>(std::clock() - cpu_before) / CLOCKS_PER_SEC;
    state.SetIterationTime(wall);
    state.counters["floor_s"] = bus.Dac(0).VirtualMilliseconds() / 1000.0;
    state.counters["ratio"] = wall / (bus.Dac(0).VirtualMilliseconds() / 1000.0);
    state.counters["cpu_share"] = cpu / wall;
    if (count == 1) g_bench_one_wall_s = wall;
    if (count > 1 && g_bench_one_wall_s > 0) state.counters["of_one"] = wall / g_bench_one_wall_s;
  }
}
BENCHMARK(BM_Bench)->Arg(1)->Arg(8)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// 1,024 blocks of 64 bytes with a 1 ms pause after each.
void BM_BulkStream64KiB(benchmark::State& state) {
  const std::vector<std::uint8_t> image(65536, 0x5A);
  for (auto _ : state) {
    SimOptions options = RealTime();
    options.product_id = 16;
    SimulatedDac dac(options);
    HidDeviceLink link(dac);
    if (link.FindDevice() == 0) {
      state.SkipWithError("the simulated DAC was not found");
      return;
    }
    const auto start = std::chrono::steady_clock::now();
    if (link.DownloadBulkImage(image) == 0) state.SkipWithError("the stream failed");
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double floor = dac.VirtualMilliseconds() / 1000.0;
    state.SetIterationTime(wall);
    state.counters["floor_s"] = floor;
    state.counters["ratio"] = wall / floor;
  }
}
BENCHMARK(BM_BulkStream64KiB)->Iterations(1)->Repetitions(3)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
