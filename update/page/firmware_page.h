// The firmware page: the first tab page of the main window (layout 102).
#pragma once

#include <cstdint>

#include "device/platform/hid_platform.h"
#include "device/progress.h"
#include "ui/skinned_dialog.h"

class QProgressBar;

namespace veltrane {

class FirmwarePage : public SkinnedDialog, public ProgressSink {
  Q_OBJECT

 public:
  explicit FirmwarePage(HidPlatform& platform, QWidget* parent = nullptr);

  // Moves the progress bar (range 0..1000) and repaints it at once.
  void SetProgress(std::uint16_t per_mille) override;

 private:
  HidPlatform& platform_;
  QProgressBar* progress_;
};

}  // namespace veltrane
