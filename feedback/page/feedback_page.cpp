#include "feedback/page/feedback_page.h"

#include <QLabel>
#include <QLineEdit>

#include "device/device_finder.h"
#include "service/recorded_change.h"
#include "image/image_header.h"
#include "resources/resource_catalogue.h"
#include "ui/bitmap_button.h"
#include "ui/sorted_combo_box.h"

namespace veltrane {

namespace {

// The picture handed to label 1015 (the browse button's face, 135).
constexpr int kLabelBitmap = kBitmapLoadDark;

constexpr AccessibleName kControlNames[] = {
    {1014, feedback_texts::kLabel32_48_96Name},
    {FeedbackPage::kCombo32_48_96, feedback_texts::kCombo32_48_96Name},
    {FeedbackPage::kLabel44_1, feedback_texts::kLabel44_1Name},
    {FeedbackPage::kCombo44_1, feedback_texts::kCombo44_1Name},
    {1016, feedback_texts::kLabel88_2Name},
    {FeedbackPage::kCombo88_2, feedback_texts::kCombo88_2Name},
    {FeedbackPage::kProgramButton, feedback_texts::kProgramName},
    {FeedbackPage::kRetrieveButton, feedback_texts::kRetrieveName},
};

constexpr std::size_t Index(SampleRateGroup group) { return static_cast<std::size_t>(group); }

// Data exchange and the comparisons take the groups in this order: the
// 44.1 kHz combo comes first in the layout's binding and in the list filling.
constexpr std::array<SampleRateGroup, 3> kExchangeOrder = {
    SampleRateGroup::k44_1kHz, SampleRateGroup::k32_48_96kHz, SampleRateGroup::k88_2kHz};

}  // namespace

FeedbackPage::FeedbackPage(HidPlatform& platform, QWidget* parent)
    : SkinnedDialog(kFeedbackPageTemplate, parent),
      link_(platform),
      own_boxes_(std::make_unique<QtMessageBoxes>(this)),
      boxes_(own_boxes_.get()) {
  InitDialog();
}

FeedbackPage::~FeedbackPage() = default;

void FeedbackPage::InitDialog() {
  // Bind the controls, then show the three (still empty) texts.
  label_44_1_ = ControlAs<QLabel>(kLabel44_1);
  retrieve_button_ = ControlAs<BitmapButton>(kRetrieveButton);
  program_button_ = ControlAs<BitmapButton>(kProgramButton);
  for (std::size_t i = 0; i < combos_.size(); ++i) combos_[i] = ControlAs<SortedComboBox>(kComboIds[i]);
  DoDataExchange(false);

  SetBackgroundMode(kStretch);
  SetBackgroundBitmap(kBitmapPageBackground);
  NameControls(kControlNames);

  if (retrieve_button_ != nullptr) {
    retrieve_button_->LoadPictures(kBitmapRetrieve);
    retrieve_button_->FitToPicture();
    retrieve_button_->update();
    connect(retrieve_button_, &BitmapButton::clicked, this, &FeedbackPage::Retrieve);
  }
  if (program_button_ != nullptr) {
    program_button_->LoadPictures(kBitmapProgram);
    program_button_->FitToPicture();
    program_button_->update();
    connect(program_button_, &BitmapButton::clicked, this, &FeedbackPage::Program);
  }

  // The picture goes to the label as an image it may use; the label goes on
  // showing its text "44.1 KHZ".
  label_bitmap_ = LoadBitmap(kLabelBitmap);
  if (label_44_1_ != nullptr) {
    label_44_1_->setProperty(kLabelBitmapProperty, label_bitmap_);
    label_44_1_->update();
  }

  // Each row goes to 44.1 kHz, then 32/48/96 kHz, then 88.2 kHz; the sorted
  // lists come out in table order.
  for (const FeedbackResolution& row : kFeedbackResolutions) {
    const QString text = QString::fromLatin1(row.text.data(), static_cast<qsizetype>(row.text.size()));
    for (const SampleRateGroup group : kExchangeOrder) {
      if (SortedComboBox* combo = combos_[Index(group)]) combo->AddString(text);
    }
  }
  // A list box that receives its first item selects it; ours start with an
  // empty field, as the texts are.
  for (SortedComboBox* combo : combos_) {
    if (combo == nullptr) continue;
    combo->setCurrentIndex(-1);
    combo->setEditText(QString());
  }
}

void FeedbackPage::DoDataExchange(bool save) {
  for (const SampleRateGroup group : kExchangeOrder) {
    SortedComboBox* combo = combos_[Index(group)];
    if (combo == nullptr) continue;
    if (save) {
      texts_[Index(group)] = combo->currentText();
    } else {
      ShowText(*combo, texts_[Index(group)]);
    }
  }
}

void FeedbackPage::ShowText(SortedComboBox& combo, const QString& text) {
  // The first item that begins with the text, ignoring case; otherwise the
  // text goes into the edit field as it is. An empty text names no item: it
  // would otherwise select the first row, a resolution nobody chose.
  int found = -1;
  if (!text.isEmpty()) {
    for (int i = 0; i < combo.count() && found < 0; ++i) {
      if (combo.itemText(i).startsWith(text, Qt::CaseInsensitive)) found = i;
    }
  }
  combo.setCurrentIndex(found);
  if (found < 0) combo.setEditText(text);
  // A text wider than the narrow field shows from its first character, as a
  // text just set does: "0.0078125" must not read as "078125".
  if (QLineEdit* edit = combo.lineEdit()) edit->setCursorPosition(0);
}

void FeedbackPage::ShowBox(const char* text) {
  boxes_->Show(tr(text), BoxButtons::kOk);
}

int FeedbackPage::LocateFeedbackDevice() {
  const FindResult found = FindOrExplain(link_);
  if (!found.Found()) {
    QString text = tr(feedback_texts::kFailedEnumeration);
    // Seen but not opened: say what the system needs (Linux: the udev rule).
    if (found.outcome == FindOutcome::kAccessDenied && !found.hint.empty()) {
      text += "\n\n" + QString::fromStdString(found.hint);
    }
    boxes_->Show(text, BoxButtons::kOk);
  }
  return found.Found() ? 1 : 0;
}

void FeedbackPage::Program() {
  if (LocateFeedbackDevice() == 0) return;
  DoDataExchange(true);
  // A text that names no row (typed "0.5", or a field never filled) would
  // otherwise quietly write whatever the setting held before: refuse the
  // whole Program and put the user on the first such combo, top to bottom.
  for (std::size_t i = 0; i < combos_.size(); ++i) {
    if (!MaskForText(texts_[i].toStdString()).has_value()) {
      ShowBox(feedback_texts::kChooseEveryRate);
      if (combos_[i] != nullptr) combos_[i]->setFocus(Qt::OtherFocusReason);
      return;
    }
  }
  for (const FeedbackResolution& row : kFeedbackResolutions) {
    for (const SampleRateGroup group : {SampleRateGroup::k44_1kHz, SampleRateGroup::k88_2kHz,
                                        SampleRateGroup::k32_48_96kHz}) {
      if (texts_[Index(group)].toStdString() == row.text) settings_[Index(group)] = row.mask;
    }
  }
  // The block as the device keeps it (0x00, then the masks), through the one
  // road: the four bytes it replaces are saved first and the Program recorded.
  const std::vector<std::uint8_t> block = {0x00, *settings_[Index(SampleRateGroup::k32_48_96kHz)],
                                           *settings_[Index(SampleRateGroup::k44_1kHz)],
                                           *settings_[Index(SampleRateGroup::k88_2kHz)]};
  ChangeRequest request;
  request.image = &block;
  ReadDeviceIdentity(link_, &request.device);  // for the row; the write needs none
  request.kind = ChangeKind::kRaw;
  request.address = kFeedbackBlockAddress;
  request.flash.verify = false;  // the described write alone
  const ChangeSubject subject = SubjectOfLink(link_, "veltrane", "Program");
  const ChangeKeeping keeping = KeepingIn(history_, backup_folder_.toStdString());
  ChangeResult result;
  RecordedChange recorded;
  const bool written = ApplyRecordedChange(link_, request, subject, keeping, &result, &recorded);
  ShowBox(written ? feedback_texts::kProgramCompleted : feedback_texts::kFailedProgramming);
  emit ChangeRecorded(QString::fromStdString(recorded.history_warning));
}

void FeedbackPage::Retrieve() {
  if (LocateFeedbackDevice() == 0) return;
  std::uint8_t block[kPacketBufferSize] = {};
  if (link_.ReadFeedbackSettings(kEepromDeviceAddress, kEepromSelector, block, 4) == 0) {
    ShowBox(feedback_texts::kFailedProgramming);
    return;
  }
  // Byte 0 (0x00 when this program wrote the block) is not looked at.
  settings_[Index(SampleRateGroup::k32_48_96kHz)] = block[1];
  settings_[Index(SampleRateGroup::k44_1kHz)] = block[2];
  settings_[Index(SampleRateGroup::k88_2kHz)] = block[3];
  for (const FeedbackResolution& row : kFeedbackResolutions) {
    for (const SampleRateGroup group : {SampleRateGroup::k44_1kHz, SampleRateGroup::k32_48_96kHz,
                                        SampleRateGroup::k88_2kHz}) {
      if (settings_[Index(group)] == row.mask) {
        texts_[Index(group)] =
            QString::fromLatin1(row.text.data(), static_cast<qsizetype>(row.text.size()));
      }
    }
  }
  DoDataExchange(false);
}

std::optional<std::uint8_t> FeedbackPage::Setting(SampleRateGroup group) const {
  return settings_[Index(group)];
}

QString FeedbackPage::Text(SampleRateGroup group) const { return texts_[Index(group)]; }

SortedComboBox* FeedbackPage::Combo(SampleRateGroup group) const { return combos_[Index(group)]; }

}  // namespace veltrane
