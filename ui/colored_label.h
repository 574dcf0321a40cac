// The colored label: an edit control that paints itself in a background and a
// text colour of its own, in every state (enabled, disabled, read-only).
#pragma once

#include <QLineEdit>

#include "ui/color_ref.h"

namespace veltrane {

class ColoredLabel : public QLineEdit {
  Q_OBJECT

 public:
  explicit ColoredLabel(QWidget* parent = nullptr);

  // Each setter repaints the label before it returns.
  void SetLabelTextColor(ColorRef colour);
  void SetLabelBkColor(ColorRef colour);
  // Background first, then text colour, then the text.
  void SetLabel(const QString& text, ColorRef background, ColorRef text_colour);

  ColorRef LabelTextColor() const { return text_colour_; }
  ColorRef LabelBkColor() const { return background_; }

 private:
  void ApplyColours();

  ColorRef background_;
  ColorRef text_colour_ = Rgb(0, 0, 0);
};

}  // namespace veltrane
