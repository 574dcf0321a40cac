// The dialog layouts, bitmaps and icon of the resource catalogue.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QString>
#include <QStringList>

#include <array>
#include <cstring>
#include <map>

#include "resources/resource_catalogue.h"
#include "resources/version_info.h"

namespace veltrane {
namespace {

const ControlTemplate* FindControl(const DialogTemplate& t, int id) {
  for (const ControlTemplate& c : t.controls) {
    if (c.id == id) return &c;
  }
  return nullptr;
}

std::vector<int> Ids(const DialogTemplate& t) {
  std::vector<int> ids;
  for (const ControlTemplate& c : t.controls) ids.push_back(c.id);
  return ids;
}

TEST(DialogTemplates, SizesFontsAndStyles) {
  struct Expected {
    int id, cx, cy, points;
    std::uint32_t style, ex_style;
  };
  const Expected expected[] = {
      {147, 128, 163, 10,
       WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | DS_SETFONT,
       WS_EX_STATICEDGE | WS_EX_CLIENTEDGE},
      {102, 138, 149, 8, WS_CHILD | WS_VISIBLE | WS_THICKFRAME | DS_SETFONT, WS_EX_APPWINDOW},
      {146, 131, 137, 10, WS_CHILD | WS_THICKFRAME | DS_SETFONT, 0},
      {100, 110, 96, 10, WS_CHILD | WS_THICKFRAME | DS_SETFONT, WS_EX_TRANSPARENT},
  };
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.id);
    const DialogTemplate* t = FindDialogTemplate(e.id);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->cx, e.cx);
    EXPECT_EQ(t->cy, e.cy);
    EXPECT_STREQ(t->font, "MS Sans Serif");
    EXPECT_EQ(t->points, e.points);
    EXPECT_EQ(t->style, e.style);
    EXPECT_EQ(t->ex_style, e.ex_style);
  }
  EXPECT_EQ(FindDialogTemplate(101), nullptr);
  EXPECT_EQ(AllDialogTemplates().size(), 4u);
}

TEST(DialogTemplates, ControlsInTemplateOrder) {
  EXPECT_EQ(Ids(*FindDialogTemplate(147)), (std::vector<int>{1, 1008}));
  EXPECT_EQ(Ids(*FindDialogTemplate(102)), (std::vector<int>{1000, 1003, 1004, 1005, 1006, 1007}));
  EXPECT_EQ(Ids(*FindDialogTemplate(146)),
            (std::vector<int>{1014, 1009, 1015, 1010, 1016, 1011, 1012, 1013}));
  EXPECT_EQ(Ids(*FindDialogTemplate(100)), (std::vector<int>{1}));
}

TEST(DialogTemplates, ControlRowsOfTheFirmwarePage) {
  const DialogTemplate& t = *FindDialogTemplate(102);
  const ControlTemplate* browse = FindControl(t, 1000);
  EXPECT_EQ(browse->cls, ControlClass::kButton);
  EXPECT_EQ(browse->style, WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP | BS_OWNERDRAW | BS_BITMAP);
  EXPECT_EQ((std::array<int, 4>{browse->x, browse->y, browse->cx, browse->cy}), (std::array<int, 4>{15, 17, 31, 16}));
  const ControlTemplate* progress = FindControl(t, 1003);
  EXPECT_EQ(progress->cls, ControlClass::kProgress);
  EXPECT_STREQ(progress->text, "Progress1");
  EXPECT_TRUE(progress->style & PBS_SMOOTH);
  const ControlTemplate* path = FindControl(t, 1006);
  EXPECT_EQ(path->cls, ControlClass::kEdit);
  EXPECT_EQ(path->ex_style, WS_EX_STATICEDGE);
  EXPECT_FALSE(path->style & ES_READONLY);
  EXPECT_TRUE(path->style & ES_AUTOHSCROLL);
  EXPECT_EQ((std::array<int, 4>{path->x, path->y, path->cx, path->cy}), (std::array<int, 4>{55, 19, 65, 12}));
  const ControlTemplate* write = FindControl(t, 1004);
  EXPECT_STREQ(write->text, "Write");
  EXPECT_EQ((std::array<int, 4>{write->x, write->y, write->cx, write->cy}), (std::array<int, 4>{16, 81, 36, 12}));
}

// Hidden and disabled: both Exit buttons, the identify button, the About OK.
TEST(DialogTemplates, HiddenAndDisabledControls) {
  const std::pair<int, int> hidden[] = {{147, 1}, {102, 1005}, {102, 1007}, {100, 1}};
  for (auto [tpl, id] : hidden) {
    const ControlTemplate* c = FindControl(*FindDialogTemplate(tpl), id);
    ASSERT_NE(c, nullptr);
    EXPECT_FALSE(c->style & WS_VISIBLE) << tpl << "/" << id;
    EXPECT_TRUE(c->style & WS_DISABLED) << tpl << "/" << id;
  }
  int visible = 0;
  for (const DialogTemplate& t : AllDialogTemplates()) {
    for (const ControlTemplate& c : t.controls) visible += (c.style & WS_VISIBLE) ? 1 : 0;
  }
  EXPECT_EQ(visible, 1 + 4 + 8);
  EXPECT_EQ((FindControl(*FindDialogTemplate(100), 1)->style & BS_TYPEMASK), BS_DEFPUSHBUTTON);
}

TEST(DialogTemplates, FeedbackCombosAndLabels) {
  const DialogTemplate& t = *FindDialogTemplate(146);
  for (int id : {1009, 1010, 1011}) {
    const ControlTemplate* c = FindControl(t, id);
    EXPECT_EQ(c->cls, ControlClass::kComboBox);
    EXPECT_EQ(c->style, WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWN | CBS_SORT);
  }
  EXPECT_EQ(FindControl(t, 1011)->cy, 70);
  EXPECT_EQ(FindControl(t, 1014)->ex_style, WS_EX_TRANSPARENT);
  EXPECT_EQ(FindControl(t, 1015)->ex_style, 0u);
  EXPECT_STREQ(FindControl(t, 1014)->text, "32/48/96 KHZ");
  EXPECT_STREQ(FindControl(t, 1015)->text, "44.1 KHZ");
  EXPECT_STREQ(FindControl(t, 1016)->text, "88.2 KHZ");
  EXPECT_EQ(FindControl(t, 1015)->style & SS_TYPEMASK, SS_RIGHT);
  EXPECT_EQ(FindControl(*FindDialogTemplate(147), 1008)->cls, ControlClass::kTabControl);
  EXPECT_EQ(FindControl(*FindDialogTemplate(147), 1008)->style, WS_CHILD | WS_VISIBLE);
  EXPECT_STREQ(ControlClassName(ControlClass::kTabControl), "SysTabControl32");
}

struct BitmapHeader {
  int width = 0, height = 0, bits = 0, compression = -1, header_size = 0;
};

BitmapHeader ReadHeader(int id) {
  QFile f(QStringLiteral(":/bitmaps/%1.bmp").arg(id));
  BitmapHeader h;
  if (!f.open(QIODevice::ReadOnly)) return h;
  const QByteArray d = f.readAll();
  auto u32 = [&](int at) {
    std::uint32_t v;
    std::memcpy(&v, d.constData() + at, 4);
    return static_cast<int>(v);
  };
  auto u16 = [&](int at) {
    std::uint16_t v;
    std::memcpy(&v, d.constData() + at, 2);
    return static_cast<int>(v);
  };
  h.header_size = u32(14);
  h.width = u32(18);
  h.height = u32(22);  // positive: bottom-up
  h.bits = u16(28);
  h.compression = u32(30);
  return h;
}

TEST(Bitmaps, SizesAndDepths) {
  LoadBitmap(153);  // registers the compiled-in art
  const std::map<int, std::array<int, 3>> expected = {
      {129, {60, 20, 24}},  {132, {60, 20, 24}},  {133, {60, 20, 24}},  {135, {52, 24, 24}},
      {136, {54, 24, 24}},  {152, {275, 286, 32}}, {153, {229, 229, 24}}, {154, {60, 20, 32}},
      {155, {60, 20, 32}},  {162, {229, 229, 32}}, {163, {44, 16, 32}},   {164, {44, 16, 32}},
      {165, {44, 16, 32}},  {166, {44, 16, 32}},  {167, {44, 16, 32}},   {168, {44, 16, 32}},
  };
  for (const auto& [id, e] : expected) {
    SCOPED_TRACE(id);
    const BitmapHeader h = ReadHeader(id);
    EXPECT_EQ(h.header_size, 40);
    EXPECT_EQ(h.compression, 0);  // BI_RGB
    EXPECT_EQ(h.width, e[0]);
    EXPECT_EQ(h.height, e[1]);
    EXPECT_EQ(h.bits, e[2]);
    const QPixmap pixmap = LoadBitmap(id);
    EXPECT_EQ(pixmap.size(), QSize(e[0], e[1]));
  }
  EXPECT_TRUE(LoadBitmap(130).isNull());
  EXPECT_TRUE(LoadBitmap(0).isNull());
}

// The image lists treat RGB(17, 17, 0) as transparent: no label may hold it.
TEST(Bitmaps, TabLabelsAvoidTheMaskColourAndFaceLooks) {
  for (int id = 163; id <= 168; ++id) {
    const QImage image = LoadBitmap(id).toImage();
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) ASSERT_NE(image.pixel(x, y) & 0xFFFFFF, 0x111100u) << id;
    }
  }
  // Highlighted labels are on white, plain ones on the band's dark blue.
  EXPECT_EQ(LoadBitmap(165).toImage().pixel(0, 0) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(LoadBitmap(166).toImage().pixel(0, 0) & 0xFFFFFF, 0x072F59u);
  // Dark faces have white corners, the hidden Exit face blue ones; red faces are red.
  EXPECT_EQ(LoadBitmap(132).toImage().pixel(0, 0) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(LoadBitmap(129).toImage().pixel(0, 0) & 0xFFFFFF, 0x2E6AFEu);
  EXPECT_EQ(LoadBitmap(133).toImage().pixel(4, 10) & 0xFFFFFF, 0xBD191Au);
  EXPECT_EQ(LoadBitmap(152).toImage().pixel(100, 5) & 0xFFFFFF, 0x0A3F71u);
}

TEST(Icon, OneImageOfOneHundredPixels) {
  const QIcon icon = LoadAppIcon();
  ASSERT_FALSE(icon.isNull());
  const QImage image = icon.pixmap(100, 100).toImage();
  EXPECT_EQ(image.size(), QSize(100, 100));
  // No transparent pixel: the corners are opaque white.
  EXPECT_EQ(qAlpha(image.pixel(0, 0)), 255);
  EXPECT_EQ(image.pixel(99, 99) & 0xFFFFFF, 0xFFFFFFu);
  QFile f(QStringLiteral(":/icons/128.ico"));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray d = f.readAll();
  EXPECT_EQ(static_cast<unsigned char>(d[4]), 1);    // one image
  EXPECT_EQ(static_cast<unsigned char>(d[6]), 100);  // width
  EXPECT_EQ(static_cast<unsigned char>(d[12]), 24);  // bits per pixel
}

TEST(VersionRecord, Strings) {
  // One version, four numbers: dotted for --version, comma-separated in the record.
  const QString dotted = QString::fromLatin1(version::kVersionDotted);
  const QStringList parts = dotted.split(QLatin1Char('.'));
  ASSERT_EQ(parts.size(), 4) << version::kVersionDotted;
  const int numbers[] = {version::kMajor, version::kMinor, version::kPatch, version::kBuild};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(parts[i], QString::number(numbers[i]));
  EXPECT_EQ(QString::fromLatin1(version::kFileVersion), parts.join(QStringLiteral(", ")));
  EXPECT_STREQ(version::kProductVersion, version::kFileVersion);
  EXPECT_STREQ(version::kFileDescription, "Veltrane MFC Application");
  EXPECT_STREQ(version::kOriginalFilename, "Veltrane.EXE");
  EXPECT_STREQ(version::kProductName, "Veltrane Application");
  EXPECT_EQ(version::kTranslationCodePage, 0x04B0u);
}

}  // namespace
}  // namespace veltrane
