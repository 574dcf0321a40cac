#include "ui/bitmap_button.h"

#include <QPainter>

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
  resize(pictures_[kNormal].size());  // move() is untouched: the top-left stays
}

QPixmap BitmapButton::CurrentPicture() const {
  if (pictures_[kNormal].isNull()) return QPixmap();
  if (isDown() && !pictures_[kPressed].isNull()) return pictures_[kPressed];
  if (hasFocus() && !pictures_[kFocused].isNull()) return pictures_[kFocused];
  if (!isEnabled() && !pictures_[kDisabled].isNull()) return pictures_[kDisabled];
  return pictures_[kNormal];
}

QSize BitmapButton::sizeHint() const {
  return pictures_[kNormal].isNull() ? QSize(16, 16) : pictures_[kNormal].size();
}

void BitmapButton::paintEvent(QPaintEvent*) {
  const QPixmap picture = CurrentPicture();
  if (picture.isNull()) return;
  QPainter painter(this);
  // Unscaled, at the top-left; whatever the button's rectangle cuts off is lost.
  painter.drawPixmap(0, 0, picture);
}

}  // namespace veltrane
