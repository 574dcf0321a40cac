// The main window: a skinned dialog (layout 147) with the paged tab control
// and its three pages. The tab labels are pictures; each page has its own
// image list in which its own label is the highlighted one.
#pragma once

#include <array>

#include <QIcon>

#include "app/about_page.h"
#include "device/platform/hid_platform.h"
#include "feedback/page/feedback_page.h"
#include "ui/image_list.h"
#include "ui/message_boxes.h"
#include "ui/skinned_dialog.h"
#include "update/page/firmware_page.h"

namespace veltrane {

class DeviceStatus;
class PagedTabControl;
class StatusStrip;
class ServiceHistory;

class MainWindow : public SkinnedDialog {
  Q_OBJECT

 public:
  static constexpr int kTabControlId = 1008;
  static constexpr int kPages = 3;

  explicit MainWindow(HidPlatform& platform, QWidget* parent = nullptr);
  ~MainWindow() override;

  PagedTabControl* TabControl() const { return tab_control_; }
  FirmwarePage& Firmware() { return firmware_page_; }
  FeedbackPage& Feedback() { return feedback_page_; }
  AboutPage& About() { return about_page_; }
  // Image list 1, 2 or 3 as index 0, 1, 2: the strip's labels while that page is shown.
  ImageList& PageImageList(int index) { return image_lists_[static_cast<std::size_t>(index)]; }

  StatusStrip* Strip() const { return status_strip_; }
  DeviceStatus* Status() const { return device_status_; }
  // True while a close asked for during a Write waits for its end.
  bool ClosePending() const { return close_pending_; }

  // Where Write and Program keep their backups and rows; the strip names the
  // latest change on the connected DAC from `history` (null: none kept).
  void SetKeeping(ServiceHistory* history, const QString& backup_folder);

  // Where the F1 box goes (tests record it).
  void SetMessageBoxes(MessageBoxes* boxes) { boxes_ = boxes; }
  void ShowHelp();

 public slots:
  // Remembers where the window stood, then ends it as a dialog ends.
  void done(int result) override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void FillImageLists();
  void AddKeyboardShortcuts();
  void NameControls();
  void PlaceStatusStrip();
  void RestorePosition();
  void SwitchPageBy(int step);
  void OnCloseHeldBack();
  void OnWriteEnded();
  void OnChangeRecorded(const QString& warning);
  // Says that the DAC's last change was interrupted and, on a yes, puts its backup back.
  void OnInterruptedChange(qint64 id, const QString& operation, const QString& started_utc);

  std::array<ImageList, kPages> image_lists_;
  FirmwarePage firmware_page_;
  FeedbackPage feedback_page_;
  AboutPage about_page_;
  PagedTabControl* tab_control_;
  QIcon icon_;
  QtMessageBoxes qt_boxes_;
  MessageBoxes* boxes_;
  StatusStrip* status_strip_;
  DeviceStatus* device_status_;
  bool close_pending_ = false;
};

}  // namespace veltrane
