// Pacing of the desktop program's Write: an 8 KiB image written by the
// firmware page to the simulated DAC in real time, on Qt's offscreen
// platform. The whole Write, click to box: the backup read and its file,
// the header read, the write packets, the read-back, the restore packet and
// byte 0 read back. The floor is the sum of the pauses the protocol asks
// for (after every packet and every progress value); the figure that
// matters is `floor_ratio`, wall time over that floor.
// `sleep_ratio` is the same ratio for bare 10 ms sleeps on this machine at
// the same moment: what the operating system's timers alone add.
//
//   QT_QPA_PLATFORM=offscreen build/bench/desktop_write_bench
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include <QApplication>

#include "sim/simulated_dac.h"
#include "ui/file_chooser.h"
#include "ui/recording_message_boxes.h"
#include "update/page/firmware_page.h"

namespace {

using Clock = std::chrono::steady_clock;
using veltrane::sim::SimulatedDac;

class OneFile : public veltrane::FileChooser {
 public:
  explicit OneFile(QString path) : path_(std::move(path)) {}
  std::optional<QString> ChooseFile(QWidget*) override { return path_; }

 private:
  QString path_;
};

void BM_DesktopWrite8KiB(benchmark::State& state) {
  const auto path = std::filesystem::temp_directory_path() / "veltrane-desktop-bench.BIN";
  const auto backups = std::filesystem::temp_directory_path() / "veltrane-desktop-bench-backups";
  const auto image = SimulatedDac::FactoryImage(4, 0x0103, 8192);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  double ratio_sum = 0;
  double seconds_sum = 0;
  double sleep_ratio_sum = 0;
  for (auto _ : state) {
    veltrane::sim::SimOptions options;
    options.virtual_time = false;  // pauses really slept, and recorded
    SimulatedDac dac(options);
    veltrane::FirmwarePage page(dac);
    veltrane::RecordingMessageBoxes boxes;
    OneFile chooser(QString::fromStdString(path.string()));
    page.SetMessageBoxes(&boxes);
    page.SetFileChooser(&chooser);
    page.SetBackupFolder(QString::fromStdString(backups.string()));
    page.Link().SetProgressSink(&page);
    page.OnBrowse();
    const std::uint64_t pauses_at_start = dac.VirtualMilliseconds();
    const Clock::time_point start = Clock::now();
    page.OnWrite();
    const Clock::time_point end = Clock::now();
    const std::uint64_t pauses_end = dac.VirtualMilliseconds();
    const double wall = std::chrono::duration<double>(end - start).count();
    const double floor = static_cast<double>(pauses_end - pauses_at_start) / 1000.0;
    ratio_sum += wall / floor;
    seconds_sum += wall;
    const Clock::time_point sleeps = Clock::now();
    const int count = static_cast<int>((pauses_end - pauses_at_start) / 10);
    for (int i = 0; i < count; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    sleep_ratio_sum += std::chrono::duration<double>(Clock::now() - sleeps).count() / (count / 100.0);
    if (floor <= 0) state.SkipWithError("no pauses recorded");
    if (boxes.Texts().empty() || boxes.Texts().back() != QStringLiteral("EEPROM program completed. ")) {
      state.SkipWithError("the Write did not complete");
    }
  }
  state.counters["floor_ratio"] = ratio_sum / static_cast<double>(state.iterations());
  state.counters["sleep_ratio"] = sleep_ratio_sum / static_cast<double>(state.iterations());
  state.counters["write_s"] = seconds_sum / static_cast<double>(state.iterations());
  std::filesystem::remove(path);
  std::filesystem::remove_all(backups);
}
BENCHMARK(BM_DesktopWrite8KiB)->Iterations(3)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
