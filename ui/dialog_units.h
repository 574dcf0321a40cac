// Dialog units: rectangles in a layout are measured in quarters of the
// average character width and eighths of the character height of the
// layout's font, as Windows measures them.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

namespace veltrane {

struct DialogTemplate;

// The layout's font. "MS Sans Serif" does not exist off Windows; the nearest
// sans-serif face installed stands in for it, at the same point size.
QFont DialogFont(const DialogTemplate& layout);

// Horizontal base unit: the average width of the 52 letters A-Z a-z,
// rounded; vertical base unit: the font's height.
QSize DialogBaseUnits(const QFont& font);

// Dialog units to pixels, rounding as MulDiv does.
QRect MapDialogRect(const QRect& units, const QSize& base);

}  // namespace veltrane
