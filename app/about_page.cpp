#include "app/about_page.h"

#include "app/app_texts.h"
#include "resources/resource_catalogue.h"

namespace veltrane {

AboutPage::AboutPage(QWidget* parent) : SkinnedDialog(kAboutPageTemplate, parent) {
  SetBackgroundMode(kStretch);
  SetBackgroundBitmap(kBitmapAboutBackground);
  setAccessibleName(tr(app_texts::kAboutName));
  setAccessibleDescription(tr(app_texts::kAboutText));
  static constexpr AccessibleName kNames[] = {{IDOK, app_texts::kOkName}};
  NameControls(kNames);
}

}  // namespace veltrane
