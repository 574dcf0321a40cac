// The catalogue of everything the desktop program's windows load by numeric
// ID: the four dialog layouts, the bitmaps and the icon.
//
// The layouts are data, one table per dialog, read by the skinned dialog's
// builder. Rectangles are in dialog units of the layout's own font. The
// pictures are BMP and ICO files under resources/art, compiled into the
// program with the Qt resource system.
#pragma once

#include <cstdint>
#include <vector>

#include <QIcon>
#include <QPixmap>

#include "resources/window_styles.h"

namespace veltrane {

// Dialog template IDs.
inline constexpr int kMainWindowTemplate = 147;
inline constexpr int kFirmwarePageTemplate = 102;
inline constexpr int kFeedbackPageTemplate = 146;
inline constexpr int kAboutPageTemplate = 100;

// Bitmap IDs.
inline constexpr int kBitmapExitDark = 129;
inline constexpr int kBitmapWriteDark = 132;
inline constexpr int kBitmapWriteRed = 133;
inline constexpr int kBitmapLoadDark = 135;
inline constexpr int kBitmapLoadRed = 136;
inline constexpr int kBitmapMainBackground = 152;
inline constexpr int kBitmapPageBackground = 153;
inline constexpr int kBitmapProgram = 154;
inline constexpr int kBitmapRetrieve = 155;
inline constexpr int kBitmapAboutBackground = 162;
inline constexpr int kBitmapAboutPlain = 163;
inline constexpr int kBitmapAboutHighlighted = 164;
inline constexpr int kBitmapEepromHighlighted = 165;
inline constexpr int kBitmapEepromPlain = 166;
inline constexpr int kBitmapFeedbackHighlighted = 167;
inline constexpr int kBitmapFeedbackPlain = 168;

inline constexpr int kAppIcon = 128;

// The window classes a layout may name.
enum class ControlClass {
  kButton,          // "Button"
  kEdit,            // "Edit"
  kStatic,          // "Static"
  kComboBox,        // "ComboBox"
  kProgress,        // "msctls_progress32"
  kTabControl,      // "SysTabControl32"
};

// The window-class name as Windows spells it.
const char* ControlClassName(ControlClass cls);

struct ControlTemplate {
  int id;
  ControlClass cls;
  const char* text;
  std::uint32_t style;
  std::uint32_t ex_style;
  int x, y, cx, cy;  // dialog units
};

struct DialogTemplate {
  int id;
  int cx, cy;  // client size in dialog units
  const char* font;
  int points;
  std::uint32_t style, ex_style;
  std::vector<ControlTemplate> controls;  // template order = tab order = z-order
};

// The layout with this ID, or nullptr.
const DialogTemplate* FindDialogTemplate(int id);

// Every layout, in catalogue order (147, 102, 146, 100).
const std::vector<DialogTemplate>& AllDialogTemplates();

// The bitmap with this ID from the program's resources; a null pixmap when
// there is none. On a high-density screen (device pixel ratio above 1) it is
// the version drawn at twice the size, with a device pixel ratio of 2, so it
// keeps its size in the window's units.
QPixmap LoadBitmap(int id);

// Where the twice-size version of bitmap `id` is kept in the resources.
QString DoubleSizeBitmapPath(int id);

// Icon 128, the window and program icon.
QIcon LoadAppIcon();

}  // namespace veltrane
