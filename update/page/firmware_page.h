// The firmware page: the first tab page of the main window (layout 102). The
// user picks an image with the browse button, sees its path in the colored
// label, and writes it into the device with the Write button while the
// progress bar moves.
//
// The page owns one HID device link. Choosing a file identifies the device
// and judges the image against it (the one road's judge step); Write hands
// the very bytes that were judged to the one road, which takes the transfer
// that fits the product ID. The transfers reach
// `SetProgress` through the progress sink the main window sets on the page's link. Message boxes and the file-open dialog go through
// small interfaces that tests replace.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <QElapsedTimer>
#include <QString>

#include "device/hid_device_link.h"
#include "device/platform/hid_platform.h"
#include "device/progress.h"
#include "service/device_change.h"
#include "service/signing_policy.h"
#include "ui/skinned_dialog.h"
#include "image/image_header.h"

class QProgressBar;

namespace veltrane {

class ServiceHistory;

class BitmapButton;
class ColoredLabel;
class FileChooser;
class MessageBoxes;

class FirmwarePage : public SkinnedDialog, public ProgressSink {
  Q_OBJECT

 public:
  // Control IDs of layout 102.
  static constexpr int kBrowseButtonId = 1000;
  static constexpr int kProgressBarId = 1003;
  static constexpr int kWriteButtonId = 1004;
  static constexpr int kExitButtonId = 1005;
  static constexpr int kPathLabelId = 1006;

  explicit FirmwarePage(HidPlatform& platform, QWidget* parent = nullptr);
  ~FirmwarePage() override;

  // Replace the production boxes and file dialog (tests); nullptr restores them.
  void SetMessageBoxes(MessageBoxes* boxes);
  void SetFileChooser(FileChooser* chooser);

  // The link's discovery; on failure tells the user to connect the device.
  int LocateDevice();
  // Finds the device and records its vendor, product and revision.
  bool IdentifyDevice();
  // Judges the chosen image against the identified device; the ready flag.
  bool CheckImage();

  // The browse button: choose a file, identify the device, judge the image.
  void OnBrowse();
  // A file taken as if confirmed in the file dialog (a .BIN dropped on the
  // page): it becomes the image path, is identified and judged, and shown.
  void TakeImagePath(const QString& path);
  // The Write button: program the chosen image.
  void OnWrite();

  // Moves the progress bar (0..1000), repaints it at once and keeps the
  // window painting; then the 10 ms pause.
  void SetProgress(std::uint16_t per_mille) override;

  // The trusted keys and the signed-only policy every image is judged by
  // (default: none, and unsigned images allowed).
  void SetSigning(ImageSigning signing) { signing_ = std::move(signing); }
  // The last image's signature, as the judge step found it.
  const SignatureVerdict& Signature() const { return signature_; }

  // Where the backup before each EEPROM Write goes (the program sets the one
  // backup folder); an empty folder (the default) takes none.
  void SetBackupFolder(const QString& folder) { backup_folder_ = folder; }
  const QString& BackupFolder() const { return backup_folder_; }
  // Where every Write is recorded; null (the default): nowhere.
  void SetHistory(ServiceHistory* history) { history_ = history; }

  // Puts back the backup of change `id` (one the history found interrupted)
  // through the one road, after the user's yes; the result box's text.
  QString PutBackChange(std::int64_t id);

  // True from the start to the end of a Write; the window around the page
  // refuses to close meanwhile.
  bool IsWriting() const { return writing_; }

  bool Ready() const { return ready_; }
  const QString& CheckMessage() const { return check_message_; }
  const QString& ImagePath() const { return image_path_; }
  const QString& ResultMessage() const { return result_message_; }
  const DeviceIdentity& Identity() const { return identity_; }
  HidDeviceLink& Link() { return link_; }

  BitmapButton* BrowseButton() const { return browse_; }
  BitmapButton* WriteButton() const { return write_; }
  BitmapButton* ExitButton() const { return exit_; }
  ColoredLabel* PathLabel() const { return path_label_; }
  QProgressBar* ProgressBar() const { return progress_; }

 signals:
  // A close of the window around the page was held back because a Write runs.
  void CloseHeldBack();
  // A Write has ended (the Write button is enabled again).
  void WriteEnded();
  // The backup taken before a Write: where it went, or why there is none.
  void BackupSaved(const QString& path);
  void BackupFailed(const QString& reason);
  // A Write reached the DAC and was recorded; `warning` says, the first time
  // only, why the service history could not take it.
  void ChangeRecorded(const QString& warning);
  // What the judge step found of a chosen image's signature: who signed it,
  // "unsigned", or why it is refused.
  void SignatureNote(const QString& text);

 protected:
  // Holds back the close of the window around the page while a Write runs.
  bool eventFilter(QObject* watched, QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // Lets the window paint (without taking input) when the last paint is a
  // few frames old, or at once when `now`: the Write blocks this thread.
  void PaintWhenDue(bool now = false);
  void WriteFlow();
  void ShowPath();
  void ShowBox(const QString& text);
  void JudgeNewPath(const QString& path);
  // What the page asks of the one road for the judged bytes: the identified
  // device; the backup, the window painting between reads and `forced_`
  // when `for_write`.
  ChangeRequest WriteRequest(bool for_write);
  // The one road: judge, backup, write, read-back, restore packet, byte 0
  // read back. 1 or 0 as the transfers answer.
  int ProgramImage();
  MessageBoxes& Boxes();
  static void SetPictures(BitmapButton* button, int normal, int pressed = 0);

  QString check_message_;
  bool ready_ = false;
  bool forced_ = false;  // not newer, written all the same as the user chose
  ImageSigning signing_;
  SignatureVerdict signature_;
  QString image_path_;
  std::vector<std::uint8_t> image_;  // the bytes judged ready, written by Write
  ColoredLabel* path_label_;
  BitmapButton* exit_;
  BitmapButton* write_;
  QProgressBar* progress_;
  BitmapButton* browse_;
  DeviceIdentity identity_;
  QString result_message_;
  HidDeviceLink link_;
  bool writing_ = false;
  QString backup_folder_;
  ServiceHistory* history_ = nullptr;
  QElapsedTimer paint_clock_;  // since the bar was last painted

  std::unique_ptr<MessageBoxes> own_boxes_;
  std::unique_ptr<FileChooser> own_chooser_;
  MessageBoxes* boxes_;
  FileChooser* chooser_;
};

}  // namespace veltrane
