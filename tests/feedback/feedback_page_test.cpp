// The feedback page on Qt's offscreen platform, against the simulated DAC:
// what Program writes and Retrieve shows, checked on the DAC's trace.
#include <gtest/gtest.h>

#include <memory>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include "feedback/page/feedback_page.h"
#include "resources/resource_catalogue.h"
#include "sim/simulated_dac.h"
#include "tests/support/trace_lines.h"
#include "ui/bitmap_button.h"
#include "ui/recording_message_boxes.h"
#include "ui/sorted_combo_box.h"

namespace veltrane {
namespace {

using sim::SimOptions;
using sim::SimulatedDac;
using testing::LinesOf;
using testing::Out;
using G = SampleRateGroup;

void EnsureApplication() {
  if (QApplication::instance() != nullptr) return;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "feedback_page_tests";
  static char* argv[] = {name, nullptr};
  // Never destroyed: at exit Qt's own globals (the keyboard the key presses
  // went through) are gone before a static application would be.
  new QApplication(argc, argv);
}

const std::vector<std::uint8_t> kSelect = {0x04, 0x00, 0x00, 0xA0};

std::string WriteBlock(std::uint8_t s1, std::uint8_t s2, std::uint8_t s3) {
  return Out({0x0A, 0x04, 0x00, 0x00, 0x17, 0x12, 0x00, s1, s2, s3});
}

std::vector<std::uint8_t> Block(SimulatedDac& dac) {
  return {dac.Eeprom().begin() + 0x1712, dac.Eeprom().begin() + 0x1716};
}

const QString kEnumeration = QString::fromLatin1(feedback_texts::kFailedEnumeration);
const QString kCompleted = QString::fromLatin1(feedback_texts::kProgramCompleted);
const QString kFailed = QString::fromLatin1(feedback_texts::kFailedProgramming);
const QString kChoose = QString::fromLatin1(feedback_texts::kChooseEveryRate);

// A page on its own simulated DAC, with boxes recorded instead of shown.
struct Bench {
  explicit Bench(SimOptions options = {}) : dac(std::move(options)) {
    EnsureApplication();
    page = std::make_unique<FeedbackPage>(dac);
    page->SetMessageBoxes(&boxes);
  }
  ~Bench() { page.reset(); }

  SortedComboBox& Combo(G group) { return *page->Combo(group); }
  QString Shown(G group) { return Combo(group).currentText(); }
  void Choose(G group, const char* text) {
    const int index = Combo(group).findText(QString::fromLatin1(text), Qt::MatchExactly);
    ASSERT_GE(index, 0) << text;
    Combo(group).setCurrentIndex(index);
  }
  void Type(G group, const char* text) { Combo(group).setEditText(QString::fromLatin1(text)); }
  void Click(int id) { page->ControlAs<BitmapButton>(id)->click(); }
  void Program() {
    dac.ClearTrace();
    boxes.Clear();
    Click(FeedbackPage::kProgramButton);
  }
  void Retrieve() {
    dac.ClearTrace();
    boxes.Clear();
    Click(FeedbackPage::kRetrieveButton);
  }
  void SetBlock(std::vector<std::uint8_t> block) {
    std::copy(block.begin(), block.end(), dac.Eeprom().begin() + 0x1712);
  }

  SimulatedDac dac;
  RecordingMessageBoxes boxes;
  std::unique_ptr<FeedbackPage> page;
};

TEST(FeedbackPageTest, StartsWithEmptyFieldsListsInTableOrderAndItsPictures) {
  Bench bench;
  FeedbackPage& page = *bench.page;
  for (const G group : {G::k32_48_96kHz, G::k44_1kHz, G::k88_2kHz}) {
    SortedComboBox& combo = bench.Combo(group);
    EXPECT_TRUE(combo.isEditable());
    EXPECT_TRUE(combo.Sorted());
    EXPECT_EQ(combo.currentText(), QString());
    EXPECT_EQ(combo.currentIndex(), -1);
    ASSERT_EQ(combo.count(), 8);
    for (int i = 0; i < 8; ++i) {
      EXPECT_EQ(combo.itemText(i).toStdString(), kFeedbackResolutions[static_cast<std::size_t>(i)].text);
    }
    EXPECT_FALSE(page.Setting(group).has_value());
  }
  EXPECT_EQ(page.Combo(G::k32_48_96kHz), page.Control(1009));
  EXPECT_EQ(page.Combo(G::k44_1kHz), page.Control(1010));
  EXPECT_EQ(page.Combo(G::k88_2kHz), page.Control(1011));

  auto* program = page.ControlAs<BitmapButton>(1012);
  auto* retrieve = page.ControlAs<BitmapButton>(1013);
  EXPECT_EQ(program->NormalPictureId(), 154);
  EXPECT_EQ(retrieve->NormalPictureId(), 155);
  EXPECT_EQ(program->size(), LoadBitmap(154).size());
  EXPECT_EQ(retrieve->size(), LoadBitmap(155).size());

  auto* label = page.ControlAs<QLabel>(1015);
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->text(), "44.1 KHZ");
  const QPixmap picture = label->property(FeedbackPage::kLabelBitmapProperty).value<QPixmap>();
  EXPECT_FALSE(picture.isNull());
  EXPECT_EQ(picture.size(), LoadBitmap(135).size());

  EXPECT_EQ(page.BackgroundMode(), SkinnedDialog::kStretch);
  EXPECT_EQ(page.BackgroundBitmapId(), 153);
  EXPECT_TRUE(bench.dac.Trace().empty());  // nothing goes to the device before a button press
}

TEST(FeedbackPageTest, ProgramWritesTheChosenMasksInOneWritePacketAfterTheSelect) {
  Bench bench;
  bench.Choose(G::k32_48_96kHz, "0.25");
  bench.Choose(G::k44_1kHz, "0.50");
  bench.Choose(G::k88_2kHz, "1.00");
  bench.Program();
  EXPECT_EQ(bench.dac.Trace(),
            (std::vector<std::string>{Out(kSelect), WriteBlock(0x1F, 0x3F, 0x7F), "sleep 1"}));
  EXPECT_EQ(Block(bench.dac), (std::vector<std::uint8_t>{0x00, 0x1F, 0x3F, 0x7F}));
  EXPECT_EQ(bench.boxes.Texts(), std::vector<QString>{kCompleted});
  EXPECT_EQ(bench.boxes.Boxes()[0].buttons, BoxButtons::kOk);
}

TEST(FeedbackPageTest, RetrieveShowsTheTextOfEachMaskWithoutABox) {
  Bench bench;
  bench.SetBlock({0x00, 0x07, 0x0F, 0x00});
  bench.Retrieve();
  EXPECT_EQ(bench.Shown(G::k32_48_96kHz), "0.0625");
  EXPECT_EQ(bench.Shown(G::k44_1kHz), "0.125");
  EXPECT_EQ(bench.Shown(G::k88_2kHz), "0.0078125");
  EXPECT_EQ(bench.Combo(G::k88_2kHz).currentIndex(), 0);  // selected in the list, not typed
  // "0.0078125" is wider than the field: it shows from its start, not its end.
  EXPECT_EQ(bench.Combo(G::k88_2kHz).lineEdit()->cursorPosition(), 0);
  EXPECT_TRUE(bench.boxes.Texts().empty());
  // Select, one read request for four bytes at 0x1712, its answer.
  const auto out = LinesOf(bench.dac.Trace(), "out");
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0], Out(kSelect));
  EXPECT_EQ(out[1], Out({0x0A, 0x05, 0x00, 0x00, 0x17, 0x12}));
  EXPECT_EQ(LinesOf(bench.dac.Trace(), "in").size(), 1u);
}

TEST(FeedbackPageTest, AByteThatNamesNoRowKeepsTheTextAndIsWrittenBackAsIs) {
  {
    // 1010 held "0.25"; a foreign byte leaves it showing, and Program writes what it maps to.
    Bench bench;
    bench.Retrieve();  // factory: 00 0F 1F 3F
    bench.SetBlock({0x00, 0x0F, 0xFF, 0x3F});
    bench.Retrieve();
    EXPECT_EQ(bench.Shown(G::k44_1kHz), "0.25");
    EXPECT_EQ(bench.page->Setting(G::k44_1kHz), 0xFF);
    bench.Program();
    EXPECT_EQ(LinesOf(bench.dac.Trace(), "out")[1], WriteBlock(0x0F, 0x1F, 0x3F));
  }
  {
    // No text yet: the field stays empty (not the first row), and Program
    // refuses to write the foreign byte back unseen, as it refuses a typed text.
    Bench bench;
    bench.SetBlock({0x00, 0x0F, 0xFF, 0x3F});
    bench.Retrieve();
    EXPECT_EQ(bench.Shown(G::k44_1kHz), QString());
    EXPECT_EQ(bench.Combo(G::k44_1kHz).currentIndex(), -1);
    for (const char* typed : {"", "fast"}) {
      bench.Type(G::k44_1kHz, typed);
      bench.Program();
      EXPECT_TRUE(LinesOf(bench.dac.Trace(), "out").empty()) << typed;
      EXPECT_EQ(bench.boxes.Texts(), std::vector<QString>{kChoose}) << typed;
    }
  }
}

TEST(FeedbackPageTest, AChoiceNotYetProgrammedIsLostOnRetrieve) {
  Bench bench;
  bench.Retrieve();
  bench.Choose(G::k44_1kHz, "1.00");
  bench.SetBlock({0x00, 0x0F, 0x80, 0x3F});
  bench.Retrieve();
  EXPECT_EQ(bench.Shown(G::k44_1kHz), "0.25");  // the last Retrieve's text, not the choice
}

TEST(FeedbackPageTest, TypedTextsMustEqualATableTextExactly) {
  Bench bench;
  bench.Retrieve();  // 0x0F, 0x1F, 0x3F
  bench.Type(G::k32_48_96kHz, "0.0625");  // typed, and a table text: taken
  bench.Type(G::k44_1kHz, "0.5");         // not "0.50": the setting stays 0x1F
  bench.Type(G::k88_2kHz, "1.0");
  bench.page->show();
  bench.Program();
  // Nothing is sent, the user is asked, and the first combo whose text names
  // no row has the keyboard; no setting took a typed text.
  EXPECT_TRUE(LinesOf(bench.dac.Trace(), "out").empty());
  EXPECT_EQ(bench.boxes.Texts(), std::vector<QString>{kChoose});
  EXPECT_TRUE(bench.Combo(G::k44_1kHz).hasFocus() ||
              bench.page->focusWidget() == &bench.Combo(G::k44_1kHz));
  EXPECT_EQ(bench.page->Setting(G::k32_48_96kHz), 0x0F);
  EXPECT_EQ(Block(bench.dac), (std::vector<std::uint8_t>{0x00, 0x0F, 0x1F, 0x3F}));
  EXPECT_EQ(bench.page->Text(G::k44_1kHz), "0.5");
  // Shown again, a text selects the first item it begins, ignoring case.
  bench.SetBlock({0x00, 0x07, 0xEE, 0x3F});
  bench.Retrieve();
  EXPECT_EQ(bench.Shown(G::k44_1kHz), "0.50");
  EXPECT_EQ(bench.Combo(G::k44_1kHz).currentIndex(), 6);
  EXPECT_EQ(bench.Shown(G::k88_2kHz), "0.50");
}

// Typed at the keyboard, a text stays as typed: no completion turns "0.5"
// into "0.50" or "1" into "1.00" behind the user's back.
TEST(FeedbackPageTest, KeysTypedIntoAComboAreTakenAsTyped) {
  Bench bench;
  bench.Retrieve();  // factory: 0x0F, 0x1F, 0x3F
  bench.page->show();
  QApplication::setActiveWindow(bench.page.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(bench.page.get()));
  for (const auto& [group, keys] : {std::pair{G::k44_1kHz, "0.5"}, std::pair{G::k88_2kHz, "1"}}) {
    QLineEdit* edit = bench.Combo(group).lineEdit();
    ASSERT_NE(edit, nullptr);
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, QString::fromLatin1(keys));
    EXPECT_EQ(bench.Shown(group), QString::fromLatin1(keys));
  }
  bench.Program();
  EXPECT_TRUE(LinesOf(bench.dac.Trace(), "out").empty());
  EXPECT_EQ(bench.page->Text(G::k44_1kHz), "0.5");
  EXPECT_EQ(bench.page->Text(G::k88_2kHz), "1");
}

TEST(FeedbackPageTest, NoDeviceShowsOneBoxAndSendsNothing) {
  Bench bench;
  bench.Choose(G::k32_48_96kHz, "0.25");
  bench.Choose(G::k44_1kHz, "0.50");
  bench.Choose(G::k88_2kHz, "1.00");
  bench.dac.Unplug();
  bench.Program();
  EXPECT_EQ(bench.boxes.Texts(), std::vector<QString>{kEnumeration});
  EXPECT_TRUE(LinesOf(bench.dac.Trace(), "out").empty());
  EXPECT_FALSE(bench.page->Setting(G::k44_1kHz).has_value());  // texts not even taken
  bench.Retrieve();
  EXPECT_EQ(bench.boxes.Texts(), std::vector<QString>{kEnumeration});
  EXPECT_TRUE(bench.dac.Trace().empty());
  EXPECT_EQ(bench.Shown(G::k44_1kHz), "0.50");
}

// The platform's own words for a device it sees but may not open.
class DeniedDac : public SimulatedDac {
 public:
  using SimulatedDac::SimulatedDac;
  std::string AccessDeniedHint() const override { return "Install the udev rule."; }
};

TEST(FeedbackPageTest, ADeviceSeenButNotOpenedAddsThePlatformsHint) {
  EnsureApplication();
  SimOptions options;
  options.access_denied = true;
  DeniedDac dac(options);
  RecordingMessageBoxes boxes;
  FeedbackPage page(dac);
  page.SetMessageBoxes(&boxes);
  EXPECT_EQ(page.LocateFeedbackDevice(), 0);
  EXPECT_EQ(boxes.Texts(), std::vector<QString>{kEnumeration + "\n\nInstall the udev rule."});
}

TEST(FeedbackPageTest, FailedReadAndFailedWriteSayTheSame) {
  {
    SimOptions options;
    options.fail_input_report = 1;
    Bench bench(options);
    bench.Choose(G::k44_1kHz, "0.50");
    bench.Retrieve();
    EXPECT_EQ(bench.boxes.Texts(), std::vector<QString>{kFailed});
    EXPECT_EQ(bench.Shown(G::k44_1kHz), "0.50");
    EXPECT_FALSE(bench.page->Setting(G::k44_1kHz).has_value());
  }
  {
    SimOptions options;
    options.fail_output_report = 2;  // the select goes through, the write packet fails
    Bench bench(options);
    bench.Choose(G::k32_48_96kHz, "0.25");
    bench.Choose(G::k44_1kHz, "0.50");
    bench.Choose(G::k88_2kHz, "1.00");
    bench.Program();
    EXPECT_EQ(bench.boxes.Texts(), std::vector<QString>{kFailed});
    EXPECT_EQ(Block(bench.dac), (std::vector<std::uint8_t>{0x00, 0x0F, 0x1F, 0x3F}));
    EXPECT_EQ(bench.page->Setting(G::k88_2kHz), 0x7F);  // taken from the texts all the same
    bench.Program();  // the closed link is found again
    EXPECT_EQ(bench.boxes.Texts(), std::vector<QString>{kCompleted});
    EXPECT_EQ(Block(bench.dac), (std::vector<std::uint8_t>{0x00, 0x1F, 0x3F, 0x7F}));
  }
}

TEST(FeedbackPageTest, ProgramRefusesASettingThatNeverHeldAValue) {
  Bench bench;
  bench.Choose(G::k32_48_96kHz, "0.25");
  bench.Type(G::k44_1kHz, "0.5");
  bench.Choose(G::k88_2kHz, "1.00");
  bench.Program();
  EXPECT_EQ(bench.boxes.Texts(), std::vector<QString>{kChoose});
  EXPECT_TRUE(bench.dac.Trace().empty());
  EXPECT_EQ(Block(bench.dac), (std::vector<std::uint8_t>{0x00, 0x0F, 0x1F, 0x3F}));
  bench.Choose(G::k44_1kHz, "0.50");
  bench.Program();
  EXPECT_EQ(bench.boxes.Texts(), std::vector<QString>{kCompleted});
  EXPECT_EQ(Block(bench.dac), (std::vector<std::uint8_t>{0x00, 0x1F, 0x3F, 0x7F}));
}

TEST(FeedbackPageTest, ProgrammedSettingsComeBackAfterARestartOnTheSameEeprom) {
  // A scratch directory of its own, so that build trees can test side by side.
  QTemporaryDir scratch;
  ASSERT_TRUE(scratch.isValid());
  const std::string file = scratch.filePath(QStringLiteral("feedback.eeprom")).toStdString();
  SimOptions options;
  options.eeprom_file = file;
  {
    Bench bench(options);
    bench.Retrieve();
    EXPECT_EQ(bench.Shown(G::k32_48_96kHz), "0.125");  // factory settings
    EXPECT_EQ(bench.Shown(G::k44_1kHz), "0.25");
    EXPECT_EQ(bench.Shown(G::k88_2kHz), "0.50");
    bench.Choose(G::k32_48_96kHz, "0.25");
    bench.Choose(G::k44_1kHz, "0.50");
    bench.Choose(G::k88_2kHz, "1.00");
    bench.Program();
    EXPECT_EQ(LinesOf(bench.dac.Trace(), "out")[1], WriteBlock(0x1F, 0x3F, 0x7F));
    bench.Retrieve();
    EXPECT_EQ(bench.Shown(G::k88_2kHz), "1.00");
  }
  {
    Bench bench(options);  // a new DAC over the same EEPROM file, a new page
    bench.Retrieve();
    EXPECT_EQ(bench.Shown(G::k32_48_96kHz), "0.25");
    EXPECT_EQ(bench.Shown(G::k44_1kHz), "0.50");
    EXPECT_EQ(bench.Shown(G::k88_2kHz), "1.00");
    EXPECT_TRUE(bench.boxes.Texts().empty());
  }
}

}  // namespace
}  // namespace veltrane
