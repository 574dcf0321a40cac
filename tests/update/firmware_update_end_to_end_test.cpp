// A firmware update as the user makes it in the desktop program: the main
// window on the simulated DAC (set up from the same options as the command
// line), browse and Write pressed with the mouse, progress arriving through
// the route the main window installs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>


#include <QProgressBar>
#include <QTest>

#include "app/main_window.h"
#include "sim/sim_args.h"
#include "tests/update/scratch_dir.h"
#include "ui/bitmap_button.h"
#include "ui/colored_label.h"
#include "ui/file_chooser.h"
#include "ui/recording_message_boxes.h"

namespace veltrane {
namespace {

class BarWatchingBoxes : public RecordingMessageBoxes {
 public:
  explicit BarWatchingBoxes(QProgressBar* bar) : bar_(bar) {}
  BoxAnswer Show(const QString& text, BoxButtons buttons) override {
    bar_at_box = bar_->value();
    return RecordingMessageBoxes::Show(text, buttons);
  }
  int bar_at_box = -1;

 private:
  QProgressBar* bar_;
};

struct UpdateRun {
  std::vector<QString> boxes;
  int bar_at_box;
  int bar_after;
  std::vector<std::uint8_t> eeprom;
  std::size_t progress_lines;
};

UpdateRun UpdateThroughTheWindow(std::vector<std::string> args, const std::vector<std::uint8_t>& image) {
  sim::SimSetup setup;
  std::string error;
  EXPECT_TRUE(sim::ExtractSimArgs(&args, &setup, &error)) << error;
  EXPECT_TRUE(setup.enabled);
  setup.options.virtual_time = true;
  sim::SimulatedDac dac(setup.options);

  const testing::ScratchDir dir;
  const std::string path = dir.Write(image, "image.BIN");
  MainWindow window(dac);
  FirmwarePage& page = window.Firmware();
  BarWatchingBoxes boxes(page.ProgressBar());
  FixedFileChooser chooser(QString::fromStdString(path));
  page.SetMessageBoxes(&boxes);
  page.SetFileChooser(&chooser);
  // The fault counts start at the Write's first packet: no backup before it.
  page.SetBackupFolder(QString());
  window.show();
  EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));

  QTest::mouseClick(page.BrowseButton(), Qt::LeftButton);
  EXPECT_EQ(page.PathLabel()->text(), QString::fromStdString(path));
  EXPECT_TRUE(boxes.Boxes().empty());  // judged ready without a word
  QTest::mouseClick(page.WriteButton(), Qt::LeftButton);

  UpdateRun run{boxes.Texts(), boxes.bar_at_box, page.ProgressBar()->value(), dac.Eeprom(), 0};
  for (const std::string& line : dac.Trace()) run.progress_lines += line.rfind("progress ", 0) == 0;
  // The whole trace, for comparing one system's build with another's
  // (scripts/test-windows: the Windows build under wine against Linux's).
  if (const char* out = std::getenv("VELTRANE_WRITE_TRACE"); out != nullptr && *out != '\0') {
    std::ofstream file(out, std::ios::app | std::ios::binary);
    for (const std::string& line : dac.Trace()) file << line << '\n';
  }
  return run;
}

TEST(FirmwareUpdateEndToEndTest, WritesTheChosenImageWithAMovingBar) {
  const auto image = sim::SimulatedDac::FactoryImage(4, 0x0103, 4096);
  const UpdateRun run = UpdateThroughTheWindow({"--simulate"}, image);
  EXPECT_EQ(run.boxes, std::vector<QString>{QStringLiteral("EEPROM program completed. ")});
  EXPECT_EQ(run.progress_lines, 255u);  // one per packet but the last
  EXPECT_EQ(run.bar_at_box, 996);       // 255 * 16 * 1000 / 4096
  EXPECT_EQ(run.bar_after, 999);
  EXPECT_TRUE(std::equal(image.begin(), image.end(), run.eeprom.begin()));
}

TEST(FirmwareUpdateEndToEndTest, InjectedFaultLeavesByteZeroInvertedAndSaysSo) {
  const auto image = sim::SimulatedDac::FactoryImage(4, 0x0103, 4096);
  const UpdateRun run = UpdateThroughTheWindow({"--simulate", "--sim-fault", "out:50"}, image);
  EXPECT_EQ(run.boxes, std::vector<QString>{QStringLiteral("Eeprom programm failed! Please try again!")});
  EXPECT_EQ(run.eeprom[0], static_cast<std::uint8_t>(~image[0]));
  EXPECT_EQ(run.bar_after, run.bar_at_box);  // left where the transfer stopped
  EXPECT_LT(run.bar_after, 999);
}

// A packet the DAC silently loses is caught by the read-back: the failure
// box, and the EEPROM file left with a first byte that fails the checksum.
TEST(FirmwareUpdateEndToEndTest, ALostPacketLeavesAnImageTheDacRefuses) {
  const testing::ScratchDir dir;
  const std::string eeprom = (dir / "g.bin").string();
  const auto image = sim::SimulatedDac::FactoryImage(4, 0x0103, 8192);
  const UpdateRun run = UpdateThroughTheWindow({"--simulate=" + eeprom, "--sim-fault", "drop:200"}, image);
  EXPECT_EQ(run.boxes, std::vector<QString>{QStringLiteral("Eeprom programm failed! Please try again!")});
  std::ifstream file(eeprom, std::ios::binary);
  std::vector<char> header(18);
  ASSERT_TRUE(file.read(header.data(), 18));
  std::uint8_t sum = 0;
  for (int i = 1; i < 18; ++i) sum = static_cast<std::uint8_t>(sum + static_cast<std::uint8_t>(header[i]));
  EXPECT_NE(static_cast<std::uint8_t>(header[0]), sum);
  EXPECT_EQ(static_cast<std::uint8_t>(header[0]), static_cast<std::uint8_t>(~image[0]));
}

}  // namespace
}  // namespace veltrane
