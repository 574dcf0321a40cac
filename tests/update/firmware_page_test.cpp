// The firmware page on Qt's offscreen platform: browse and Write flows driven
// through recorded message boxes and a fake file chooser against the
// simulated DAC on virtual time.
#include "update/page/firmware_page.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>

#include <QApplication>
#include <QGuiApplication>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QProgressBar>
#include <QUrl>

#include "resources/resource_catalogue.h"
#include "sim/simulated_dac.h"
#include "tests/support/fault_matrix.h"
#include "tests/support/trace_lines.h"
#include "tests/update/scratch_dir.h"
#include "ui/bitmap_button.h"
#include "ui/colored_label.h"
#include "ui/file_chooser.h"
#include "ui/recording_message_boxes.h"

namespace veltrane {
namespace {

using sim::SimOptions;
using sim::SimulatedDac;
using testing::LinesOf;
using Bytes = std::vector<std::uint8_t>;

// What the page looked like while a box was open.
struct BoxMoment {
  QString text;
  BoxButtons buttons;
  int write_picture;
  bool write_enabled;
  bool wait_cursor;
  int bar;
  bool writing;
};

class FlowBoxes : public RecordingMessageBoxes {
 public:
  explicit FlowBoxes(FirmwarePage** page) : page_(page) {}
  BoxAnswer Show(const QString& text, BoxButtons buttons) override {
    const FirmwarePage* page = *page_;
    moments.push_back({text, buttons, page->WriteButton()->NormalPictureId(),
                       page->WriteButton()->isEnabled(), QGuiApplication::overrideCursor() != nullptr,
                       page->ProgressBar()->value(), page->IsWriting()});
    if (on_show) on_show();
    return RecordingMessageBoxes::Show(text, buttons);
  }
  std::vector<BoxMoment> moments;
  std::function<void()> on_show;

 private:
  FirmwarePage** page_;
};

class FakeChooser : public FileChooser {
 public:
  explicit FakeChooser(FirmwarePage** page) : page_(page) {}
  std::optional<QString> ChooseFile(QWidget* owner) override {
    EXPECT_EQ(owner, *page_);
    browse_pictures.push_back((*page_)->BrowseButton()->NormalPictureId());
    if (answers.empty()) return std::nullopt;
    std::optional<QString> answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::deque<std::optional<QString>> answers;
  std::vector<int> browse_pictures;

 private:
  FirmwarePage** page_;
};

// The progress route as the main window sets it up, noting where the bar
// stood when each report arrived.
class Route : public ProgressSink {
 public:
  explicit Route(FirmwarePage* page) : page_(page) {}
  void SetProgress(std::uint16_t per_mille) override {
    bar_before.push_back(page_->ProgressBar()->value());
    page_->SetProgress(per_mille);
  }
  std::vector<int> bar_before;

 private:
  FirmwarePage* page_;
};

class DeniedDac : public SimulatedDac {
 public:
  using SimulatedDac::SimulatedDac;
  std::string AccessDeniedHint() const override { return "Install the udev rule, then replug."; }
};

const QString kNoDeviceConnect = QStringLiteral("No device found!\nPlease connect device");
const QString kNoDevice = QStringLiteral("No device found");
const QString kCompleted = QStringLiteral("EEPROM program completed. ");
const QString kFailed = QStringLiteral("Eeprom programm failed! Please try again!");

class FirmwarePageTest : public ::testing::Test {
 protected:
  void TearDown() override {
    route_.reset();
    page_.reset();
  }

  void Start(SimOptions options = {}) { Start(std::make_unique<SimulatedDac>(options)); }
  void Start(std::unique_ptr<SimulatedDac> dac) {
    // The page's link closes its handles on the old device before it goes.
    route_.reset();
    page_.reset();
    dac_ = std::move(dac);
    page_ = std::make_unique<FirmwarePage>(*dac_);
    raw_page_ = page_.get();
    page_->SetMessageBoxes(&boxes_);
    page_->SetFileChooser(&chooser_);
    // The fault counts of these tests start at the Write's first packet; the
    // backup read before it has tests of its own.
    page_->SetBackupFolder(QString());
    route_ = std::make_unique<Route>(page_.get());
    page_->Link().SetProgressSink(route_.get());
  }

  QString File(const Bytes& bytes, const std::string& name = "image.BIN") {
    return QString::fromStdString(dir_.Write(bytes, name));
  }

  void Choose(const std::optional<QString>& path) {
    chooser_.answers.push_back(path);
    page_->OnBrowse();
  }

  std::vector<QString> Texts() const { return boxes_.Texts(); }
  int Bar() const { return page_->ProgressBar()->value(); }
  bool EepromHolds(const Bytes& image) const {
    return std::equal(image.begin(), image.end(), dac_->Eeprom().begin());
  }

  testing::ScratchDir dir_;
  std::unique_ptr<SimulatedDac> dac_;
  FirmwarePage* raw_page_ = nullptr;
  FlowBoxes boxes_{&raw_page_};
  FakeChooser chooser_{&raw_page_};
  std::unique_ptr<FirmwarePage> page_;
  std::unique_ptr<Route> route_;
};

TEST_F(FirmwarePageTest, StartsWithItsPicturesColoursAndAnEmptyPath) {
  Start();
  EXPECT_EQ(page_->BrowseButton()->NormalPictureId(), kBitmapLoadDark);
  EXPECT_EQ(page_->WriteButton()->NormalPictureId(), kBitmapWriteDark);
  EXPECT_EQ(page_->ExitButton()->NormalPictureId(), kBitmapExitDark);
  EXPECT_TRUE(page_->ExitButton()->isHidden());
  EXPECT_FALSE(page_->ExitButton()->isEnabled());
  EXPECT_EQ(page_->PathLabel()->LabelBkColor(), Rgb(0xFF, 0xFF, 0xFF));
  EXPECT_EQ(page_->PathLabel()->LabelTextColor(), Rgb(0, 0, 0x7F));
  EXPECT_TRUE(page_->PathLabel()->text().isEmpty());
  EXPECT_EQ(page_->ProgressBar()->minimum(), 0);
  EXPECT_EQ(page_->ProgressBar()->maximum(), 1000);
  EXPECT_EQ(page_->BackgroundBitmapId(), kBitmapPageBackground);
  EXPECT_EQ(page_->BackgroundMode(), SkinnedDialog::kStretch);
  EXPECT_FALSE(page_->Ready());
  EXPECT_TRUE(page_->ImagePath().isEmpty());
}

TEST_F(FirmwarePageTest, GoodImageIsJudgedSilentlyAndWrittenByteForByte) {
  Start();
  const Bytes image = SimulatedDac::FactoryImage(4, 0x0103, 2048);
  const QString path = File(image);
  Choose(path);
  EXPECT_TRUE(boxes_.Boxes().empty());
  EXPECT_EQ(chooser_.browse_pictures, std::vector<int>{kBitmapLoadRed});
  EXPECT_EQ(page_->BrowseButton()->NormalPictureId(), kBitmapLoadDark);
  EXPECT_TRUE(page_->Ready());
  EXPECT_EQ(page_->PathLabel()->text(), path);
  EXPECT_EQ(page_->Identity().product_id, 4);
  EXPECT_EQ(page_->Identity().revision, 0x0102);
  EXPECT_EQ(page_->Identity().hardware_id, "USB\\VID_3917&PID_0004&REV_0102");

  // Typing into the label changes nothing that Write programs.
  page_->PathLabel()->setText(QStringLiteral("/nowhere/else.bin"));
  dac_->ClearTrace();
  page_->OnWrite();
  ASSERT_EQ(boxes_.moments.size(), 1u);
  const BoxMoment& result = boxes_.moments[0];
  EXPECT_EQ(result.text, kCompleted);
  EXPECT_TRUE(result.wait_cursor);  // the box comes while the wait cursor is on
  EXPECT_NE(result.bar, 999);       // the bar moves to 999 only after the box
  EXPECT_EQ(result.write_picture, kBitmapWriteRed);
  EXPECT_FALSE(result.write_enabled);
  EXPECT_TRUE(result.writing);
  EXPECT_EQ(Bar(), 999);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(page_->WriteButton()->NormalPictureId(), kBitmapWriteDark);
  EXPECT_TRUE(page_->WriteButton()->isEnabled());
  EXPECT_FALSE(page_->IsWriting());
  EXPECT_TRUE(EepromHolds(image));
  EXPECT_EQ(page_->ResultMessage(), kCompleted);

  // Every value the transfer reported reached the bar, each followed by the
  // page's 10 ms pause; the bar was set to 0 before the transfer began.
  const auto& trace = dac_->Trace();
  EXPECT_EQ(trace.front(), "sleep 10");
  std::size_t reports = 0;
  for (std::size_t i = 0; i + 2 < trace.size(); ++i) {
    if (trace[i].rfind("progress ", 0) != 0) continue;
    ++reports;
    EXPECT_EQ(trace[i + 1], "sleep 10");  // the page's pause
    EXPECT_EQ(trace[i + 2], "sleep 10");  // the transfer's own
  }
  EXPECT_EQ(reports, 127u);  // 128 packets; the last one makes 1000, not reported
  EXPECT_EQ(trace.back(), "sleep 10");  // the 999 after the box

  // The next Write starts from 0.
  route_->bar_before.clear();
  page_->OnWrite();
  ASSERT_FALSE(route_->bar_before.empty());
  EXPECT_EQ(route_->bar_before.front(), 0);
  EXPECT_EQ(Bar(), 999);
}

TEST_F(FirmwarePageTest, CancelKeepsPathFlagAndIdentity) {
  Start();
  const QString path = File(SimulatedDac::FactoryImage(4, 0x0103, 64));
  Choose(path);
  ASSERT_TRUE(page_->Ready());
  const DeviceIdentity before = page_->Identity();
  page_->PathLabel()->setText(QStringLiteral("typed"));
  dac_->MutableOptions().revision = 0x0200;  // an identification would notice
  dac_->ClearTrace();
  Choose(std::nullopt);
  EXPECT_EQ(page_->ImagePath(), path);
  EXPECT_TRUE(page_->Ready());
  EXPECT_EQ(page_->Identity().revision, before.revision);
  EXPECT_EQ(page_->PathLabel()->text(), path);
  EXPECT_TRUE(boxes_.Boxes().empty());
  EXPECT_EQ(page_->BrowseButton()->NormalPictureId(), kBitmapLoadDark);
}

TEST_F(FirmwarePageTest, NoDeviceShowsTwoBoxesStoresThePathAndClearsTheFlag) {
  Start();
  Choose(File(SimulatedDac::FactoryImage(4, 0x0103, 64)));
  ASSERT_TRUE(page_->Ready());
  dac_->Unplug();
  const QString other = File(SimulatedDac::FactoryImage(4, 0x0104, 64), "other.bin");
  Choose(other);
  EXPECT_EQ(Texts(), (std::vector<QString>{kNoDeviceConnect, kNoDevice}));
  EXPECT_EQ(page_->ImagePath(), other);
  EXPECT_EQ(page_->PathLabel()->text(), other);
  EXPECT_FALSE(page_->Ready());  // never checked: it must not be written

  boxes_.Clear();
  boxes_.moments.clear();
  dac_->Replug();
  dac_->ClearTrace();
  page_->OnWrite();
  EXPECT_EQ(Texts(), std::vector<QString>{QStringLiteral("\nProgram Exit!")});
  EXPECT_TRUE(dac_->Trace().empty());
}

TEST_F(FirmwarePageTest, RefusedAccessAddsThePlatformsHint) {
  SimOptions options;
  options.access_denied = true;
  Start(std::make_unique<DeniedDac>(options));
  Choose(File({1, 2, 3}));
  EXPECT_EQ(Texts(), (std::vector<QString>{
                         kNoDeviceConnect + QStringLiteral("\n\nInstall the udev rule, then replug."),
                         kNoDevice}));
}

TEST_F(FirmwarePageTest, BadChecksumRefusesWriteWithoutTouchingBarOrDevice) {
  Start();
  Bytes image = SimulatedDac::FactoryImage(4, 0x0103, 64);
  image[0] ^= 0x01;
  Choose(File(image));
  EXPECT_EQ(Texts(), std::vector<QString>{QStringLiteral("Invalid Image!")});
  EXPECT_FALSE(page_->Ready());
  page_->ProgressBar()->setValue(321);
  boxes_.moments.clear();
  dac_->ClearTrace();
  page_->OnWrite();
  ASSERT_EQ(boxes_.moments.size(), 1u);
  EXPECT_EQ(boxes_.moments[0].text, QStringLiteral("Invalid Image!\nProgram Exit!"));
  EXPECT_EQ(boxes_.moments[0].buttons, BoxButtons::kOk);
  EXPECT_EQ(boxes_.moments[0].write_picture, kBitmapWriteRed);
  EXPECT_FALSE(boxes_.moments[0].write_enabled);
  EXPECT_FALSE(boxes_.moments[0].wait_cursor);
  EXPECT_EQ(Bar(), 321);
  EXPECT_TRUE(dac_->Trace().empty());
  EXPECT_EQ(page_->WriteButton()->NormalPictureId(), kBitmapWriteDark);
  EXPECT_TRUE(page_->WriteButton()->isEnabled());
}

TEST_F(FirmwarePageTest, CheckMessagesReachTheUser) {
  struct Case {
    const char* name;
    std::uint16_t device_product;
    Bytes image;
    QString text;
  };
  Bytes swapped = SimulatedDac::FactoryImage(4, 0x0103, 64);
  std::swap(swapped[2], swapped[3]);
  const std::vector<Case> cases = {
      {"product 6 on 5", 5, SimulatedDac::FactoryImage(6, 0x0103, 64),
       QStringLiteral("Device and Image versions are not compatible!\nDevice ID 0x3917-0x0005\n"
                      "Image ID 0x3917-0x0006")},
      {"product 6 on 4", 4, SimulatedDac::FactoryImage(6, 0x0103, 64), QString()},
      {"swapped magic", 4, swapped, QStringLiteral("Invalid Image!")},
      {"shorter than a header", 4, Bytes(17, 0), QStringLiteral("Invalid Image!")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimOptions options;
    options.product_id = c.device_product;
    Start(options);
    boxes_.Clear();
    Choose(File(c.image));
    EXPECT_EQ(page_->Ready(), c.text.isEmpty());
    EXPECT_EQ(Texts(), c.text.isEmpty() ? std::vector<QString>{} : std::vector<QString>{c.text});
  }
  Start();
  boxes_.Clear();
  Choose(QString::fromStdString((dir_ / "gone.bin").string()));
  EXPECT_EQ(Texts(), std::vector<QString>{QStringLiteral("Failed open file!")});
}

TEST_F(FirmwarePageTest, EqualVersionIsWrittenOnRetryOnly) {
  Start();
  const Bytes image = SimulatedDac::FactoryImage(4, 0x0102, 128);
  boxes_.QueueAnswer(BoxAnswer::kCancel);
  Choose(File(image));
  ASSERT_EQ(boxes_.Boxes().size(), 2u);
  EXPECT_EQ(boxes_.Boxes()[0].text, QStringLiteral("Device has latest update!"));
  EXPECT_EQ(boxes_.Boxes()[0].buttons, BoxButtons::kRetryCancel);
  EXPECT_EQ(boxes_.Boxes()[1].text, QStringLiteral("Device has latest update!"));
  EXPECT_EQ(boxes_.Boxes()[1].buttons, BoxButtons::kOk);
  EXPECT_FALSE(page_->Ready());

  boxes_.Clear();
  boxes_.QueueAnswer(BoxAnswer::kRetry);
  Choose(File(image));
  ASSERT_EQ(boxes_.Boxes().size(), 1u);
  EXPECT_EQ(boxes_.Boxes()[0].buttons, BoxButtons::kRetryCancel);
  EXPECT_TRUE(page_->Ready());
  dac_->Eeprom()[5] ^= 0xFF;
  boxes_.Clear();
  page_->OnWrite();
  EXPECT_EQ(Texts(), std::vector<QString>{kCompleted});
  EXPECT_TRUE(EepromHolds(image));
}

TEST_F(FirmwarePageTest, BulkProductsTakeTheBulkDownload) {
  for (std::uint16_t product : {16, 17}) {
    SCOPED_TRACE(product);
    SimOptions options;
    options.product_id = product;
    Start(options);
    boxes_.Clear();
    Bytes file(100);
    for (std::size_t i = 0; i < file.size(); ++i) file[i] = static_cast<std::uint8_t>(i + 1);
    Choose(File(file));  // no header to judge
    EXPECT_TRUE(boxes_.Boxes().empty());
    EXPECT_TRUE(page_->Ready());
    page_->OnWrite();
    EXPECT_EQ(Texts(), std::vector<QString>{kCompleted});
    Bytes received = file;
    received.resize(128, 0);
    EXPECT_EQ(dac_->BulkImage(), received);
    EXPECT_TRUE(dac_->BulkComplete());
    EXPECT_TRUE(LinesOf(dac_->Trace(), "out").empty());
    EXPECT_EQ(Bar(), 999);

    boxes_.Clear();
    Choose(File({}, "empty.bin"));
    EXPECT_EQ(Texts(), std::vector<QString>{QStringLiteral("Invalid Image!")});
    EXPECT_FALSE(page_->Ready());
  }
}

TEST_F(FirmwarePageTest, FaultMidWriteLeavesByteZeroInvertedAndSaysSo) {
  Start();
  const Bytes image = SimulatedDac::FactoryImage(4, 0x0103, 2048);
  Choose(File(image));
  ASSERT_TRUE(page_->Ready());
  // The header read (select, request), the select, then 48 writes, then this one.
  dac_->MutableOptions().fail_output_report = 52;
  page_->OnWrite();
  ASSERT_EQ(boxes_.moments.size(), 1u);
  EXPECT_EQ(boxes_.moments[0].text, kFailed);
  EXPECT_TRUE(boxes_.moments[0].wait_cursor);
  EXPECT_EQ(page_->ResultMessage(), kFailed);
  EXPECT_EQ(dac_->Eeprom()[0], static_cast<std::uint8_t>(~image[0]));
  EXPECT_TRUE(std::equal(image.begin() + 1, image.begin() + 48 * 16, dac_->Eeprom().begin() + 1));
  EXPECT_EQ(Bar(), 48 * 16 * 1000 / 2048);  // where the transfer left it
  EXPECT_TRUE(page_->WriteButton()->isEnabled());
}

TEST_F(FirmwarePageTest, WritesTheBytesItJudgedEvenWhenTheFileChangedSince) {
  Start();
  const Bytes image = SimulatedDac::FactoryImage(4, 0x0103, 256);
  const QString path = File(image);
  Choose(path);
  ASSERT_TRUE(page_->Ready());
  // Replaced on disk between Load and Write by something that never passed the check.
  File(Bytes(300, 0x00));
  page_->OnWrite();
  EXPECT_EQ(Texts(), std::vector<QString>{kCompleted});
  EXPECT_TRUE(EepromHolds(image));
}

TEST_F(FirmwarePageTest, WriteWithoutTheDeviceShowsTwoBoxesAndLeavesTheBarAtZero) {
  Start();
  Choose(File(SimulatedDac::FactoryImage(4, 0x0103, 64)));
  page_->ProgressBar()->setValue(999);
  dac_->Unplug();
  page_->OnWrite();
  ASSERT_EQ(boxes_.moments.size(), 2u);
  EXPECT_EQ(boxes_.moments[0].text, kNoDeviceConnect);
  EXPECT_EQ(boxes_.moments[1].text, kNoDevice);
  for (const BoxMoment& m : boxes_.moments) {
    EXPECT_EQ(m.write_picture, kBitmapWriteRed);
    EXPECT_FALSE(m.write_enabled);
    EXPECT_FALSE(m.wait_cursor);
  }
  EXPECT_EQ(Bar(), 0);
  EXPECT_EQ(page_->WriteButton()->NormalPictureId(), kBitmapWriteDark);
}

TEST_F(FirmwarePageTest, WindowAroundThePageRefusesToCloseWhileWriting) {
  QWidget window;
  Start();
  page_->setParent(&window);
  window.show();
  Choose(File(SimulatedDac::FactoryImage(4, 0x0103, 64)));
  bool closed_during_write = true;
  boxes_.on_show = [&] { closed_during_write = window.close(); };
  page_->OnWrite();
  EXPECT_EQ(Texts(), std::vector<QString>{kCompleted});
  EXPECT_FALSE(closed_during_write);
  EXPECT_TRUE(window.isVisible());
  boxes_.on_show = nullptr;
  EXPECT_TRUE(window.close());
  page_->setParent(nullptr);
}

// A packet the DAC acknowledged but lost is found by the read-back: no
// restore packet, the first byte inverted (also when the lost packet was
// the first, over an old valid header), and the failure box.
TEST_F(FirmwarePageTest, ALostPacketIsCaughtBeforeTheRestorePacket) {
  const Bytes image = SimulatedDac::FactoryImage(4, 0x0103, 8192);
  for (int lost : {1, 2, 200, 512}) {
    SCOPED_TRACE(lost);
    Start();
    Choose(File(image));
    ASSERT_TRUE(page_->Ready());
    dac_->MutableOptions().drop_eeprom_write = lost;
    dac_->ClearTrace();
    boxes_.Clear();
    page_->OnWrite();
    EXPECT_EQ(Texts(), std::vector<QString>{kFailed});
    // Byte 0 fails the checksum of the header bytes actually there.
    EXPECT_TRUE(testing::HeaderChecksumFails(dac_->Eeprom()));
    const auto restore = testing::Out({0x07, 0x04, 0x00, 0x00, 0x00, 0x00, image[0]});
    for (const std::string& line : LinesOf(dac_->Trace(), "out")) EXPECT_NE(line, restore);
    EXPECT_LT(Bar(), 999);
  }
}

// The backup before a Write holds what the EEPROM held; the strip hears where it went.
TEST_F(FirmwarePageTest, AWriteLeavesABackupOfTheEepromBefore) {
  Start();
  const Bytes before(dac_->Eeprom().begin(), dac_->Eeprom().begin() + 2048);
  const Bytes image = SimulatedDac::FactoryImage(4, 0x0103, 1024);
  Choose(File(image));
  page_->SetBackupFolder(QString::fromStdString((dir_ / "backups").string()));
  QStringList saved;
  QObject::connect(page_.get(), &FirmwarePage::BackupSaved, [&](const QString& p) { saved << p; });
  page_->OnWrite();
  EXPECT_EQ(Texts(), std::vector<QString>{kCompleted});
  EXPECT_TRUE(EepromHolds(image));
  ASSERT_EQ(saved.size(), 1);
  EXPECT_TRUE(QFileInfo(saved[0]).fileName().startsWith("SIM0001-2")) << saved[0].toStdString();  // by serial, then the time
  QFile file(saved[0]);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray bytes = file.readAll();
  // The factory image's own length (2048), longer than the new image.
  EXPECT_EQ(Bytes(bytes.begin(), bytes.end()), before);
}

// A file dropped on the page is taken as if confirmed in the dialog; only one
// local file whose extension is BIN in any case is taken.
TEST_F(FirmwarePageTest, ADroppedBinFileIsTakenAsIfChosen) {
  Start();
  const QString good = File(SimulatedDac::FactoryImage(4, 0x0103, 64), "image.bin");
  const QString other = File(SimulatedDac::FactoryImage(4, 0x0103, 64), "image.txt");
  auto drop = [&](const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(page_.get(), &enter);
    QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(page_.get(), &dropped);
    return enter.isAccepted();
  };
  EXPECT_FALSE(drop({QUrl::fromLocalFile(other)}));
  EXPECT_FALSE(drop({QUrl::fromLocalFile(good), QUrl::fromLocalFile(good)}));
  EXPECT_FALSE(drop({QUrl(QStringLiteral("https://example.org/image.BIN"))}));
  EXPECT_TRUE(page_->ImagePath().isEmpty());
  EXPECT_TRUE(drop({QUrl::fromLocalFile(good)}));
  EXPECT_EQ(page_->ImagePath(), good);
  EXPECT_EQ(page_->PathLabel()->text(), good);
  EXPECT_TRUE(page_->Ready());
  EXPECT_TRUE(Texts().empty());
  EXPECT_TRUE(chooser_.browse_pictures.empty());  // no dialog was opened
}

// A lost restore packet is found by reading byte 0 back: no "completed" box
// over an image the DAC refuses.
TEST_F(FirmwarePageTest, ALostRestorePacketIsNotReportedCompleted) {
  const Bytes image = SimulatedDac::FactoryImage(4, 0x0103, 1024);
  Start();
  Choose(File(image));
  ASSERT_TRUE(page_->Ready());
  dac_->MutableOptions().drop_eeprom_write = 1024 / 16 + 1;  // the body, then the restore packet
  boxes_.Clear();
  page_->OnWrite();
  EXPECT_EQ(Texts(), std::vector<QString>{kFailed});
  EXPECT_TRUE(testing::HeaderChecksumFails(dac_->Eeprom()));
}

// A file cut short of its header's length is "Invalid Image!" and never written.
TEST_F(FirmwarePageTest, ACutFileIsAnInvalidImage) {
  const Bytes image = SimulatedDac::FactoryImage(4, 0x0103, 2048);
  Start();
  const Bytes before = dac_->Eeprom();
  Choose(File(Bytes(image.begin(), image.begin() + 1000)));
  EXPECT_FALSE(page_->Ready());
  EXPECT_EQ(Texts(), std::vector<QString>{QStringLiteral("Invalid Image!")});
  page_->OnWrite();
  EXPECT_EQ(dac_->Eeprom(), before);
}

// The desktop's Write walks the fault matrix of every road (the command
// line's roads walk it in their own suite), the backup read included.
class FirmwarePageFaultMatrix : public ::testing::TestWithParam<int> {};

TEST_P(FirmwarePageFaultMatrix, TheWriteLeavesNoValidLookingMixAndSaysCompletedOnlyOverTheNewImage) {
  testing::ScratchDir dir;
  const QString backups = QString::fromStdString((dir / "backups").string());
  const testing::Road road{"the desktop's Write", [&](testing::MatrixDac& dac, const std::string& path) {
                             FirmwarePage page(dac);
                             RecordingMessageBoxes boxes;
                             FixedFileChooser chooser(QString::fromStdString(path));
                             page.SetMessageBoxes(&boxes);
                             page.SetFileChooser(&chooser);
                             page.SetBackupFolder(backups);
                             page.Link().SetProgressSink(&page);
                             page.OnBrowse();
                             if (!page.Ready()) return false;
                             page.OnWrite();
                             return !boxes.Texts().empty() && boxes.Texts().back() == kCompleted;
                           },
                           false, false};
  const std::vector<testing::ImagePair> pairs = testing::RepairBreakingPairs();
  testing::WalkFaultMatrix(road, pairs[static_cast<std::size_t>(GetParam())], 100);
}

INSTANTIATE_TEST_SUITE_P(Pairs, FirmwarePageFaultMatrix,
                         ::testing::Range(0, static_cast<int>(testing::RepairBreakingPairs().size())));

}  // namespace
}  // namespace veltrane
