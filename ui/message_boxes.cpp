#include "ui/message_boxes.h"

#include <QMessageBox>

#include "ui/application_title.h"

namespace veltrane {

BoxAnswer QtMessageBoxes::Show(const QString& text, BoxButtons buttons) {
  const bool retry = buttons == BoxButtons::kRetryCancel;
  QMessageBox box(retry ? QMessageBox::NoIcon : QMessageBox::Warning, ApplicationTitle(), text,
                  retry ? (QMessageBox::Retry | QMessageBox::Cancel) : QMessageBox::Ok, owner_);
  box.setWindowModality(Qt::ApplicationModal);
  box.setEscapeButton(retry ? QMessageBox::Cancel : QMessageBox::Ok);
  const int answer = box.exec();
  if (!retry) return BoxAnswer::kOk;
  return answer == QMessageBox::Retry ? BoxAnswer::kRetry : BoxAnswer::kCancel;
}

}  // namespace veltrane
