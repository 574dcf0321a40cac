#include "ui/status_strip.h"

#include <QFontMetrics>
#include <QPainter>

namespace veltrane {

namespace {
const QColor kBand(7, 47, 89);
const QColor kLettering(255, 255, 255);
const QColor kNoteLettering(200, 215, 235);
constexpr int kMargin = 4;
}  // namespace

StatusStrip::StatusStrip(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::NoFocus);
  setAccessibleName(tr("Connected DAC"));
}

void StatusStrip::SetDeviceText(const QString& text) {
  if (text == device_text_) return;
  device_text_ = text;
  Describe();
}

void StatusStrip::SetNote(const QString& text) {
  if (text == note_) return;
  note_ = text;
  Describe();
}

void StatusStrip::Describe() {
  // Long paths are cut in the middle on screen; the whole text stays readable
  // in the tool tip and for screen readers.
  const QString all = note_.isEmpty() ? device_text_ : device_text_ + QLatin1Char('\n') + note_;
  setToolTip(all);
  setAccessibleDescription(all);
  update();
}

int StatusStrip::PreferredHeight() const { return 2 * fontMetrics().height() + 2 * kMargin; }

void StatusStrip::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), kBand);
  const QFontMetrics metrics = fontMetrics();
  const int width = std::max(0, this->width() - 2 * kMargin);
  const int line = metrics.height();
  painter.setPen(kLettering);
  painter.drawText(QRect(kMargin, kMargin, width, line), Qt::AlignLeft | Qt::AlignVCenter,
                   metrics.elidedText(device_text_, Qt::ElideRight, width));
  painter.setPen(kNoteLettering);
  painter.drawText(QRect(kMargin, kMargin + line, width, line), Qt::AlignLeft | Qt::AlignVCenter,
                   metrics.elidedText(note_, Qt::ElideMiddle, width));
}

}  // namespace veltrane
