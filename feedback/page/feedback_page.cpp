#include "feedback/page/feedback_page.h"

#include "resources/resource_catalogue.h"
#include "ui/bitmap_button.h"

namespace veltrane {

FeedbackPage::FeedbackPage(HidPlatform& platform, QWidget* parent)
    : SkinnedDialog(kFeedbackPageTemplate, parent), platform_(platform) {
  SetBackgroundMode(kStretch);
  SetBackgroundBitmap(kBitmapPageBackground);
  if (auto* retrieve = ControlAs<BitmapButton>(1013)) {
    retrieve->LoadPictures(kBitmapRetrieve);
    retrieve->FitToPicture();
  }
  if (auto* program = ControlAs<BitmapButton>(1012)) {
    program->LoadPictures(kBitmapProgram);
    program->FitToPicture();
  }
}

}  // namespace veltrane
