#include "ui/message_boxes.h"

#include <QMessageBox>

#include "ui/application_title.h"

namespace veltrane {

BoxAnswer QtMessageBoxes::Show(const QString& text, BoxButtons buttons) {
  if (buttons == BoxButtons::kYesNo) {
    QMessageBox box(QMessageBox::Warning, ApplicationTitle(), text, QMessageBox::Yes | QMessageBox::No, owner_);
    box.setWindowModality(Qt::ApplicationModal);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes ? BoxAnswer::kYes : BoxAnswer::kNo;
  }
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
