// The bitmap button: an owner-drawn button that shows one picture per state
// (normal, pressed, focused, disabled) and never its text. With the keyboard
// focus it draws a dotted mark inside its picture; Space and Return press it.
#pragma once

#include <QAbstractButton>
#include <QPixmap>

namespace veltrane {

class BitmapButton : public QAbstractButton {
  Q_OBJECT

 public:
  explicit BitmapButton(QWidget* parent = nullptr);

  // Releases the pictures held, then loads the given bitmap IDs (0 = none).
  // A normal picture that fails to load stops the loading. True only when
  // every requested picture loaded.
  bool LoadPictures(int normal, int pressed = 0, int focused = 0, int disabled = 0);
  // Sizes the button to its normal picture, keeping its top-left corner.
  void FitToPicture();

  int NormalPictureId() const { return ids_[kNormal]; }
  int PressedPictureId() const { return ids_[kPressed]; }
  int FocusedPictureId() const { return ids_[kFocused]; }
  int DisabledPictureId() const { return ids_[kDisabled]; }
  // The picture the next paint shows; null when there is none.
  QPixmap CurrentPicture() const;

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  enum Slot { kNormal, kPressed, kFocused, kDisabled, kSlots };
  QPixmap pictures_[kSlots];
  int ids_[kSlots] = {0, 0, 0, 0};  // IDs of the pictures that loaded
};

}  // namespace veltrane
