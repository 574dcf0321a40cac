#include "update/page/firmware_page.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QProgressBar>

#include "device/device_finder.h"
#include "device/image_file.h"
#include "resources/resource_catalogue.h"
#include "ui/bitmap_button.h"
#include "ui/colored_label.h"
#include "ui/file_chooser.h"
#include "ui/message_boxes.h"
#include "ui/wait_cursor.h"
#include "update/update_texts.h"

namespace veltrane {

namespace {

constexpr ColorRef kPathBackground = Rgb(0xFF, 0xFF, 0xFF);
constexpr ColorRef kPathText = Rgb(0, 0, 0x7F);
constexpr unsigned kProgressPauseMs = 10;
constexpr std::uint16_t kProgressAfterSuccess = 999;

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
    QString text = QString::fromLatin1(update_texts::kNoDeviceConnect);
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
    ShowBox(QString::fromLatin1(update_texts::kNoDevice));
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
  check_message_ = QString::fromStdString(check.message);
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
  if (const std::optional<QString> chosen = chooser_->ChooseFile(this)) {
    image_path_ = *chosen;
    // Only an image that passed its own check is ever written: a new path
    // forgets the previous file's verdict, also when the device is missing.
    ready_ = false;
    check_message_.clear();
    image_.clear();
    if (IdentifyDevice()) CheckImage();
  }
  SetPictures(browse_, kBitmapLoadDark);
  ShowPath();
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
}

bool FirmwarePage::eventFilter(QObject* watched, QEvent* event) {
  if (writing_ && event->type() == QEvent::Close) {
    event->ignore();
    return true;
  }
  return SkinnedDialog::eventFilter(watched, event);
}

void FirmwarePage::WriteFlow() {
  if (!ready_) {
    ShowBox(check_message_ + QString::fromLatin1(update_texts::kProgramExit));
    return;
  }
  SetProgress(0);
  if (LocateDevice() == 0) {
    ShowBox(QString::fromLatin1(update_texts::kNoDevice));
    return;
  }
  if (image_path_.isEmpty()) {
    ShowBox(QString::fromLatin1(update_texts::kSelectFile));
    return;
  }
  int result = 0;
  {
    const WaitCursor wait;
    // The product ID of the last identification picks the transfer; the
    // bytes are the ones judged, whatever happened to the file since.
    result = IsBulkProduct(identity_.product_id)
                 ? link_.DownloadBulkImage(image_)
                 : link_.DownloadEepromImage(image_, kEepromDeviceAddress, kEepromSelector);
    result_message_ = QString::fromLatin1(result != 0 ? update_texts::kProgramCompleted
                                                      : update_texts::kProgramFailed);
    ShowBox(result_message_);
  }
  if (result == 1) SetProgress(kProgressAfterSuccess);
}

void FirmwarePage::SetProgress(std::uint16_t per_mille) {
  progress_->setValue(per_mille);
  progress_->repaint();
  // The transfer blocks the user-interface thread: let the window paint (and
  // the desktop see it alive) without taking any input meanwhile.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  link_.Platform().Sleep(kProgressPauseMs);
}

}  // namespace veltrane
