// The status strip below the main window's described area: one line naming
// the DAC the next action would use (or that none is connected), and one
// line for a note such as where the last backup went. Dark blue with white
// lettering, as the band of the window's background.
#pragma once

#include <QString>
#include <QWidget>

namespace veltrane {

class StatusStrip : public QWidget {
  Q_OBJECT

 public:
  explicit StatusStrip(QWidget* parent = nullptr);

  void SetDeviceText(const QString& text);
  void SetNote(const QString& text);
  const QString& DeviceText() const { return device_text_; }
  const QString& Note() const { return note_; }

  // Two lines of the strip's font and a margin.
  int PreferredHeight() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void Describe();

  QString device_text_;
  QString note_;
};

}  // namespace veltrane
