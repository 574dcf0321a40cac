// The about page: the third tab, nothing but its background bitmap (the
// whole about text is pixels of bitmap 162).
#pragma once

#include "ui/skinned_dialog.h"

namespace veltrane {

class AboutPage : public SkinnedDialog {
  Q_OBJECT

 public:
  explicit AboutPage(QWidget* parent = nullptr);
};

}  // namespace veltrane
