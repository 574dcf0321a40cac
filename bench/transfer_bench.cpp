// Host-side cost of the device core: framing, the EEPROM protocol and the
// image download, measured against the simulated DAC on virtual time, so
// that only our own code and the simulator's bookkeeping are timed.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "device/hid_device_link.h"
#include "sim/simulated_dac.h"

namespace {

using veltrane::HidDeviceLink;
using veltrane::sim::SimulatedDac;

void BM_WriteEeprom(benchmark::State& state) {
  SimulatedDac dac;
  HidDeviceLink link(dac);
  if (link.FindDevice() == 0) {
    state.SkipWithError("the simulated DAC was not found");
    return;
  }
  std::vector<std::uint8_t> data(static_cast<std::size_t>(state.range(0)), 0x5A);
  for (auto _ : state) {
    dac.ClearTrace();
    benchmark::DoNotOptimize(
        link.WriteEeprom(0xA0, 0x00, 0, data.data(), static_cast<std::uint16_t>(data.size())));
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_WriteEeprom)->Arg(4)->Arg(5000)->Arg(65535);

void BM_ReadEeprom(benchmark::State& state) {
  SimulatedDac dac;
  HidDeviceLink link(dac);
  if (link.FindDevice() == 0) {
    state.SkipWithError("the simulated DAC was not found");
    return;
  }
  std::vector<std::uint8_t> data(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    dac.ClearTrace();
    benchmark::DoNotOptimize(
        link.ReadEeprom(0xA0, 0x00, 0, data.data(), static_cast<std::uint16_t>(data.size())));
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ReadEeprom)->Arg(4)->Arg(5000)->Arg(65535);

void BM_DownloadEepromImage(benchmark::State& state) {
  const auto path = std::filesystem::temp_directory_path() / "veltrane-bench.bin";
  const auto image = SimulatedDac::FactoryImage(4, 0x0103, 65535);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  SimulatedDac dac;
  HidDeviceLink link(dac);
  if (link.FindDevice() == 0) {
    state.SkipWithError("the simulated DAC was not found");
    return;
  }
  for (auto _ : state) {
    dac.ClearTrace();
    benchmark::DoNotOptimize(link.DownloadEepromImage(path.string(), 0xA0, 0x00));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(image.size()));
  state.counters["device_ms"] = static_cast<double>(dac.VirtualMilliseconds()) /
                                static_cast<double>(state.iterations());
  std::filesystem::remove(path);
}
BENCHMARK(BM_DownloadEepromImage);

}  // namespace

BENCHMARK_MAIN();
