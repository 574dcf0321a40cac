#include "app/about_page.h"

#include "resources/resource_catalogue.h"

namespace veltrane {

AboutPage::AboutPage(QWidget* parent) : SkinnedDialog(kAboutPageTemplate, parent) {
  SetBackgroundMode(kStretch);
  SetBackgroundBitmap(kBitmapAboutBackground);
}

}  // namespace veltrane
