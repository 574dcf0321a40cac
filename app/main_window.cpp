#include "app/main_window.h"

#include <QDir>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QShortcut>

#include "app/app_texts.h"
#include "app/device_status.h"
#include "resources/resource_catalogue.h"
#include "ui/application_title.h"
#include "ui/desktop_settings.h"
#include "ui/paged_tab_control.h"
#include "ui/status_strip.h"
#include "ui/tab_strip.h"

namespace veltrane {

namespace {

constexpr int kLabelWidth = 44;
constexpr int kLabelHeight = 16;
constexpr ColorRef kLabelMask = Rgb(17, 17, 0);

// Per page, the labels of tabs 0, 1 and 2: the page's own label highlighted.
constexpr int kLabelBitmaps[MainWindow::kPages][3] = {
    {kBitmapEepromHighlighted, kBitmapFeedbackPlain, kBitmapAboutPlain},
    {kBitmapEepromPlain, kBitmapFeedbackHighlighted, kBitmapAboutPlain},
    {kBitmapEepromPlain, kBitmapFeedbackPlain, kBitmapAboutHighlighted},
};

}  // namespace

MainWindow::MainWindow(HidPlatform& platform, QWidget* parent)
    : SkinnedDialog(kMainWindowTemplate, parent),
      image_lists_{ImageList(kLabelWidth, kLabelHeight), ImageList(kLabelWidth, kLabelHeight),
                   ImageList(kLabelWidth, kLabelHeight)},
      firmware_page_(platform),
      feedback_page_(platform),
      about_page_(),
      tab_control_(ControlAs<PagedTabControl>(kTabControlId)),
      icon_(LoadAppIcon()),
      qt_boxes_(this),
      boxes_(&qt_boxes_),
      status_strip_(new StatusStrip(this)),
      device_status_(nullptr) {
  // The firmware page's transfers move its own progress bar.
  firmware_page_.Link().SetProgressSink(&firmware_page_);
  SetBackgroundMode(kStretch);
  SetBackgroundBitmap(kBitmapMainBackground);
  setWindowIcon(icon_);
  setWindowTitle(QString());  // the layout gives no caption and nothing sets one

  FillImageLists();
  for (int tab = 0; tab < kPages; ++tab) tab_control_->InsertItem(tab, tab);
  tab_control_->AddPage(&firmware_page_, kFirmwarePageTemplate, &image_lists_[0]);
  tab_control_->AddPage(&feedback_page_, kFeedbackPageTemplate, &image_lists_[1]);
  tab_control_->AddPage(&about_page_, kAboutPageTemplate, &image_lists_[2]);
  tab_control_->ShowPages();

  auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
  help->setContext(Qt::WindowShortcut);
  connect(help, &QShortcut::activated, this, &MainWindow::ShowHelp);
  AddKeyboardShortcuts();
  NameControls();

  // The status strip goes below the described area, which keeps its size;
  // the background is stretched over that area only.
  const int strip = status_strip_->PreferredHeight();
  SetBackgroundBottomMargin(strip);
  resize(width(), height() + strip);
  PlaceStatusStrip();
  RestorePosition();

  // The strip names the DAC from the start and follows plugging and
  // unplugging; it leaves the device alone while a Write runs.
  device_status_ = new DeviceStatus(platform, status_strip_, [this] { return firmware_page_.IsWriting(); }, this);
  connect(&firmware_page_, &FirmwarePage::BackupSaved, this, [this](const QString& path) {
    status_strip_->SetNote(tr(app_texts::kBackupSaved).arg(QDir::toNativeSeparators(path)));
  });
  connect(&firmware_page_, &FirmwarePage::BackupFailed, status_strip_, &StatusStrip::SetNote);
  connect(&firmware_page_, &FirmwarePage::SignatureNote, status_strip_, &StatusStrip::SetNote);
  connect(&firmware_page_, &FirmwarePage::CloseHeldBack, this, &MainWindow::OnCloseHeldBack);
  connect(&firmware_page_, &FirmwarePage::WriteEnded, this, &MainWindow::OnWriteEnded);
  connect(&firmware_page_, &FirmwarePage::ChangeRecorded, this, &MainWindow::OnChangeRecorded);
  connect(&feedback_page_, &FeedbackPage::ChangeRecorded, this, &MainWindow::OnChangeRecorded);
  // Out of the strip's look at the bus: the box waits for the user.
  connect(device_status_, &DeviceStatus::InterruptedChangeFound, this, &MainWindow::OnInterruptedChange,
          Qt::QueuedConnection);
}

void MainWindow::OnInterruptedChange(qint64 id, const QString& operation, const QString& started_utc) {
  if (firmware_page_.IsWriting()) return;
  const QString started = started_utc.left(19).replace(QLatin1Char('T'), QLatin1Char(' '));
  const QString text = tr(app_texts::kInterruptedOffer).arg(operation, started);
  // Nothing is written without the user's yes.
  if (boxes_->Show(text, BoxButtons::kYesNo) != BoxAnswer::kYes) return;
  const QString result = firmware_page_.PutBackChange(id);
  if (!result.isEmpty()) boxes_->Show(result, BoxButtons::kOk);
  device_status_->Refresh();
}

void MainWindow::SetKeeping(ServiceHistory* history, const QString& backup_folder) {
  firmware_page_.SetHistory(history);
  firmware_page_.SetBackupFolder(backup_folder);
  feedback_page_.SetKeeping(history, backup_folder);
  device_status_->SetHistory(history);
  device_status_->Refresh();
}

void MainWindow::OnChangeRecorded(const QString& warning) {
  // Said once: the history gives its warning the first time only.
  if (!warning.isEmpty()) status_strip_->SetNote(warning);
  device_status_->Refresh();
}

void MainWindow::AddKeyboardShortcuts() {
  // Ctrl+Tab and Ctrl+PageDown go to the next page, Ctrl+Shift+Tab and
  // Ctrl+PageUp to the previous one, round the end, as a tabbed dialog does.
  const std::pair<QKeySequence, int> keys[] = {
      {QKeySequence(Qt::CTRL | Qt::Key_Tab), 1},
      {QKeySequence(Qt::CTRL | Qt::Key_PageDown), 1},
      {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), -1},
      {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), -1},
      {QKeySequence(Qt::CTRL | Qt::Key_PageUp), -1},
  };
  for (const auto& [sequence, step] : keys) {
    auto* shortcut = new QShortcut(sequence, this);
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut, &QShortcut::activated, this, [this, step = step] { SwitchPageBy(step); });
  }
}

void MainWindow::SwitchPageBy(int step) {
  const int count = tab_control_->PageCount();
  if (count == 0) return;
  tab_control_->SwitchToPage((tab_control_->CurrentPage() + step + count) % count);
}

void MainWindow::NameControls() {
  static constexpr AccessibleName kNames[] = {{IDOK, app_texts::kExitName},
                                              {kTabControlId, app_texts::kTabControlName}};
  SkinnedDialog::NameControls(kNames);
  TabStrip* strip = tab_control_->Strip();
  strip->setAccessibleName(tr(app_texts::kTabControlName));
  for (int tab = 0; tab < strip->count() && tab < kPages; ++tab) {
    strip->setAccessibleTabName(tab, tr(app_texts::kTabNames[tab]));
  }
}

void MainWindow::PlaceStatusStrip() {
  const int strip = status_strip_->PreferredHeight();
  status_strip_->setGeometry(0, height() - strip, width(), strip);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  SkinnedDialog::resizeEvent(event);
  PlaceStatusStrip();
}

// Back where the window last closed, when that place is still on a screen.
void MainWindow::RestorePosition() {
  const std::optional<QPoint> position = desktop_settings::WindowPosition();
  if (!position) return;
  for (const QScreen* screen : QGuiApplication::screens()) {
    if (screen->availableGeometry().contains(*position)) {
      move(*position);
      return;
    }
  }
}

void MainWindow::done(int result) {
  desktop_settings::SetWindowPosition(pos());
  SkinnedDialog::done(result);
}

void MainWindow::OnCloseHeldBack() {
  close_pending_ = true;
  status_strip_->SetNote(tr(app_texts::kClosesAfterWrite));
}

void MainWindow::OnWriteEnded() {
  device_status_->Refresh();
  if (!close_pending_) return;
  close_pending_ = false;
  close();
}

// The pages are members: take them out of the widget tree before the tab
// control (a child widget) would delete them.
MainWindow::~MainWindow() {
  for (QWidget* page : std::initializer_list<QWidget*>{&about_page_, &feedback_page_, &firmware_page_}) {
    page->hide();
    page->setParent(nullptr);
  }
}

void MainWindow::FillImageLists() {
  for (int list = 0; list < kPages; ++list) {
    for (int bitmap : kLabelBitmaps[list]) {
      image_lists_[static_cast<std::size_t>(list)].AddMasked(LoadBitmap(bitmap), kLabelMask);
    }
  }
}

void MainWindow::ShowHelp() {
  boxes_->Show(QString::fromLatin1(app_texts::kNoHelpFile).arg(ApplicationTitle()), BoxButtons::kOk);
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  // Enter ends the program as Escape does (the dialog's OK), whatever button
  // would otherwise be the default.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    accept();
    return;
  }
  SkinnedDialog::keyPressEvent(event);
}

}  // namespace veltrane
