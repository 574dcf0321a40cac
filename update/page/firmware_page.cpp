#include "update/page/firmware_page.h"

#include <algorithm>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QProgressBar>

#include "device/device_finder.h"
#include "device/image_file.h"
#include "resources/resource_catalogue.h"
#include "ui/bitmap_button.h"
#include "ui/colored_label.h"
#include "ui/desktop_settings.h"
#include "ui/file_chooser.h"
#include "ui/message_boxes.h"
#include "ui/wait_cursor.h"
#include "update/page/eeprom_backup.h"
#include "update/update_texts.h"

namespace veltrane {

namespace {

constexpr ColorRef kPathBackground = Rgb(0xFF, 0xFF, 0xFF);
constexpr ColorRef kPathText = Rgb(0, 0, 0x7F);
constexpr unsigned kProgressPauseMs = 10;
constexpr std::uint16_t kProgressAfterSuccess = 999;
constexpr qint64 kPaintIntervalMs = 50;
// The read-back goes in pieces, the window painting between them.
constexpr std::size_t kReadBackPiece = 1024;

constexpr AccessibleName kControlNames[] = {
    {FirmwarePage::kBrowseButtonId, update_texts::kBrowseName},
    {FirmwarePage::kProgressBarId, update_texts::kProgressName},
    {FirmwarePage::kWriteButtonId, update_texts::kWriteName},
    {FirmwarePage::kExitButtonId, update_texts::kExitName},
    {FirmwarePage::kPathLabelId, update_texts::kPathName},
    {1007, update_texts::kIdentifyName},
};

// The one local file a drag carries, if it is an image by its name.
QString DroppedImage(const QMimeData* data) {
  if (data == nullptr || data->urls().size() != 1) return QString();
  const QUrl& url = data->urls().first();
  if (!url.isLocalFile() || !IsImageFileName(url.toLocalFile())) return QString();
  return url.toLocalFile();
}

// The image path as the standard library's file functions want it.
std::string NativePath(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace

FirmwarePage::FirmwarePage(HidPlatform& platform, QWidget* parent)
    : SkinnedDialog(kFirmwarePageTemplate, parent),
      path_label_(ControlAs<ColoredLabel>(kPathLabelId)),
      exit_(ControlAs<BitmapButton>(kExitButtonId)),
      write_(ControlAs<BitmapButton>(kWriteButtonId)),
      progress_(ControlAs<QProgressBar>(kProgressBarId)),
      browse_(ControlAs<BitmapButton>(kBrowseButtonId)),
      link_(platform),
      own_boxes_(std::make_unique<QtMessageBoxes>(this)),
      own_chooser_(std::make_unique<QtImageFileChooser>()),
      boxes_(own_boxes_.get()),
      chooser_(own_chooser_.get()) {
  SetBackgroundMode(kStretch);
  SetBackgroundBitmap(kBitmapPageBackground);
  progress_->setRange(0, 1000);
  SetPictures(write_, kBitmapWriteDark);
  // The Exit button stays hidden and disabled; it only receives its picture.
  SetPictures(exit_, kBitmapExitDark);
  SetPictures(browse_, kBitmapLoadDark);
  path_label_->SetLabel(QString(), kPathBackground, kPathText);
  image_path_.clear();

  NameControls(kControlNames);
  setAcceptDrops(true);
  backup_folder_ = EepromBackup::DefaultFolder();

  connect(browse_, &BitmapButton::clicked, this, &FirmwarePage::OnBrowse);
  connect(write_, &BitmapButton::clicked, this, &FirmwarePage::OnWrite);
}

FirmwarePage::~FirmwarePage() = default;

void FirmwarePage::SetMessageBoxes(MessageBoxes* boxes) {
  boxes_ = boxes != nullptr ? boxes : own_boxes_.get();
}

void FirmwarePage::SetFileChooser(FileChooser* chooser) {
  chooser_ = chooser != nullptr ? chooser : own_chooser_.get();
}

MessageBoxes& FirmwarePage::Boxes() { return *boxes_; }

void FirmwarePage::ShowBox(const QString& text) { Boxes().Show(text, BoxButtons::kOk); }

void FirmwarePage::SetPictures(BitmapButton* button, int normal, int pressed) {
  button->LoadPictures(normal, pressed);
  button->FitToPicture();
  button->repaint();
}

int FirmwarePage::LocateDevice() {
  const FindResult found = FindOrExplain(link_);
  if (!found.Found()) {
    QString text = tr(update_texts::kNoDeviceConnect);
    // Where the system refused us the device, say how to get access.
    if (found.outcome == FindOutcome::kAccessDenied && !found.hint.empty()) {
      text += QStringLiteral("\n\n") + QString::fromStdString(found.hint);
    }
    ShowBox(text);
  }
  return found.Found() ? 1 : 0;
}

bool FirmwarePage::IdentifyDevice() {
  if (LocateDevice() == 0) {
    ShowBox(tr(update_texts::kNoDevice));
    return false;
  }
  return ReadDeviceIdentity(link_, &identity_);
}

bool FirmwarePage::CheckImage() {
  ready_ = false;
  check_message_.clear();
  image_.clear();
  // The file is read once, bounded by the product's limit; these bytes are
  // judged and, if the user goes on, exactly these are written. Bulk images
  // (products 16 and 17) carry no header: they need only to hold bytes.
  ImageFile file = ReadImageFile(NativePath(image_path_), ImageLimitFor(identity_.product_id));
  ImageCheck check;
  if (file.status == ImageFileStatus::kMissing || file.status == ImageFileStatus::kUnreadable) {
    check.verdict = Verdict::kOpenFailed;
    check.message = update_texts::kFailedOpenFile;
  } else if (file.status == ImageFileStatus::kTooLarge) {
    check.verdict = Verdict::kInvalidImage;
    check.message = update_texts::kInvalidImage;
  } else {
    check = JudgeImage(file.bytes, identity_);
  }
  check_message_ = tr(check.message.c_str());
  if (check.verdict == Verdict::kReady) {
    ready_ = true;
  } else if (check.verdict == Verdict::kNotNewer) {
    // The user may write an image that is not newer all the same.
    ready_ = Boxes().Show(check_message_, BoxButtons::kRetryCancel) == BoxAnswer::kRetry;
  }
  if (ready_) image_ = std::move(file.bytes);
  if (!ready_) ShowBox(check_message_);
  return ready_;
}

void FirmwarePage::OnBrowse() {
  if (writing_) return;
  SetPictures(browse_, kBitmapLoadRed);
  if (const std::optional<QString> chosen = chooser_->ChooseFile(this)) JudgeNewPath(*chosen);
  SetPictures(browse_, kBitmapLoadDark);
  ShowPath();
}

void FirmwarePage::TakeImagePath(const QString& path) {
  if (writing_) return;
  desktop_settings::SetLastFolder(QFileInfo(path).absolutePath());
  JudgeNewPath(QFileInfo(path).absoluteFilePath());
  ShowPath();
}

void FirmwarePage::JudgeNewPath(const QString& path) {
  image_path_ = path;
  // Only an image that passed its own check is ever written: a new path
  // forgets the previous file's verdict, also when the device is missing.
  ready_ = false;
  check_message_.clear();
  image_.clear();
  if (IdentifyDevice()) CheckImage();
}

void FirmwarePage::dragEnterEvent(QDragEnterEvent* event) {
  if (!writing_ && !DroppedImage(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void FirmwarePage::dropEvent(QDropEvent* event) {
  const QString path = DroppedImage(event->mimeData());
  if (writing_ || path.isEmpty()) return;
  event->acceptProposedAction();
  TakeImagePath(path);
}

void FirmwarePage::ShowPath() { path_label_->SetLabel(image_path_, kPathBackground, kPathText); }

void FirmwarePage::OnWrite() {
  if (writing_) return;
  writing_ = true;
  // The window keeps painting during the transfer, so it could be closed
  // under it (and the page and its link destroyed): refuse that until the end.
  QWidget* const outer = window();
  outer->installEventFilter(this);
  SetPictures(write_, kBitmapWriteRed, kBitmapWriteRed);
  write_->setEnabled(false);
  WriteFlow();
  write_->setEnabled(true);
  SetPictures(write_, kBitmapWriteDark, kBitmapWriteDark);
  outer->removeEventFilter(this);
  writing_ = false;
  emit WriteEnded();
}

bool FirmwarePage::eventFilter(QObject* watched, QEvent* event) {
  if (writing_ && event->type() == QEvent::Close) {
    event->ignore();
    emit CloseHeldBack();
    return true;
  }
  return SkinnedDialog::eventFilter(watched, event);
}

void FirmwarePage::WriteFlow() {
  if (!ready_) {
    ShowBox(check_message_ + tr(update_texts::kProgramExit));
    return;
  }
  SetProgress(0);
  if (LocateDevice() == 0) {
    ShowBox(tr(update_texts::kNoDevice));
    return;
  }
  if (image_path_.isEmpty()) {
    ShowBox(tr(update_texts::kSelectFile));
    return;
  }
  int result = 0;
  {
    const WaitCursor wait;
    // The product ID of the last identification picks the transfer; the
    // bytes are the ones judged, whatever happened to the file since.
    result = IsBulkProduct(identity_.product_id) ? link_.DownloadBulkImage(image_) : CheckedEepromWrite();
    result_message_ = tr(result != 0 ? update_texts::kProgramCompleted : update_texts::kProgramFailed);
    ShowBox(result_message_);
  }
  if (result == 1) SetProgress(kProgressAfterSuccess);
}

int FirmwarePage::CheckedEepromWrite() {
  if (image_.empty()) return 0;
  if (!TakeBackup()) return 0;
  if (link_.WriteEepromImageBody(image_, kEepromDeviceAddress, kEepromSelector) == 0) return 0;
  // A packet the DAC silently lost must not leave a valid-looking image over
  // a mixed body: the true first byte goes in only when everything matches.
  // Meanwhile the bar stays at the transfer's last value.
  if (!ImageReadsBack()) return 0;
  return link_.SendRestorePacket(image_[0]);
}

bool FirmwarePage::TakeBackup() {
  if (backup_folder_.isEmpty()) return true;
  // Named after the serial number of the interface the link holds, when it has one.
  QString serial;
  for (const HidInterface& iface : link_.Platform().EnumerateInterfaces()) {
    if (iface.path == link_.DevicePath()) serial = QString::fromStdString(iface.serial_number);
  }
  EepromBackup backup(backup_folder_);
  QString error;
  const std::optional<QString> path = backup.Take(
      link_, EepromBackup::DeviceKey(serial, identity_.product_id, identity_.revision), image_.size(), &error);
  if (!path) {
    emit BackupFailed(error);
    return false;
  }
  emit BackupSaved(*path);
  return true;
}

bool FirmwarePage::ImageReadsBack() {
  std::vector<std::uint8_t> expected = image_;
  expected[0] = static_cast<std::uint8_t>(~image_[0]);
  std::vector<std::uint8_t> back(image_.size());
  for (std::size_t done = 0; done < back.size(); done += kReadBackPiece) {
    const std::size_t n = std::min(kReadBackPiece, back.size() - done);
    if (link_.ReadEeprom(kEepromDeviceAddress, kEepromSelector, static_cast<std::uint16_t>(done),
                         back.data() + done, static_cast<std::uint16_t>(n)) == 0) {
      return false;
    }
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }
  if (back == expected) return true;
  // When the first packet is the one that went missing, the old header
  // still stands and would pass for valid over the new body: put the
  // inverted first byte in place so that the DAC refuses the image.
  if (back[0] != expected[0]) {
    static_cast<void>(link_.WriteEeprom(kEepromDeviceAddress, kEepromSelector, 0, &expected[0], 1));
  }
  return false;
}

void FirmwarePage::SetProgress(std::uint16_t per_mille) {
  progress_->setValue(per_mille);
  // The transfer blocks the user-interface thread: let the window paint (and
  // the desktop see it alive) without taking any input meanwhile. Painting
  // at every one of up to a thousand values would add its own time to every
  // pause of the transfer; a few times a second is as smooth to the eye.
  // The first value of a transfer and every pause of the program stay as they are.
  if (!paint_clock_.isValid() || per_mille == 0 || paint_clock_.elapsed() >= kPaintIntervalMs) {
    progress_->repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    paint_clock_.start();
  }
  link_.Platform().Sleep(kProgressPauseMs);
}

}  // namespace veltrane
