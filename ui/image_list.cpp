#include "ui/image_list.h"

#include <QBitmap>

namespace veltrane {

int ImageList::AddMasked(const QPixmap& bitmap, ColorRef mask) {
  if (bitmap.isNull()) return -1;
  // A picture drawn for a high-density screen holds more pixels than the
  // list's cell: take the cell in the picture's own pixels.
  const qreal ratio = bitmap.devicePixelRatio();
  QPixmap image = bitmap.copy(0, 0, qRound(size_.width() * ratio), qRound(size_.height() * ratio));
  image.setDevicePixelRatio(ratio);
  image.setMask(image.createMaskFromColor(ToQColor(mask), Qt::MaskInColor));
  images_.push_back(image);
  return Count() - 1;
}

QPixmap ImageList::Image(int index) const {
  if (index < 0 || index >= Count()) return QPixmap();
  return images_[static_cast<std::size_t>(index)];
}

}  // namespace veltrane
