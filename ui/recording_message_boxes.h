// Message boxes for tests: every box shown is recorded, and answers come from
// a queue (when it is empty: OK for an OK box, Cancel for Retry/Cancel, No
// for Yes/No).
#pragma once

#include <deque>
#include <vector>

#include "ui/message_boxes.h"

namespace veltrane {

class RecordingMessageBoxes : public MessageBoxes {
 public:
  struct Shown {
    QString text;
    BoxButtons buttons;
  };

  BoxAnswer Show(const QString& text, BoxButtons buttons) override;

  void QueueAnswer(BoxAnswer answer) { answers_.push_back(answer); }
  const std::vector<Shown>& Boxes() const { return shown_; }
  std::vector<QString> Texts() const;
  void Clear() { shown_.clear(); }

 private:
  std::vector<Shown> shown_;
  std::deque<BoxAnswer> answers_;
};

}  // namespace veltrane
