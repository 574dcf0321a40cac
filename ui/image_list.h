// An image list: pictures of one size, appended with a mask colour whose
// pixels are left transparent. The tab strip draws its labels from one.
#pragma once

#include <vector>

#include <QPixmap>
#include <QSize>

#include "ui/color_ref.h"

namespace veltrane {

class ImageList {
 public:
  ImageList(int cx, int cy) : size_(cx, cy) {}

  // Appends `bitmap` with the pixels of colour `mask` made transparent; the
  // index of the new image, or -1 when the bitmap is null (nothing added).
  int AddMasked(const QPixmap& bitmap, ColorRef mask);

  int Count() const { return static_cast<int>(images_.size()); }
  QSize ImageSize() const { return size_; }
  // A null pixmap for an index the list does not hold.
  QPixmap Image(int index) const;

 private:
  QSize size_;
  std::vector<QPixmap> images_;
};

}  // namespace veltrane
