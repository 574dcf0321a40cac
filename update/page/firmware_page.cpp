#include "update/page/firmware_page.h"

#include <algorithm>

#include <QCloseEvent>
#include <QDateTime>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QDir>
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
#include "service/recorded_change.h"
#include "service/rollback.h"
#include "image/image_texts.h"
#include "update/update_texts.h"

namespace veltrane {

namespace {

constexpr ColorRef kPathBackground = Rgb(0xFF, 0xFF, 0xFF);
constexpr ColorRef kPathText = Rgb(0, 0, 0x7F);
constexpr unsigned kProgressPauseMs = 10;
constexpr std::uint16_t kProgressAfterSuccess = 999;
constexpr qint64 kPaintIntervalMs = 50;

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
  if (data == nullptr) return QString();
  // urls() makes a new list each call: keep it, not a reference into it.
  const QList<QUrl> urls = data->urls();
  if (urls.size() != 1) return QString();
  const QUrl& url = urls.first();
  if (!url.isLocalFile() || !IsImageFileName(url.toLocalFile())) return QString();
  return url.toLocalFile();
}

// The image path as the programs' file functions take it: UTF-8 on Windows
// (the system's code page would lose what it cannot show), the file system's
// bytes elsewhere.
std::string NativePath(const QString& path) {
#ifdef _WIN32
  return path.toStdString();
#else
  return QFile::encodeName(path).toStdString();
#endif
}

// The status strip's line on an image's signature; tabs of the trusted comment as spaces.
QString SignatureText(const SignatureVerdict& v) {
  if (v.state == SignatureState::kGood) {
    return QCoreApplication::translate("FirmwarePage", update_texts::kSignedBy)
        .arg(QString::fromStdString(v.key_id), QString::fromStdString(v.trusted_comment).replace('\t', ' '));
  }
  if (!v.refused && v.state == SignatureState::kUnsigned) {
    return QCoreApplication::translate("FirmwarePage", update_texts::kUnsignedImage);
  }
  return QCoreApplication::translate("FirmwarePage", update_texts::kSignatureRefused)
      .arg(QString::fromStdString(v.reason));
}

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
  forced_ = false;
  check_message_.clear();
  image_.clear();
  // The file is read once, bounded by the product's limit; these bytes are
  // judged and, if the user goes on, exactly these are written.
  ImageFile file = ReadImageFile(NativePath(image_path_), ImageLimitFor(identity_.product_id));
  // An unreadable or oversized file is judged by its read; the bytes by the one road's judge.
  ImageCheck check;
  if (!file.Ok()) {
    check = JudgeImage(file, identity_);
  } else {
    image_ = file.bytes;
    const ChangeResult judged = JudgeChange(WriteRequest(false));
    signature_ = judged.signature;
    check = judged.check;
    if (judged.refusal == Refusal::kSignature || judged.refusal == Refusal::kSignedOnly) {
      // The described box; the reason goes to the status strip.
      check.verdict = Verdict::kInvalidImage;
      check.message = image_texts::kInvalidImage;
    }
    if (judged.signature_judged) emit SignatureNote(SignatureText(signature_));
  }
  check_message_ = tr(check.message.c_str());
  if (check.verdict == Verdict::kReady) {
    ready_ = true;
  } else if (check.verdict == Verdict::kNotNewer) {
    // The user may write an image that is not newer all the same.
    ready_ = Boxes().Show(check_message_, BoxButtons::kRetryCancel) == BoxAnswer::kRetry;
    forced_ = ready_;
  }
  if (!ready_) image_.clear();
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
  // Shown and recorded as the system writes paths (backslashes on Windows),
  // whether it came from the dialog or a drop.
  image_path_ = QDir::toNativeSeparators(path);
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
    result = ProgramImage();
    result_message_ = tr(result != 0 ? update_texts::kProgramCompleted : update_texts::kProgramFailed);
    ShowBox(result_message_);
  }
  if (result == 1) SetProgress(kProgressAfterSuccess);
}

ChangeRequest FirmwarePage::WriteRequest(bool for_write) {
  ChangeRequest request;
  request.image = &image_;
  request.device = identity_;
  // The road judges the signature of the very bytes it sends.
  request.signing.policy = &signing_;
  request.signing.image_path = NativePath(image_path_);
  if (!for_write) return request;
  request.force = forced_;
  // Everything runs on this thread: the window keeps painting between the
  // pieces of every read, and at the progress values of the write packets.
  const auto paint = [this] { PaintWhenDue(); };
  request.flash.between_reads = paint;
  if (!backup_folder_.isEmpty()) {
    request.backup.span = BackupSpan::kHeldImage;
    request.backup.between_reads = paint;
  }
  return request;
}

int FirmwarePage::ProgramImage() {
  if (image_.empty()) return 0;
  // The one road, recorded: the backup into the one folder, then a row.
  ChangeSubject subject = SubjectOfLink(link_, "veltrane", "Write");
  subject.image_name = image_path_.toStdString();
  ChangeKeeping keeping = KeepingIn(history_, backup_folder_.toStdString());
  keeping.signing = &signing_;
  ChangeResult result;
  RecordedChange recorded;
  const bool done = ApplyRecordedChange(link_, WriteRequest(true), subject, keeping, &result, &recorded);
  if (result.signature_judged) signature_ = result.signature;
  if (result.step == ChangeStep::kBackupRead) {
    emit BackupFailed(tr(update_texts::kBackupReadFailed).arg(QString::fromStdString(result.failure.Describe())));
  } else if (result.step == ChangeStep::kBackupSave) {
    emit BackupFailed(tr(update_texts::kBackupSaveFailed).arg(QString::fromStdString(result.backup_error)));
  }
  // The signature file changed since the image was chosen: nothing was sent.
  if (result.refusal == Refusal::kSignature || result.refusal == Refusal::kSignedOnly) {
    emit SignatureNote(SignatureText(signature_));
  }
  if (!recorded.backup_path.empty()) emit BackupSaved(QString::fromStdString(recorded.backup_path));
  if (result.step != ChangeStep::kRefused) emit ChangeRecorded(QString::fromStdString(recorded.history_warning));
  return done ? 1 : 0;
}

QString FirmwarePage::PutBackChange(std::int64_t id) {
  if (writing_ || history_ == nullptr) return {};
  writing_ = true;
  write_->setEnabled(false);
  QString message;
  DeviceIdentity identity;
  if (LocateDevice() == 0 || !ReadDeviceIdentity(link_, &identity)) {
    message = tr(update_texts::kNoDevice);
  } else {
    const WaitCursor wait;
    SetProgress(0);
    const auto paint = [this] { PaintWhenDue(); };
    ChangeSubject subject = SubjectOfLink(link_, "veltrane", "rollback");
    // The same judgement as the command line's rollback: the DAC is read first.
    RollbackPlan plan = PlanRollback(*history_, {subject.serial, subject.location, identity.product_id}, id, false);
    JudgeRollback(link_, &plan, false, paint);
    if (!plan.Go()) {
      message = tr(update_texts::kPutBackRefused).arg(QString::fromStdString(RollbackRefusalText(plan)));
    } else {
      ChangeRequest request = PutBackRequest(plan, identity);
      request.flash.between_reads = paint;
      MarkRollback(plan, &subject);
      ChangeResult result;
      RecordedChange recorded;
      // The bytes put back are judged by the signed-only rule like every write.
      ChangeKeeping keeping = KeepingIn(history_, backup_folder_.toStdString());
      keeping.signing = &signing_;
      const bool done = ApplyRecordedChange(link_, request, subject, keeping, &result, &recorded);
      if (!recorded.backup_path.empty()) emit BackupSaved(QString::fromStdString(recorded.backup_path));
      emit ChangeRecorded(QString::fromStdString(recorded.history_warning));
      message = done ? tr(update_texts::kPutBackDone)
                     : tr(update_texts::kPutBackFailed).arg(QString::fromStdString(result.failure.Describe()));
      if (done) SetProgress(kProgressAfterSuccess);
    }
  }
  write_->setEnabled(true);
  writing_ = false;
  emit WriteEnded();
  return message;
}

void FirmwarePage::SetProgress(std::uint16_t per_mille) {
  progress_->setValue(per_mille);
  // The first value of a transfer is painted at once; every pause of the
  // program stays as it is.
  PaintWhenDue(per_mille == 0);
  link_.Platform().Sleep(kProgressPauseMs);
}

void FirmwarePage::PaintWhenDue(bool now) {
  // The transfer blocks the user-interface thread: let the window paint (and
  // the desktop see it alive) without taking any input meanwhile. Painting
  // at every one of up to a thousand progress values, or after every piece
  // of a read, would add its own time to the Write (on a real display, most
  // of what the Write takes beyond the device's pauses); a few times a
  // second is as smooth to the eye.
  if (!now && paint_clock_.isValid() && paint_clock_.elapsed() < kPaintIntervalMs) return;
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  paint_clock_.start();
}

}  // namespace veltrane
