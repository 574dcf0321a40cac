#include "ui/recording_message_boxes.h"

namespace veltrane {

BoxAnswer RecordingMessageBoxes::Show(const QString& text, BoxButtons buttons) {
  shown_.push_back({text, buttons});
  if (!answers_.empty()) {
    const BoxAnswer answer = answers_.front();
    answers_.pop_front();
    return answer;
  }
  if (buttons == BoxButtons::kYesNo) return BoxAnswer::kNo;
  return buttons == BoxButtons::kOk ? BoxAnswer::kOk : BoxAnswer::kCancel;
}

std::vector<QString> RecordingMessageBoxes::Texts() const {
  std::vector<QString> texts;
  for (const Shown& box : shown_) texts.push_back(box.text);
  return texts;
}

}  // namespace veltrane
