// The main window: start-up state, switching pages by presses on the tab
// strip, and closing.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <fstream>

#include <QApplication>
#include <QComboBox>
#include <QProgressBar>
#include <QTest>

#include "app/app_texts.h"
#include "app/device_status.h"
#include "app/main_window.h"
#include "resources/resource_catalogue.h"
#include "service/service_history.h"
#include "sim/simulated_dac.h"
#include "tests/update/scratch_dir.h"
#include "ui/colored_label.h"
#include "ui/file_chooser.h"
#include "ui/paged_tab_control.h"
#include "ui/recording_message_boxes.h"
#include "ui/status_strip.h"
#include "ui/tab_strip.h"
#include "update/update_texts.h"

namespace veltrane {
namespace {

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_.show();
    QApplication::setActiveWindow(&window_);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
  }

  PagedTabControl& Tabs() { return *window_.TabControl(); }
  TabStrip& Strip() { return *Tabs().Strip(); }
  void PressTab(int tab) { QTest::mouseClick(&Strip(), Qt::LeftButton, Qt::NoModifier, Strip().tabRect(tab).center()); }
  std::array<bool, 3> Visible() {
    return {window_.Firmware().isVisible(), window_.Feedback().isVisible(), window_.About().isVisible()};
  }
  bool Focused(QWidget& page) {
    QWidget* focus = QApplication::focusWidget();
    return focus == &page || page.isAncestorOf(focus);
  }
  // The label the strip shows on `tab`, as an image.
  QImage TabLabel(int tab) { return Strip().tabIcon(tab).pixmap(44, 16).toImage().convertToFormat(QImage::Format_RGB32); }
  static QImage Bitmap(int id) { return LoadBitmap(id).toImage().convertToFormat(QImage::Format_RGB32); }

  sim::SimulatedDac dac_;
  MainWindow window_{dac_};
};

TEST_F(MainWindowTest, StartsOnTheFirmwarePage) {
  EXPECT_EQ(Visible(), (std::array<bool, 3>{true, false, false}));
  EXPECT_EQ(Tabs().CurrentPage(), 0);
  EXPECT_EQ(Tabs().PageCount(), 3);
  EXPECT_EQ(Tabs().StripImageList(), &window_.PageImageList(0));
  ASSERT_EQ(Tabs().ItemCount(), 3);
  for (int tab = 0; tab < 3; ++tab) EXPECT_TRUE(Strip().tabText(tab).isEmpty());
  // EEPROM highlighted, FEEDBACK and ABOUT plain.
  EXPECT_EQ(TabLabel(0), Bitmap(kBitmapEepromHighlighted));
  EXPECT_EQ(TabLabel(1), Bitmap(kBitmapFeedbackPlain));
  EXPECT_EQ(TabLabel(2), Bitmap(kBitmapAboutPlain));

  EXPECT_TRUE(window_.windowTitle().isEmpty());
  EXPECT_FALSE(window_.windowIcon().isNull());
  EXPECT_EQ(window_.BackgroundBitmapId(), kBitmapMainBackground);
  EXPECT_EQ(window_.BackgroundMode(), SkinnedDialog::kStretch);
  EXPECT_EQ(window_.Firmware().BackgroundBitmapId(), kBitmapPageBackground);
  EXPECT_EQ(window_.Feedback().BackgroundBitmapId(), kBitmapPageBackground);
  EXPECT_EQ(window_.About().BackgroundBitmapId(), kBitmapAboutBackground);
  EXPECT_EQ(window_.About().BackgroundMode(), SkinnedDialog::kStretch);
  EXPECT_FALSE(window_.Control(IDOK)->isVisible());
  EXPECT_FALSE(window_.Control(IDOK)->isEnabled());
}

TEST_F(MainWindowTest, PagesShareTheRectangleBelowTheTabs) {
  const QRect item = Tabs().ItemRect(0);
  const int left = item.left();
  const int bottom = item.top() + item.height();
  const QRect expected(left, bottom + 1, Tabs().width() - left - 1, Tabs().height() - bottom - 2);
  EXPECT_EQ(window_.Firmware().geometry(), expected);
  EXPECT_EQ(window_.Feedback().geometry(), expected);
  EXPECT_EQ(window_.About().geometry(), expected);
  EXPECT_EQ(window_.Firmware().parentWidget(), &Tabs());
}

TEST_F(MainWindowTest, LeftPressOnATabSwitchesPageAndLabels) {
  PressTab(1);
  EXPECT_EQ(Visible(), (std::array<bool, 3>{false, true, false}));
  EXPECT_EQ(Tabs().StripImageList(), &window_.PageImageList(1));
  EXPECT_TRUE(Focused(window_.Feedback()));
  EXPECT_EQ(TabLabel(0), Bitmap(kBitmapEepromPlain));
  EXPECT_EQ(TabLabel(1), Bitmap(kBitmapFeedbackHighlighted));
  EXPECT_EQ(TabLabel(2), Bitmap(kBitmapAboutPlain));

  PressTab(2);
  EXPECT_EQ(Visible(), (std::array<bool, 3>{false, false, true}));
  EXPECT_EQ(Tabs().StripImageList(), &window_.PageImageList(2));
  EXPECT_TRUE(Focused(window_.About()));
  EXPECT_EQ(TabLabel(1), Bitmap(kBitmapFeedbackPlain));
  EXPECT_EQ(TabLabel(2), Bitmap(kBitmapAboutHighlighted));

  PressTab(0);
  EXPECT_EQ(Visible(), (std::array<bool, 3>{true, false, false}));
  EXPECT_EQ(TabLabel(0), Bitmap(kBitmapEepromHighlighted));
}

// The keyboard goes into the shown page as into a dialog: its first tab stop,
// or the control that had it when the page was last hidden.
TEST_F(MainWindowTest, ASwitchedToPageTakesTheKeyboardAtItsControls) {
  auto within = [](QWidget* control) {
    QWidget* focus = QApplication::focusWidget();
    return focus != nullptr && (focus == control || control->isAncestorOf(focus));
  };
  PressTab(1);
  EXPECT_TRUE(within(window_.Feedback().Control(1009)));
  window_.Feedback().Control(1011)->setFocus();
  PressTab(0);
  EXPECT_TRUE(within(window_.Firmware().Control(1000)));
  PressTab(2);  // nothing on the about page takes the keyboard: the page does
  EXPECT_EQ(QApplication::focusWidget(), &window_.About());
  PressTab(1);
  EXPECT_TRUE(within(window_.Feedback().Control(1011)));
}

TEST_F(MainWindowTest, PressOnTheCurrentTabOrBesideTheTabsChangesNothing) {
  PressTab(0);
  EXPECT_EQ(Visible(), (std::array<bool, 3>{true, false, false}));
  EXPECT_EQ(Tabs().StripImageList(), &window_.PageImageList(0));
  // Right of the last tab, still on the tab control.
  const QRect last = Tabs().ItemRect(2);
  const QPoint beside(Tabs().width() - 3, last.center().y());
  ASSERT_GT(beside.x(), last.right());
  QTest::mouseClick(&Tabs(), Qt::LeftButton, Qt::NoModifier, beside);
  EXPECT_EQ(Visible(), (std::array<bool, 3>{true, false, false}));
  // A right press on another tab does not switch either.
  QTest::mouseClick(&Strip(), Qt::RightButton, Qt::NoModifier, Strip().tabRect(1).center());
  EXPECT_EQ(Visible(), (std::array<bool, 3>{true, false, false}));
  EXPECT_EQ(Tabs().CurrentPage(), 0);
}

TEST_F(MainWindowTest, KeyboardSelectionDoesNotSwitchPages) {
  Strip().setFocus();
  QTest::keyClick(&Strip(), Qt::Key_Right);
  EXPECT_EQ(Strip().currentIndex(), 1);
  EXPECT_EQ(Visible(), (std::array<bool, 3>{true, false, false}));
  Strip().setCurrentIndex(2);
  EXPECT_EQ(Visible(), (std::array<bool, 3>{true, false, false}));
  EXPECT_EQ(Tabs().StripImageList(), &window_.PageImageList(0));
}

TEST_F(MainWindowTest, HiddenPagesKeepTheirState) {
  window_.Firmware().ControlAs<ColoredLabel>(1006)->setText("/tmp/image.BIN");
  window_.Feedback().ControlAs<QComboBox>(1010)->setEditText("0.25");
  PressTab(1);
  PressTab(2);
  PressTab(0);
  EXPECT_EQ(window_.Firmware().ControlAs<ColoredLabel>(1006)->text(), "/tmp/image.BIN");
  EXPECT_EQ(window_.Feedback().ControlAs<QComboBox>(1010)->currentText(), "0.25");
}

TEST_F(MainWindowTest, ResizingStretchesTheBackgroundOnly) {
  const QRect tabs = Tabs().geometry();
  const QRect page = window_.Firmware().geometry();
  window_.resize(window_.width() + 80, window_.height() + 40);
  QApplication::processEvents();
  EXPECT_EQ(Tabs().geometry(), tabs);
  EXPECT_EQ(window_.Firmware().geometry(), page);
  // The background's dark-blue edge is stretched to the new bottom-right corner.
  const QImage shot = window_.grab().toImage();
  EXPECT_EQ(shot.size(), window_.size());
  const QColor corner = shot.pixelColor(shot.width() - 1, shot.height() - 1);
  EXPECT_LT(corner.blue() + corner.green(), 255) << corner.name().toStdString();
}

TEST_F(MainWindowTest, AFifthPageIsRefused) {
  QWidget fourth;
  QWidget fifth;
  EXPECT_TRUE(Tabs().AddPage(&fourth, 100, nullptr));
  EXPECT_FALSE(Tabs().AddPage(&fifth, 100, nullptr));
  EXPECT_EQ(Tabs().PageCount(), 4);
  EXPECT_EQ(fifth.parentWidget(), nullptr);
  EXPECT_EQ(Tabs().Page(3), &fourth);
  fourth.setParent(nullptr);
}

TEST_F(MainWindowTest, FirmwareProgressReachesThePage) {
  ProgressSink* sink = window_.Firmware().Link().GetProgressSink();
  ASSERT_EQ(sink, static_cast<ProgressSink*>(&window_.Firmware()));
  sink->SetProgress(500);
  auto* bar = window_.Firmware().ControlAs<QProgressBar>(1003);
  EXPECT_EQ(bar->maximum(), 1000);
  EXPECT_EQ(bar->value(), 500);
}

TEST_F(MainWindowTest, EscapeOrEnterOnTheWindowCloseItButNotInsideAPage) {
  QTest::keyClick(window_.Firmware().Control(1006), Qt::Key_Escape);
  QTest::keyClick(window_.Firmware().Control(1006), Qt::Key_Return);
  EXPECT_TRUE(window_.isVisible());
  QTest::keyClick(&window_, Qt::Key_Escape);
  EXPECT_FALSE(window_.isVisible());
  EXPECT_EQ(window_.result(), QDialog::Rejected);

  sim::SimulatedDac dac;
  MainWindow other(dac);
  other.show();
  QTest::keyClick(&other, Qt::Key_Return);
  EXPECT_FALSE(other.isVisible());
  EXPECT_EQ(other.result(), QDialog::Accepted);
}

TEST_F(MainWindowTest, F1SaysThereIsNoHelpFile) {
  RecordingMessageBoxes boxes;
  window_.SetMessageBoxes(&boxes);
  QTest::keyClick(&window_, Qt::Key_F1);
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_TRUE(boxes.Boxes()[0].text.contains("gui_tests.HLP"));
  EXPECT_EQ(boxes.Boxes()[0].buttons, BoxButtons::kOk);
}

TEST_F(MainWindowTest, CtrlTabAndCtrlPageKeysSwitchPagesRoundTheEnd) {
  const struct {
    QKeyCombination key;
    int page;
  } steps[] = {
      {Qt::CTRL | Qt::Key_Tab, 1},      {Qt::CTRL | Qt::Key_PageDown, 2}, {Qt::CTRL | Qt::Key_Tab, 0},
      {Qt::CTRL | Qt::Key_PageUp, 2},   {Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab, 1},
  };
  for (const auto& step : steps) {
    QTest::keyClick(QApplication::focusWidget(), step.key.key(), step.key.keyboardModifiers());
    EXPECT_EQ(Tabs().CurrentPage(), step.page);
    EXPECT_EQ(Tabs().StripImageList(), &window_.PageImageList(step.page));
    std::array<bool, 3> shown{};
    shown[static_cast<std::size_t>(step.page)] = true;
    EXPECT_EQ(Visible(), shown);
  }
}

TEST_F(MainWindowTest, EveryControlHasAnAccessibleName) {
  for (SkinnedDialog* dialog : std::initializer_list<SkinnedDialog*>{
           &window_, &window_.Firmware(), &window_.Feedback(), &window_.About()}) {
    for (QWidget* control : dialog->Controls()) {
      EXPECT_FALSE(control->accessibleName().isEmpty())
          << dialog->TemplateId() << ":" << control->property(SkinnedDialog::kControlIdProperty).toInt();
    }
  }
  for (int tab = 0; tab < 3; ++tab) EXPECT_FALSE(Strip().accessibleTabName(tab).isEmpty());
  EXPECT_FALSE(window_.About().accessibleDescription().isEmpty());
}

TEST_F(MainWindowTest, TheStripSitsBelowTheDescribedAreaAndTheBackgroundAbove) {
  StatusStrip* strip = window_.Strip();
  EXPECT_EQ(strip->geometry().bottom(), window_.height() - 1);
  EXPECT_EQ(strip->width(), window_.width());
  EXPECT_EQ(window_.height() - strip->height(),
            window_.MapDialogRect(QRect(0, 0, 128, 163)).height());
  EXPECT_GT(strip->geometry().top(), Tabs().geometry().bottom());
}

// A close asked for while a Write runs is held back with a note, then done.
TEST(MainWindowClose, ACloseDuringAWriteHappensWhenTheWriteEnds) {
  const std::string path = (std::filesystem::temp_directory_path() / "veltrane-close-test.BIN").string();
  const auto image = sim::SimulatedDac::FactoryImage(4, 0x0103, 256);
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), 256);
  FixedFileChooser chooser(QString::fromStdString(path));
  struct ClosingBoxes : RecordingMessageBoxes {
    MainWindow* window = nullptr;
    bool visible_after_close = false;
    QString note;
    BoxAnswer Show(const QString& text, BoxButtons buttons) override {
      window->close();
      visible_after_close = window->isVisible();
      note = window->Strip()->Note();
      return RecordingMessageBoxes::Show(text, buttons);
    }
  } boxes;
  sim::SimulatedDac dac;
  MainWindow window(dac);
  boxes.window = &window;
  window.Firmware().SetFileChooser(&chooser);
  window.show();
  window.Firmware().OnBrowse();
  window.Firmware().SetMessageBoxes(&boxes);
  window.Firmware().OnWrite();
  EXPECT_EQ(boxes.Texts(), std::vector<QString>{QStringLiteral("EEPROM program completed. ")});
  EXPECT_TRUE(boxes.visible_after_close);
  EXPECT_EQ(boxes.note, QString::fromLatin1(app_texts::kClosesAfterWrite));
  EXPECT_FALSE(window.isVisible());
  EXPECT_FALSE(window.ClosePending());
  std::filesystem::remove(path);
}

// The strip follows the simulated DAC's unplug and replug at its next look
// (no clock involved), and a denied DAC shows the platform's hint.
TEST_F(MainWindowTest, TheStripFollowsUnplugAndReplug) {
  const QString present = QString::fromUtf8("DAC 0004 rev 0102 \u00b7 SIM0001 \u00b7 simulated");
  StatusStrip& strip = *window_.Strip();
  EXPECT_EQ(strip.DeviceText(), present);
  for (int round = 0; round < 2; ++round) {
    dac_.Unplug();
    window_.Status()->Tick();
    EXPECT_EQ(strip.DeviceText(), "No DAC connected");
    dac_.Replug();
    window_.Status()->Tick();
    EXPECT_EQ(strip.DeviceText(), present);
  }
  // Nothing changed: a look neither talks to the DAC nor opens it.
  dac_.ClearTrace();
  window_.Status()->Tick();
  EXPECT_TRUE(dac_.Trace().empty());
  EXPECT_EQ(dac_.OpenHandleCount(), 0);

  sim::SimOptions denied;
  denied.access_denied = true;
  sim::SimulatedDac locked(denied);
  MainWindow other(locked);
  EXPECT_NE(other.Strip()->DeviceText(), "No DAC connected");
  EXPECT_FALSE(other.Strip()->DeviceText().startsWith("DAC "));
}

// While a Write runs the strip leaves the DAC alone; it looks again after.
TEST(MainWindowStatus, NoLookDuringAWrite) {
  const std::string path = (std::filesystem::temp_directory_path() / "veltrane-strip-test.BIN").string();
  const auto image = sim::SimulatedDac::FactoryImage(4, 0x0103, 256);
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), 256);
  FixedFileChooser chooser(QString::fromStdString(path));
  sim::SimulatedDac dac;
  MainWindow window(dac);
  struct LookingBoxes : RecordingMessageBoxes {
    std::function<void()> during;
    BoxAnswer Show(const QString& text, BoxButtons buttons) override {
      if (during) during();
      return RecordingMessageBoxes::Show(text, buttons);
    }
  } boxes;
  std::size_t trace_before = 0;
  std::size_t trace_after = 0;
  boxes.during = [&] {
    dac.Unplug();
    trace_before = dac.Trace().size();
    window.Status()->Tick();
    trace_after = dac.Trace().size();
    EXPECT_NE(window.Strip()->DeviceText(), "No DAC connected");
  };
  window.Firmware().SetFileChooser(&chooser);
  window.Firmware().SetBackupFolder(QString());
  window.Firmware().OnBrowse();
  window.Firmware().SetMessageBoxes(&boxes);
  window.Firmware().OnWrite();
  EXPECT_EQ(trace_after, trace_before);
  EXPECT_EQ(window.Strip()->DeviceText(), "No DAC connected");  // looked again once it ended
  std::filesystem::remove(path);
}

// Write and Program are recorded: the strip names the latest change on the
// connected DAC, and a history that cannot take a row says so once, there.
TEST(MainWindowStatus, TheStripNamesTheLatestChangeAndSaysOnceWhenNotRecorded) {
  testing::ScratchDir dir;
  const auto image = sim::SimulatedDac::FactoryImage(4, 0x0103, 256);
  FixedFileChooser chooser(QString::fromStdString(dir.Write(image, "new.BIN")));
  RecordingMessageBoxes boxes;
  for (const bool damaged : {false, true}) {
    SCOPED_TRACE(damaged ? "a damaged history" : "a history");
    const std::string file = (dir / (damaged ? "damaged.sqlite3" : "history.sqlite3")).string();
    if (damaged) dir.Write(std::vector<std::uint8_t>(4096, 0xA5), "damaged.sqlite3");
    ServiceHistory history(HistoryOptions{file});
    sim::SimulatedDac dac;
    MainWindow window(dac);
    window.SetKeeping(&history, QString::fromStdString((dir / "backups").string()));
    window.Firmware().SetFileChooser(&chooser);
    window.Firmware().SetMessageBoxes(&boxes);
    window.Feedback().SetMessageBoxes(&boxes);
    window.Firmware().OnBrowse();
    window.Firmware().OnWrite();
    ASSERT_FALSE(boxes.Texts().empty());
    EXPECT_EQ(boxes.Texts().back(), "EEPROM program completed. ");
    if (!damaged) {
      EXPECT_TRUE(window.Strip()->DeviceText().endsWith(QString::fromUtf8("\u00b7 Last change: Write 0x0103, just now")))
          << window.Strip()->DeviceText().toStdString();
      window.Feedback().Retrieve();  // every rate named, as Program requires
      window.Feedback().Program();
      EXPECT_TRUE(window.Strip()->DeviceText().contains("Last change: Program"))
          << window.Strip()->DeviceText().toStdString();
      continue;
    }
    EXPECT_TRUE(window.Strip()->Note().startsWith("The service history was not recorded: "))
        << window.Strip()->Note().toStdString();
    window.Strip()->SetNote(QString());
    window.Firmware().OnBrowse();
    window.Firmware().OnWrite();
    EXPECT_TRUE(window.Strip()->Note().isEmpty() || !window.Strip()->Note().startsWith("The service history"))
        << "said twice";
  }
}

// A Write killed half-way leaves its row running: the program started again
// says so when it finds the DAC, and puts the backup back only on a yes.
TEST(MainWindowStatus, AfterAKilledWriteTheDacIsPutBackOnAYes) {
  testing::ScratchDir dir;
  const auto image = sim::SimulatedDac::FactoryImage(4, 0x0103, 256);
  FixedFileChooser chooser(QString::fromStdString(dir.Write(image, "new.BIN")));
  const std::string file = (dir / "history.sqlite3").string();
  const QString backups = QString::fromStdString((dir / "backups").string());
  sim::SimulatedDac dac;
  const std::vector<std::uint8_t> before = dac.Eeprom();
  {
    ServiceHistory history(HistoryOptions{file});
    MainWindow window(dac);
    window.SetKeeping(&history, backups);
    RecordingMessageBoxes boxes;
    window.Firmware().SetFileChooser(&chooser);
    window.Firmware().SetMessageBoxes(&boxes);
    window.Firmware().OnBrowse();
    window.Firmware().OnWrite();
  }
  // As the kill left it: half the image in, byte 0 held, the row running and its lock gone.
  std::vector<std::uint8_t>& eeprom = dac.Eeprom();
  std::copy(before.begin() + 128, before.begin() + 256, eeprom.begin() + 128);
  eeprom[0] = static_cast<std::uint8_t>(~image[0]);
  ServiceHistory history(HistoryOptions{file});
  std::vector<HistoryRow> rows;
  std::string problem;
  ASSERT_TRUE(history.List({}, &rows, &problem)) << problem;
  ASSERT_EQ(rows.size(), 1u);
  HistoryRow row = rows.front();
  row.outcome = outcome::kRunning;
  row.lock_path = (dir / "gone.lock").string();
  ASSERT_TRUE(history.Update(row.id, row).id);

  for (const BoxAnswer answer : {BoxAnswer::kNo, BoxAnswer::kYes}) {
    SCOPED_TRACE(answer == BoxAnswer::kYes ? "yes" : "no");
    RecordingMessageBoxes boxes;
    boxes.QueueAnswer(answer);
    MainWindow window(dac);
    window.SetMessageBoxes(&boxes);
    window.Firmware().SetMessageBoxes(&boxes);
    window.SetKeeping(&history, backups);
    QCoreApplication::processEvents();
    ASSERT_GE(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].buttons, BoxButtons::kYesNo);
    EXPECT_TRUE(boxes.Texts()[0].startsWith("The last Write to this DAC was interrupted")) << boxes.Texts()[0].toStdString();
    if (answer == BoxAnswer::kNo) {
      EXPECT_EQ(boxes.Boxes().size(), 1u);
      EXPECT_NE(dac.Eeprom(), before) << "written without a yes";
      continue;
    }
    ASSERT_EQ(boxes.Boxes().size(), 2u);
    EXPECT_EQ(boxes.Texts()[1], update_texts::kPutBackDone);
    EXPECT_EQ(dac.Eeprom(), before);
    ASSERT_TRUE(history.List({}, &rows, &problem));
    EXPECT_EQ(rows.front().undoes, row.id);
    EXPECT_TRUE(rows.front().Done());
  }
}

TEST(MainWindowSettings, TheNextWindowOpensWhereTheLastOneClosed) {
  sim::SimulatedDac dac;
  QPoint where;
  {
    MainWindow first(dac);
    first.show();
    first.move(first.pos() + QPoint(37, 23));
    where = first.pos();
    first.reject();
  }
  MainWindow second(dac);
  EXPECT_EQ(second.pos(), where);
}

}  // namespace
}  // namespace veltrane
