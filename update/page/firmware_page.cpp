#include "update/page/firmware_page.h"

#include <QProgressBar>

#include "resources/resource_catalogue.h"
#include "ui/bitmap_button.h"
#include "ui/colored_label.h"

namespace veltrane {

FirmwarePage::FirmwarePage(HidPlatform& platform, QWidget* parent)
    : SkinnedDialog(kFirmwarePageTemplate, parent), platform_(platform),
      progress_(ControlAs<QProgressBar>(1003)) {
  SetBackgroundMode(kStretch);
  SetBackgroundBitmap(kBitmapPageBackground);
  progress_->setRange(0, 1000);
  if (auto* write = ControlAs<BitmapButton>(1004)) {
    write->LoadPictures(kBitmapWriteDark);
    write->FitToPicture();
  }
  if (auto* exit = ControlAs<BitmapButton>(1005)) {
    exit->LoadPictures(kBitmapExitDark);
    exit->FitToPicture();
  }
  if (auto* browse = ControlAs<BitmapButton>(1000)) {
    browse->LoadPictures(kBitmapLoadDark);
    browse->FitToPicture();
  }
  if (auto* path = ControlAs<ColoredLabel>(1006)) path->SetLabel(QString(), Rgb(0xFF, 0xFF, 0xFF), Rgb(0, 0, 0x7F));
}

void FirmwarePage::SetProgress(std::uint16_t per_mille) {
  progress_->setValue(per_mille);
  progress_->repaint();
  platform_.Sleep(10);
}

}  // namespace veltrane
