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

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>
#include <vector>

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "app/main_window.h"
#include "service/history_args.h"
#include "ui/bitmap_button.h"
#include "sim/simulated_dac.h"
#include "ui/file_chooser.h"
#include "ui/recording_message_boxes.h"
#include "update/page/firmware_page.h"

namespace {

using Clock = std::chrono::steady_clock;
using veltrane::sim::SimulatedDac;

// The image both benches write: 8 KiB for product 4, version 0x0103.
void WriteImage8KiB(const std::filesystem::path& path) {
  const auto image = SimulatedDac::FactoryImage(4, 0x0103, 8192);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
}

// Bare 10 ms sleeps adding up to `pauses_ms`, timed: their wall time over
// what they asked for, what the operating system's timers alone add.
double SleepRatio(std::uint64_t pauses_ms) {
  const Clock::time_point sleeps = Clock::now();
  const int count = static_cast<int>(pauses_ms / 10);
  for (int i = 0; i < count; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return std::chrono::duration<double>(Clock::now() - sleeps).count() / (count / 100.0);
}

void BM_DesktopWrite8KiB(benchmark::State& state) {
  const auto path = std::filesystem::temp_directory_path() / "veltrane-desktop-bench.BIN";
  const auto backups = std::filesystem::temp_directory_path() / "veltrane-desktop-bench-backups";
  WriteImage8KiB(path);
  double ratio_sum = 0;
  double seconds_sum = 0;
  double sleep_ratio_sum = 0;
  for (auto _ : state) {
    veltrane::sim::SimOptions options;
    options.virtual_time = false;  // pauses really slept, and recorded
    SimulatedDac dac(options);
    veltrane::FirmwarePage page(dac);
    veltrane::RecordingMessageBoxes boxes;
    veltrane::FixedFileChooser chooser(QString::fromStdString(path.string()));
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
    sleep_ratio_sum += SleepRatio(pauses_end - pauses_at_start);
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

// The time to the first paint of the result box, and closes the box then.
class ResultBoxWatch : public QObject {
 public:
  explicit ResultBoxWatch(const SimulatedDac& dac) : dac_(dac) {}
  std::optional<Clock::time_point> painted;
  std::uint64_t pauses_ms = 0;  // the DAC's pauses up to then
  QString text;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* box = qobject_cast<QMessageBox*>(watched);
    if (box != nullptr && event->type() == QEvent::Paint && !painted) {
      painted = Clock::now();
      pauses_ms = dac_.VirtualMilliseconds();
      text = box->text();
      QTimer::singleShot(0, box, &QMessageBox::accept);
    }
    return false;
  }

 private:
  const SimulatedDac& dac_;
};

// The Write as a user times it: the whole program's window (status strip,
// history, backups beside a --simulate=FILE DAC), shown on the platform the
// bench runs on, a click on Write to the first paint of the result box. Run
// under a real X server to see what a display adds:
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" env QT_QPA_PLATFORM=xcb build/bench/desktop_write_bench
//
// `floor_ratio` is the click-to-box time over the pauses of the Write;
// `sleep_ratio` bare 10 ms sleeps taken between the runs, as above;
// `cpu_share` the program's CPU time over the pauses (steadier than the
// wall on a busy machine; the X server's own time is not in it).
void BM_DesktopWriteClickToBox(benchmark::State& state) {
  const auto folder = std::filesystem::temp_directory_path() / "veltrane-desktop-bench-seen";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const auto path = folder / "image.BIN";
  WriteImage8KiB(path);
  const std::string eeprom = (folder / "eeprom.bin").string();
  std::vector<double> ratios;
  double sleep_ratio_sum = 0;
  double seconds_sum = 0;
  double cpu_share_sum = 0;
  for (auto _ : state) {
    veltrane::sim::SimOptions options;
    options.virtual_time = false;  // pauses really slept, and recorded
    options.keep_trace = false;
    options.eeprom_file = eeprom;
    SimulatedDac dac(options);
    const std::unique_ptr<veltrane::ServiceHistory> history =
        veltrane::MakeHistory(veltrane::HistorySetup{}, true, eeprom);
    veltrane::MainWindow window(dac);
    window.SetKeeping(history.get(), QString::fromStdString(veltrane::BackupFolderFor(true, eeprom)));
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) state.SkipWithError("the window was not shown");
    window.Firmware().TakeImagePath(QString::fromStdString(path.string()));
    QTest::qWait(300);  // the strip's first look and every pending paint are done
    ResultBoxWatch watch(dac);
    qApp->installEventFilter(&watch);
    const std::uint64_t pauses_at_start = dac.VirtualMilliseconds();
    const std::clock_t cpu_before = std::clock();
    const Clock::time_point start = Clock::now();
    QTest::mouseClick(window.Firmware().WriteButton(), Qt::LeftButton);
    const double cpu = static_cast<double>(std::clock() - cpu_before) / CLOCKS_PER_SEC;
    qApp->removeEventFilter(&watch);
    const std::uint64_t pauses = watch.pauses_ms - pauses_at_start;
    if (!watch.painted || watch.text != QStringLiteral("EEPROM program completed. ")) {
      state.SkipWithError("the Write did not complete");
      break;
    }
    const double wall = std::chrono::duration<double>(*watch.painted - start).count();
    ratios.push_back(wall / (static_cast<double>(pauses) / 1000.0));
    seconds_sum += wall;
    cpu_share_sum += cpu / (static_cast<double>(pauses) / 1000.0);
    sleep_ratio_sum += SleepRatio(pauses);
  }
  if (!ratios.empty()) {
    std::sort(ratios.begin(), ratios.end());
    const double n = static_cast<double>(ratios.size());
    double sum = 0;
    for (const double r : ratios) sum += r;
    state.counters["floor_ratio"] = sum / n;
    state.counters["min_ratio"] = ratios.front();
    state.counters["sleep_ratio"] = sleep_ratio_sum / n;
    state.counters["write_s"] = seconds_sum / n;
    state.counters["cpu_share"] = cpu_share_sum / n;
  }
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_DesktopWriteClickToBox)->Iterations(3)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
