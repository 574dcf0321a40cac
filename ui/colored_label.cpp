#include "ui/colored_label.h"

#include <QApplication>
#include <QPalette>

namespace veltrane {

namespace {
// The button-face colour of the system, as the label starts out.
ColorRef ButtonFace() { return FromQColor(QApplication::palette().color(QPalette::Active, QPalette::Button)); }
}  // namespace

ColoredLabel::ColoredLabel(QWidget* parent) : QLineEdit(parent), background_(ButtonFace()) {
  ApplyColours();
}

void ColoredLabel::SetLabelTextColor(ColorRef colour) {
  text_colour_ = colour;
  ApplyColours();
  repaint();
}

void ColoredLabel::SetLabelBkColor(ColorRef colour) {
  background_ = colour;
  ApplyColours();
  repaint();
}

void ColoredLabel::SetLabel(const QString& text, ColorRef background, ColorRef text_colour) {
  SetLabelBkColor(background);
  SetLabelTextColor(text_colour);
  setText(text);
}

// Every colour group answers with the label's own colours, so disabling the
// label or making it read-only does not grey it.
void ColoredLabel::ApplyColours() {
  QPalette pal = palette();
  const QColor bg = ToQColor(background_);
  const QColor fg = ToQColor(text_colour_);
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    pal.setColor(group, QPalette::Base, bg);
    pal.setColor(group, QPalette::Window, bg);
    pal.setColor(group, QPalette::Button, bg);
    pal.setColor(group, QPalette::Text, fg);
    pal.setColor(group, QPalette::WindowText, fg);
    pal.setColor(group, QPalette::ButtonText, fg);
    pal.setColor(group, QPalette::PlaceholderText, fg);
  }
  setPalette(pal);
}

}  // namespace veltrane
