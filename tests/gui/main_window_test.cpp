// The main window: start-up state, switching pages by presses on the tab
// strip, and closing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QProgressBar>
#include <QTest>

#include "app/main_window.h"
#include "resources/resource_catalogue.h"
#include "sim/simulated_dac.h"
#include "ui/colored_label.h"
#include "ui/paged_tab_control.h"
#include "ui/recording_message_boxes.h"
#include "ui/tab_strip.h"

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

}  // namespace
}  // namespace veltrane
