#include "resources/resource_catalogue.h"

#include <QFile>
#include <QGuiApplication>
#include <QString>

// The compiled-in art lives in this library's own resource file; a static
// library has to register it explicitly.
static void InitArtResources() { Q_INIT_RESOURCE(veltrane_art); }

namespace veltrane {
namespace {

constexpr const char* kDialogFont = "MS Sans Serif";

constexpr std::uint32_t kChildVisible = WS_CHILD | WS_VISIBLE;
constexpr std::uint32_t kComboStyle =
    WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWN | CBS_SORT;
constexpr std::uint32_t kFaceButton = BS_OWNERDRAW | BS_BITMAP;

std::vector<DialogTemplate> BuildTemplates() {
  using C = ControlClass;
  std::vector<DialogTemplate> all;

  // Main window: a captioned popup with a sizing border and a minimise box.
  all.push_back(DialogTemplate{
      kMainWindowTemplate, 128, 163, kDialogFont, 10,
      WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | DS_SETFONT,
      WS_EX_STATICEDGE | WS_EX_CLIENTEDGE,
      {
          {IDOK, C::kButton, "Exit", WS_CHILD | WS_DISABLED | WS_GROUP | WS_TABSTOP | kFaceButton, 0,
           98, 138, 26, 18},
          {1008, C::kTabControl, "Tab1", kChildVisible, 0, 4, 30, 120, 126},
      }});

  // Firmware page: the only layout in 8 points.
  all.push_back(DialogTemplate{
      kFirmwarePageTemplate, 138, 149, kDialogFont, 8,
      WS_CHILD | WS_VISIBLE | WS_THICKFRAME | DS_SETFONT, WS_EX_APPWINDOW,
      {
          {1000, C::kButton, "", kChildVisible | WS_GROUP | WS_TABSTOP | kFaceButton, 0, 15, 17, 31, 16},
          {1003, C::kProgress, "Progress1", kChildVisible | WS_GROUP | PBS_SMOOTH, 0, 15, 50, 106, 8},
          {1004, C::kButton, "Write", kChildVisible | WS_GROUP | WS_TABSTOP | kFaceButton, 0, 16, 81, 36,
           12},
          {1005, C::kButton, "Exit", WS_CHILD | WS_DISABLED | WS_GROUP | WS_TABSTOP | kFaceButton, 0, 88,
           78, 33, 13},
          {1006, C::kEdit, "", kChildVisible | WS_GROUP | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL,
           WS_EX_STATICEDGE, 55, 19, 65, 12},
          {1007, C::kButton, "Button1", WS_CHILD | WS_DISABLED | WS_TABSTOP | BS_PUSHBUTTON, 0, 38, 109,
           50, 14},
      }});

  // Feedback page: created hidden; the paged tab control shows it.
  all.push_back(DialogTemplate{
      kFeedbackPageTemplate, 131, 137, kDialogFont, 10, WS_CHILD | WS_THICKFRAME | DS_SETFONT, 0,
      {
          {1014, C::kStatic, "32/48/96 KHZ", kChildVisible | WS_GROUP | SS_RIGHT, WS_EX_TRANSPARENT, 17,
           17, 41, 8},
          {1009, C::kComboBox, "", kComboStyle, 0, 64, 13, 36, 73},
          {1015, C::kStatic, "44.1 KHZ", kChildVisible | WS_GROUP | SS_RIGHT, 0, 17, 32, 41, 8},
          {1010, C::kComboBox, "", kComboStyle, 0, 64, 30, 36, 73},
          {1016, C::kStatic, "88.2 KHZ", kChildVisible | WS_GROUP | SS_RIGHT, 0, 17, 47, 41, 8},
          {1011, C::kComboBox, "", kComboStyle, 0, 64, 47, 36, 70},
          {1012, C::kButton, "Program", kChildVisible | WS_TABSTOP | kFaceButton, 0, 17, 64, 37, 14},
          {1013, C::kButton, "Retrieve", kChildVisible | WS_TABSTOP | kFaceButton, 0, 64, 64, 36, 14},
      }});

  // About page: nothing but its background and a default button never shown.
  all.push_back(DialogTemplate{
      kAboutPageTemplate, 110, 96, kDialogFont, 10, WS_CHILD | WS_THICKFRAME | DS_SETFONT,
      WS_EX_TRANSPARENT,
      {
          {IDOK, C::kButton, "OK", WS_CHILD | WS_DISABLED | WS_GROUP | WS_TABSTOP | BS_DEFPUSHBUTTON, 0,
           45, 58, 50, 14},
      }});
  return all;
}

}  // namespace

const char* ControlClassName(ControlClass cls) {
  switch (cls) {
    case ControlClass::kButton: return "Button";
    case ControlClass::kEdit: return "Edit";
    case ControlClass::kStatic: return "Static";
    case ControlClass::kComboBox: return "ComboBox";
    case ControlClass::kProgress: return "msctls_progress32";
    case ControlClass::kTabControl: return "SysTabControl32";
  }
  return "";
}

const std::vector<DialogTemplate>& AllDialogTemplates() {
  static const std::vector<DialogTemplate> templates = BuildTemplates();
  return templates;
}

const DialogTemplate* FindDialogTemplate(int id) {
  for (const DialogTemplate& t : AllDialogTemplates()) {
    if (t.id == id) return &t;
  }
  return nullptr;
}

namespace {
void EnsureArt() {
  static const bool registered = [] {
    InitArtResources();
    return true;
  }();
  (void)registered;
}
}  // namespace

QPixmap LoadBitmap(int id) {
  EnsureArt();
  // Resource identifiers are 16-bit, as the loader on Windows takes them.
  const int resource = id & 0xFFFF;
  QPixmap pixmap;
  // On a high-density screen the picture drawn at twice the size, where
  // there is one: the same picture in the window's units, with every pixel.
  if (qGuiApp != nullptr && qGuiApp->devicePixelRatio() > 1.0 &&
      pixmap.load(DoubleSizeBitmapPath(resource), "BMP")) {
    pixmap.setDevicePixelRatio(2.0);
    return pixmap;
  }
  pixmap.load(QStringLiteral(":/bitmaps/%1.bmp").arg(resource), "BMP");
  return pixmap;
}

QString DoubleSizeBitmapPath(int id) {
  EnsureArt();
  return QStringLiteral(":/bitmaps/%1@2x.bmp").arg(id & 0xFFFF);
}

QIcon LoadAppIcon() {
  EnsureArt();
  return QIcon(QStringLiteral(":/icons/%1.ico").arg(kAppIcon));
}

}  // namespace veltrane
