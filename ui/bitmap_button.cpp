#include "ui/bitmap_button.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPen>

#include "resources/resource_catalogue.h"

namespace veltrane {

BitmapButton::BitmapButton(QWidget* parent) : QAbstractButton(parent) {}

bool BitmapButton::LoadPictures(int normal, int pressed, int focused, int disabled) {
  for (int slot = 0; slot < kSlots; ++slot) {
    pictures_[slot] = QPixmap();
    ids_[slot] = 0;
  }
  const int requested[kSlots] = {normal, pressed, focused, disabled};
  bool all_loaded = true;
  for (int slot = 0; slot < kSlots; ++slot) {
    if (slot != kNormal && requested[slot] == 0) continue;
    pictures_[slot] = LoadBitmap(requested[slot]);
    if (pictures_[slot].isNull()) {
      if (slot == kNormal) return false;
      all_loaded = false;
      continue;
    }
    ids_[slot] = requested[slot];
  }
  return all_loaded;
}

void BitmapButton::FitToPicture() {
  if (pictures_[kNormal].isNull()) return;
  // The picture's size in the window's pixels, also when it was drawn for a
  // high-density screen. move() is untouched: the top-left stays.
  resize(pictures_[kNormal].deviceIndependentSize().toSize());
}

QPixmap BitmapButton::CurrentPicture() const {
  if (pictures_[kNormal].isNull()) return QPixmap();
  if (isDown() && !pictures_[kPressed].isNull()) return pictures_[kPressed];
  if (hasFocus() && !pictures_[kFocused].isNull()) return pictures_[kFocused];
  if (!isEnabled() && !pictures_[kDisabled].isNull()) return pictures_[kDisabled];
  return pictures_[kNormal];
}

QSize BitmapButton::sizeHint() const {
  return pictures_[kNormal].isNull() ? QSize(16, 16)
                                     : pictures_[kNormal].deviceIndependentSize().toSize();
}

void BitmapButton::paintEvent(QPaintEvent*) {
  const QPixmap picture = CurrentPicture();
  if (picture.isNull()) return;
  QPainter painter(this);
  // Unscaled, at the top-left; whatever the button's rectangle cuts off is lost.
  painter.drawPixmap(0, 0, picture);
  if (hasFocus()) {
    // A dotted frame inside the face's rounded corners, in the faces' light
    // lettering, as a dialog button's focus rectangle; drawn by itself, so
    // that no style leaves it out.
    const QSize shown = picture.deviceIndependentSize().toSize().boundedTo(size());
    painter.setPen(QPen(QColor(236, 236, 236), 1, Qt::DotLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRect(QPoint(0, 0), shown).adjusted(4, 3, -5, -4));
  }
}

void BitmapButton::keyPressEvent(QKeyEvent* event) {
  // Return presses the focused button as Space does; a page would otherwise
  // swallow it.
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
      (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
    if (isEnabled()) click();
    event->accept();
    return;
  }
  QAbstractButton::keyPressEvent(event);
}

}  // namespace veltrane
