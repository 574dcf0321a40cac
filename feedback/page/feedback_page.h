// The feedback page: the second tab page of the main window (layout 146).
//
// Three resolution combos, one per sample-rate group, and two face buttons:
// Program writes the three chosen masks into the DAC's feedback settings
// block, Retrieve reads them back and shows their texts. The page owns its
// own device link and finds the device afresh for every button press.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include <QPixmap>
#include <QString>

#include "device/hid_device_link.h"
#include "device/platform/hid_platform.h"
#include "feedback/feedback_table.h"
#include "ui/message_boxes.h"
#include "ui/skinned_dialog.h"

class QLabel;

namespace veltrane {

class BitmapButton;
class SortedComboBox;
class ServiceHistory;

class FeedbackPage : public SkinnedDialog {
  Q_OBJECT

 public:
  // Control IDs of layout 146.
  static constexpr int kCombo32_48_96 = 1009;
  static constexpr int kCombo44_1 = 1010;
  static constexpr int kCombo88_2 = 1011;
  static constexpr int kProgramButton = 1012;
  static constexpr int kRetrieveButton = 1013;
  static constexpr int kLabel44_1 = 1015;
  // The property of label 1015 that holds picture 135; the label keeps its text.
  static constexpr const char* kLabelBitmapProperty = "labelBitmap";

  explicit FeedbackPage(HidPlatform& platform, QWidget* parent = nullptr);
  ~FeedbackPage() override;

  // The boxes the page shows from now on (tests hand in a recorder); the
  // page does not take ownership. nullptr goes back to the page's own.
  void SetMessageBoxes(MessageBoxes* boxes) { boxes_ = boxes != nullptr ? boxes : own_boxes_.get(); }

  // Where a Program keeps the four bytes it replaces (empty, the default:
  // nowhere) and its row (null: nowhere).
  void SetKeeping(ServiceHistory* history, const QString& backup_folder) {
    history_ = history;
    backup_folder_ = backup_folder;
  }

  // The button actions (BN_CLICKED of 1012 and 1013).
  void Program();
  void Retrieve();
  // Finds the device; on failure tells the user. 1 found, 0 not.
  int LocateFeedbackDevice();

  // State, for the main window and tests.
  HidDeviceLink& Link() { return link_; }
  // The mask a group holds; none before it ever held one.
  std::optional<std::uint8_t> Setting(SampleRateGroup group) const;
  // The text field of a group (what the last Program stored or Retrieve set).
  QString Text(SampleRateGroup group) const;
  SortedComboBox* Combo(SampleRateGroup group) const;

 signals:
  // A Program reached the DAC and was recorded; `warning` says, the first
  // time only, why the service history could not take it.
  void ChangeRecorded(const QString& warning);

 private:
  void InitDialog();
  // Store direction (true): combo edit texts into the text fields; show
  // direction (false): the text fields into the combos. Order: 44.1 kHz,
  // 32/48/96 kHz, 88.2 kHz.
  void DoDataExchange(bool save);
  static void ShowText(SortedComboBox& combo, const QString& text);
  void ShowBox(const char* text);

  // Indexed by SampleRateGroup.
  static constexpr std::array<int, 3> kComboIds = {kCombo32_48_96, kCombo44_1, kCombo88_2};

  QPixmap label_bitmap_;
  std::array<std::optional<std::uint8_t>, 3> settings_;
  QLabel* label_44_1_ = nullptr;
  BitmapButton* retrieve_button_ = nullptr;
  BitmapButton* program_button_ = nullptr;
  std::array<SortedComboBox*, 3> combos_ = {};
  std::array<QString, 3> texts_;  // empty at construction
  HidDeviceLink link_;
  std::unique_ptr<QtMessageBoxes> own_boxes_;
  MessageBoxes* boxes_ = nullptr;
  ServiceHistory* history_ = nullptr;
  QString backup_folder_;
};

}  // namespace veltrane
