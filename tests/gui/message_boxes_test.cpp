// Message boxes: caption, icon and answers of the real boxes; the recording
// boxes that page tests use.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <functional>

#include "ui/application_title.h"
#include "ui/message_boxes.h"
#include "ui/recording_message_boxes.h"

namespace veltrane {
namespace {

// Runs `inspect` on the modal box once it is up.
void WhenBoxIsUp(std::function<void(QMessageBox*)> inspect) {
  auto* timer = new QTimer;
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, inspect] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    timer->stop();
    timer->deleteLater();
    inspect(box);
  });
  timer->start();
}

TEST(ApplicationTitle, IsTheExecutableNameWithoutExtension) { EXPECT_EQ(ApplicationTitle(), "gui_tests"); }

TEST(QtMessageBoxes, OkBoxHasTheTitleAndTheExclamationIcon) {
  QtMessageBoxes boxes;
  QString title, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  int buttons = 0;
  WhenBoxIsUp([&](QMessageBox* box) {
    title = box->windowTitle();
    text = box->text();
    icon = box->icon();
    buttons = box->buttons().size();
    EXPECT_TRUE(box->isModal());
    box->button(QMessageBox::Ok)->click();
  });
  EXPECT_EQ(boxes.Show("No device found", BoxButtons::kOk), BoxAnswer::kOk);
  EXPECT_EQ(title, ApplicationTitle());
  EXPECT_EQ(text, "No device found");
  EXPECT_EQ(icon, QMessageBox::Warning);
  EXPECT_EQ(buttons, 1);
}

TEST(QtMessageBoxes, RetryCancelBoxHasNoIconAndAnswers) {
  QtMessageBoxes boxes;
  QMessageBox::Icon icon = QMessageBox::Warning;
  QString title;
  WhenBoxIsUp([&](QMessageBox* box) {
    icon = box->icon();
    title = box->windowTitle();
    box->button(QMessageBox::Retry)->click();
  });
  EXPECT_EQ(boxes.Show("Device has latest update!", BoxButtons::kRetryCancel), BoxAnswer::kRetry);
  EXPECT_EQ(icon, QMessageBox::NoIcon);
  EXPECT_EQ(title, "gui_tests");
  WhenBoxIsUp([](QMessageBox* box) { box->button(QMessageBox::Cancel)->click(); });
  EXPECT_EQ(boxes.Show("Device has latest update!", BoxButtons::kRetryCancel), BoxAnswer::kCancel);
}

TEST(RecordingMessageBoxes, RecordsAndAnswersFromItsQueue) {
  RecordingMessageBoxes boxes;
  boxes.QueueAnswer(BoxAnswer::kRetry);
  EXPECT_EQ(boxes.Show("first", BoxButtons::kRetryCancel), BoxAnswer::kRetry);
  EXPECT_EQ(boxes.Show("second", BoxButtons::kRetryCancel), BoxAnswer::kCancel);
  EXPECT_EQ(boxes.Show("third", BoxButtons::kOk), BoxAnswer::kOk);
  ASSERT_EQ(boxes.Boxes().size(), 3u);
  EXPECT_EQ(boxes.Texts(), (std::vector<QString>{"first", "second", "third"}));
  EXPECT_EQ(boxes.Boxes()[2].buttons, BoxButtons::kOk);
}

}  // namespace
}  // namespace veltrane
