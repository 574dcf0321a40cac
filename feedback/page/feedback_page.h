// The feedback page: the second tab page of the main window (layout 146).
#pragma once

#include "device/platform/hid_platform.h"
#include "ui/skinned_dialog.h"

namespace veltrane {

class FeedbackPage : public SkinnedDialog {
  Q_OBJECT

 public:
  explicit FeedbackPage(HidPlatform& platform, QWidget* parent = nullptr);

 private:
  HidPlatform& platform_;
};

}  // namespace veltrane
