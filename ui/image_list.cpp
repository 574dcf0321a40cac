#include "ui/image_list.h"

#include <QBitmap>

namespace veltrane {

int ImageList::AddMasked(const QPixmap& bitmap, ColorRef mask) {
  if (bitmap.isNull()) return -1;
  QPixmap image = bitmap.copy(0, 0, size_.width(), size_.height());
  image.setMask(image.createMaskFromColor(ToQColor(mask), Qt::MaskInColor));
  images_.push_back(image);
  return Count() - 1;
}

QPixmap ImageList::Image(int index) const {
  if (index < 0 || index >= Count()) return QPixmap();
  return images_[static_cast<std::size_t>(index)];
}

}  // namespace veltrane
