// The modal message boxes of the pages, behind a small interface so that page
// logic can be driven by tests without modal windows.
#pragma once

#include <QString>

class QWidget;

namespace veltrane {

enum class BoxButtons { kOk, kRetryCancel, kYesNo };
enum class BoxAnswer { kOk, kRetry, kCancel, kYes, kNo };

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  virtual BoxAnswer Show(const QString& text, BoxButtons buttons) = 0;
};

// QMessageBox, modal, captioned with the application title. OK boxes carry
// the exclamation (warning) icon; the Retry/Cancel box carries none; the
// Yes/No box (a question before the program writes) carries the exclamation
// and answers No to Escape and Enter unless Yes is chosen.
class QtMessageBoxes : public MessageBoxes {
 public:
  explicit QtMessageBoxes(QWidget* owner = nullptr) : owner_(owner) {}
  void SetOwner(QWidget* owner) { owner_ = owner; }
  BoxAnswer Show(const QString& text, BoxButtons buttons) override;

 private:
  QWidget* owner_;
};

}  // namespace veltrane
