// Draws the program's pictures: the button faces, tab labels, backgrounds and
// the icon, written as uncompressed bottom-up BMP files (24 or 32 bits per
// pixel, BI_RGB, 40-byte header), one ICO file, and the desktop icon theme's
// PNG files under hicolor/. The files it writes are
// committed under resources/art; run it again only to redraw them:
//
//   QT_QPA_PLATFORM=offscreen veltrane_generate_art resources/art
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace {

const QColor kDarkFaceTop(37, 35, 40);
const QColor kDarkFaceBottom(40, 31, 32);
const QColor kRedFace(189, 25, 26);
const QColor kFaceLetters(236, 236, 236);
const QColor kExitCorners(46, 106, 254);
const QColor kTitleBlue(10, 63, 113);
const QColor kBandBlue(7, 47, 89);
const QColor kTextBlue(10, 40, 100);
const QColor kLabelDark(20, 24, 32);

void Put16(QByteArray& b, std::uint16_t v) {
  b.append(char(v & 0xFF));
  b.append(char(v >> 8));
}
void Put32(QByteArray& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.append(char((v >> (8 * i)) & 0xFF));
}

// BITMAPINFOHEADER and the bottom-up pixel rows; `height_factor` is 2 inside
// an icon, whose header counts the mask too.
QByteArray DibBits(const QImage& image, int bits, int height_factor, QByteArray* header) {
  const int w = image.width();
  const int h = image.height();
  const int stride = ((w * bits / 8) + 3) & ~3;
  QByteArray rows;
  for (int y = h - 1; y >= 0; --y) {
    QByteArray row;
    for (int x = 0; x < w; ++x) {
      const QRgb p = image.pixel(x, y);
      row.append(char(qBlue(p)));
      row.append(char(qGreen(p)));
      row.append(char(qRed(p)));
      if (bits == 32) row.append(char(0));
    }
    while (row.size() < stride) row.append(char(0));
    rows.append(row);
  }
  Put32(*header, 40);
  Put32(*header, std::uint32_t(w));
  Put32(*header, std::uint32_t(h * height_factor));
  Put16(*header, 1);
  Put16(*header, std::uint16_t(bits));
  Put32(*header, 0);  // BI_RGB
  Put32(*header, std::uint32_t(rows.size()));
  Put32(*header, 2835);  // 72 dpi
  Put32(*header, 2835);
  Put32(*header, 0);
  Put32(*header, 0);
  return rows;
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly)) return false;
  return f.write(bytes) == bytes.size();
}

bool WriteBmp(const QString& path, const QImage& image, int bits) {
  QByteArray info;
  const QByteArray rows = DibBits(image, bits, 1, &info);
  QByteArray file;
  file.append("BM");
  Put32(file, std::uint32_t(14 + info.size() + rows.size()));
  Put16(file, 0);
  Put16(file, 0);
  Put32(file, std::uint32_t(14 + info.size()));
  file.append(info);
  file.append(rows);
  return WriteFile(path, file);
}

// One 24-bit image whose transparency mask is clear everywhere.
bool WriteIco(const QString& path, const QImage& image) {
  QByteArray info;
  QByteArray body = DibBits(image, 24, 2, &info);
  const int mask_stride = ((image.width() + 31) / 32) * 4;
  body.append(QByteArray(mask_stride * image.height(), char(0)));
  QByteArray file;
  Put16(file, 0);
  Put16(file, 1);  // icon
  Put16(file, 1);  // one image
  file.append(char(image.width()));
  file.append(char(image.height()));
  file.append(char(0));  // no palette
  file.append(char(0));
  Put16(file, 1);   // planes
  Put16(file, 24);  // bits per pixel
  Put32(file, std::uint32_t(info.size() + body.size()));
  Put32(file, 6 + 16);
  file.append(info);
  file.append(body);
  return WriteFile(path, file);
}

// Pixels per picture pixel of the set being drawn: 1, or 2 for the versions
// shown on high-density screens (every drawing below works in picture pixels).
int g_scale = 1;

QImage NewImage(int w, int h, const QColor& fill) {
  QImage image(w * g_scale, h * g_scale, QImage::Format_RGB32);
  image.setDevicePixelRatio(g_scale);
  image.fill(fill);
  return image;
}

// Largest font of `family` (at most `max_px` pixels) whose rendering of `text`
// fits into `width`.
QFont FittingFont(const QString& family, const QString& text, int width, int max_px, bool bold,
                  bool italic = false) {
  QFont font(family);
  font.setBold(bold);
  font.setItalic(italic);
  font.setHintingPreference(QFont::PreferFullHinting);
  for (int px = max_px; px > 5; --px) {
    font.setPixelSize(px);
    if (QFontMetrics(font).horizontalAdvance(text) <= width) return font;
  }
  font.setPixelSize(6);
  return font;
}

void DrawCentredText(QPainter& p, const QRect& r, const QString& text, const QFont& font,
                     const QColor& colour) {
  p.setFont(font);
  p.setPen(colour);
  p.drawText(r, Qt::AlignCenter, text);
}

// A rounded button face with its word; `serif` for the feedback page's faces.
QImage Face(int w, int h, bool red, const QString& word, const QColor& corners, bool serif) {
  QImage image = NewImage(w, h, corners);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath shape;
  const qreal radius = h / 2.6;
  shape.addRoundedRect(QRectF(0.5, 0.5, w - 1.0, h - 1.0), radius, radius);
  if (red) {
    p.fillPath(shape, kRedFace);
  } else {
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0, kDarkFaceTop);
    g.setColorAt(1, kDarkFaceBottom);
    p.fillPath(shape, g);
  }
  // A faint highlight along the top edge gives the face some relief.
  p.setPen(QPen(QColor(255, 255, 255, 60), 1));
  p.drawLine(QPointF(radius, 1.5), QPointF(w - radius, 1.5));
  const QString family = serif ? QStringLiteral("DejaVu Serif") : QStringLiteral("DejaVu Sans");
  const QFont font = FittingFont(family, word, w - 12, h - 7, true);
  DrawCentredText(p, QRect(0, 0, w, h), word, font, kFaceLetters);
  return image;
}

// A 44 x 16 tab label; a highlighted one is dark on white, a plain one white
// on the band's dark blue.
QImage TabLabel(const QString& word, bool highlighted) {
  QImage image = NewImage(44, 16, highlighted ? Qt::white : kBandBlue);
  QPainter p(&image);
  p.setRenderHint(QPainter::TextAntialiasing);
  const QFont font = FittingFont(QStringLiteral("DejaVu Sans Condensed"), word, 42, 10, true);
  DrawCentredText(p, QRect(0, 0, 44, 16), word, font, highlighted ? kLabelDark : Qt::white);
  p.end();
  // The image lists treat RGB(17, 17, 0) as transparent: keep it out.
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (image.pixel(x, y) == qRgb(17, 17, 0)) image.setPixel(x, y, qRgb(17, 17, 1));
    }
  }
  return image;
}

// The maker's logo: a ring cut by a swoosh.
void DrawLogo(QPainter& p, const QRectF& r, const QColor& ring, const QColor& swoosh) {
  p.setPen(QPen(ring, r.width() / 9));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(r.adjusted(r.width() / 9, r.height() / 9, -r.width() / 9, -r.height() / 9));
  QPainterPath s;
  s.moveTo(r.left(), r.center().y() + r.height() * 0.15);
  s.cubicTo(r.left() + r.width() * 0.35, r.top(), r.left() + r.width() * 0.65, r.bottom(),
            r.right(), r.center().y() - r.height() * 0.15);
  p.setPen(QPen(swoosh, r.width() / 12, Qt::SolidLine, Qt::RoundCap));
  p.drawPath(s);
}

QImage MainBackground() {
  const int w = 275, h = 286;
  const int title_bottom = 52, band_bottom = 78;
  QImage image = NewImage(w, h, Qt::white);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.fillRect(0, 0, w, title_bottom, kTitleBlue);
  p.fillRect(0, title_bottom, w, band_bottom - title_bottom, kBandBlue);
  DrawLogo(p, QRectF(10, 8, 36, 36), Qt::white, QColor(120, 180, 240));
  QFont name = FittingFont(QStringLiteral("DejaVu Sans"), QStringLiteral("Veltrane"), 170, 30, true, true);
  p.setFont(name);
  p.setPen(Qt::white);
  p.drawText(QRect(60, 0, w - 70, title_bottom), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("Veltrane"));
  // Three tab outlines in the band, where the tab strip sits.
  p.setPen(QPen(QColor(90, 130, 175), 1));
  p.setBrush(Qt::NoBrush);
  for (int i = 0; i < 3; ++i) {
    const int x = 12 + i * 62;
    QPainterPath tab;
    tab.moveTo(x, band_bottom - 1);
    tab.lineTo(x, title_bottom + 10);
    tab.quadTo(x, title_bottom + 6, x + 4, title_bottom + 6);
    tab.lineTo(x + 52, title_bottom + 6);
    tab.quadTo(x + 56, title_bottom + 6, x + 56, title_bottom + 10);
    tab.lineTo(x + 56, band_bottom - 1);
    p.drawPath(tab);
  }
  // A thin dark-blue edge round the white part.
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(QPen(kTitleBlue, 2));
  p.drawRect(QRect(1, band_bottom, w - 2, h - band_bottom - 1));
  return image;
}

QImage AboutBackground() {
  QImage image = NewImage(229, 229, Qt::white);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  DrawLogo(p, QRectF(94, 40, 40, 40), kTitleBlue, QColor(60, 120, 200));
  const QFont first = FittingFont(QStringLiteral("DejaVu Sans"), QStringLiteral("Veltrane Version 1.5"), 200, 15, true);
  DrawCentredText(p, QRect(0, 96, 229, 24), QStringLiteral("Veltrane Version 1.5"), first, kTextBlue);
  const QString notice = QStringLiteral("Copyright (C) 2026 Veltrane Audio");
  const QFont second = FittingFont(QStringLiteral("DejaVu Sans"), notice, 210, 11, false);
  DrawCentredText(p, QRect(0, 124, 229, 20), notice, second, kTextBlue);
  return image;
}

QImage AppIcon() {
  QImage image = NewImage(100, 100, Qt::white);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath swoosh;
  swoosh.moveTo(8, 40);
  swoosh.cubicTo(30, 6, 70, 4, 94, 22);
  swoosh.cubicTo(66, 14, 36, 20, 8, 40);
  p.fillPath(swoosh, Qt::black);
  p.setPen(QPen(Qt::black, 3, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(10, 39), QPointF(30, 24));
  const QColor red(200, 20, 30);
  const QFont top = FittingFont(QStringLiteral("DejaVu Sans"), QStringLiteral("VELTRANE"), 90, 20, true, true);
  DrawCentredText(p, QRect(0, 44, 100, 24), QStringLiteral("VELTRANE"), top, red);
  const QFont bottom = FittingFont(QStringLiteral("DejaVu Sans"), QStringLiteral("AUDIO"), 70, 16, true, true);
  DrawCentredText(p, QRect(0, 68, 100, 22), QStringLiteral("AUDIO"), bottom, red);
  return image;
}

// The desktop's icon theme (hicolor) at `px` pixels: the program icon's art on
// a rounded white tile with a transparent surround. Drawn at each size rather
// than scaled: from 64 pixels up the swoosh and the two-line wordmark, below
// that the swoosh over a large "V", which stays legible at 16 pixels.
QImage HicolorIcon(int px) {
  QImage image(px, px, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  const qreal margin = px >= 32 ? px / 32.0 : 0.5;
  const QRectF tile(margin, margin, px - 2 * margin, px - 2 * margin);
  p.setPen(QPen(QColor(150, 150, 150), px >= 48 ? px / 48.0 : 1.0));
  p.setBrush(Qt::white);
  p.drawRoundedRect(tile, px * 0.18, px * 0.18);

  const bool wordmark = px >= 64;
  const QRectF box = tile.adjusted(px * 0.07, px * 0.07, -px * 0.07, -px * 0.07);
  const qreal u = box.width() / 100.0;  // one unit of the 100-unit program icon
  // The swoosh: the program icon's, raised to fill the top half when no
  // wordmark sits under it.
  p.save();
  p.translate(box.topLeft());
  if (wordmark) {
    p.scale(u, u);
  } else {
    p.translate(0, -6 * u);
    p.scale(u, u * 1.25);
  }
  QPainterPath swoosh;
  swoosh.moveTo(4, 40);
  swoosh.cubicTo(28, 4, 70, 2, 98, 22);
  swoosh.cubicTo(66, 12, 34, 20, 4, 40);
  p.fillPath(swoosh, Qt::black);
  p.restore();

  const QColor red(200, 20, 30);
  const QString family = QStringLiteral("DejaVu Sans");
  if (wordmark) {
    const QRect top = QRectF(box.left(), box.top() + 42 * u, box.width(), 26 * u).toRect();
    const QRect bottom = QRectF(box.left(), box.top() + 68 * u, box.width(), 24 * u).toRect();
    DrawCentredText(p, top, QStringLiteral("VELTRANE"),
                    FittingFont(family, QStringLiteral("VELTRANE"), top.width(), top.height(), true, true), red);
    DrawCentredText(p, bottom, QStringLiteral("AUDIO"),
                    FittingFont(family, QStringLiteral("AUDIO"), bottom.width() * 3 / 4, bottom.height(), true, true),
                    red);
  } else {
    QFont v(family);
    v.setBold(true);
    v.setItalic(true);
    v.setPixelSize(std::max(8, qRound(box.height() * 0.68)));
    const QRect lower = QRectF(box.left(), box.top() + box.height() * 0.36, box.width(), box.height() * 0.66).toRect();
    DrawCentredText(p, lower, QStringLiteral("V"), v, red);
  }
  return image;
}

// Writes the hicolor icons as DIR/hicolor/NxN.png, the sizes desktops look for.
bool WriteHicolorIcons(const QString& dir) {
  const QString folder = QStringLiteral("%1/hicolor").arg(dir);
  QDir().mkpath(folder);
  bool ok = true;
  for (int px : {16, 24, 32, 48, 64, 128, 256}) {
    const QString path = QStringLiteral("%1/%2x%2.png").arg(folder).arg(px);
    if (!HicolorIcon(px).save(path, "PNG")) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
      ok = false;
    }
  }
  return ok;
}

// The twice-size versions (ID@2x.bmp) of every picture a window shows, drawn
// by the same functions at two pixels per picture pixel, so that the words on
// faces, labels and the about page stay sharp at 200%. The white page
// background needs none.
bool WriteDoubleSizeBitmaps(const QString& dir) {
  g_scale = 2;
  struct Picture {
    int id;
    QImage image;
    int bits;
  };
  const QColor white(Qt::white);
  const Picture pictures[] = {
      {129, Face(60, 20, false, QStringLiteral("EXIT"), kExitCorners, false), 24},
      {132, Face(60, 20, false, QStringLiteral("Write"), white, false), 24},
      {133, Face(60, 20, true, QStringLiteral("Write"), white, false), 24},
      {135, Face(52, 24, false, QStringLiteral("Load"), white, false), 24},
      {136, Face(54, 24, true, QStringLiteral("Load"), white, false), 24},
      {152, MainBackground(), 32},
      {154, Face(60, 20, false, QStringLiteral("PROG"), white, true), 32},
      {155, Face(60, 20, false, QStringLiteral("RETRIEVE"), white, true), 32},
      {162, AboutBackground(), 32},
      {163, TabLabel(QStringLiteral("ABOUT"), false), 32},
      {164, TabLabel(QStringLiteral("ABOUT"), true), 32},
      {165, TabLabel(QStringLiteral("EEPROM"), true), 32},
      {166, TabLabel(QStringLiteral("EEPROM"), false), 32},
      {167, TabLabel(QStringLiteral("FEEDBACK"), true), 32},
      {168, TabLabel(QStringLiteral("FEEDBACK"), false), 32},
  };
  g_scale = 1;
  bool ok = true;
  for (const Picture& picture : pictures) {
    const QString path = QStringLiteral("%1/%2@2x.bmp").arg(dir).arg(picture.id);
    if (!WriteBmp(path, picture.image, picture.bits)) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
      ok = false;
    }
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
  QDir().mkpath(dir);
  auto bmp = [&](int id, const QImage& image, int bits) {
    const QString path = QStringLiteral("%1/%2.bmp").arg(dir).arg(id);
    if (!WriteBmp(path, image, bits)) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
      return false;
    }
    return true;
  };
  const QColor white(Qt::white);
  bool ok = true;
  ok &= bmp(129, Face(60, 20, false, QStringLiteral("EXIT"), kExitCorners, false), 24);
  ok &= bmp(132, Face(60, 20, false, QStringLiteral("Write"), white, false), 24);
  ok &= bmp(133, Face(60, 20, true, QStringLiteral("Write"), white, false), 24);
  ok &= bmp(135, Face(52, 24, false, QStringLiteral("Load"), white, false), 24);
  ok &= bmp(136, Face(54, 24, true, QStringLiteral("Load"), white, false), 24);
  ok &= bmp(152, MainBackground(), 32);
  ok &= bmp(153, NewImage(229, 229, white), 24);
  ok &= bmp(154, Face(60, 20, false, QStringLiteral("PROG"), white, true), 32);
  ok &= bmp(155, Face(60, 20, false, QStringLiteral("RETRIEVE"), white, true), 32);
  ok &= bmp(162, AboutBackground(), 32);
  ok &= bmp(163, TabLabel(QStringLiteral("ABOUT"), false), 32);
  ok &= bmp(164, TabLabel(QStringLiteral("ABOUT"), true), 32);
  ok &= bmp(165, TabLabel(QStringLiteral("EEPROM"), true), 32);
  ok &= bmp(166, TabLabel(QStringLiteral("EEPROM"), false), 32);
  ok &= bmp(167, TabLabel(QStringLiteral("FEEDBACK"), true), 32);
  ok &= bmp(168, TabLabel(QStringLiteral("FEEDBACK"), false), 32);
  ok &= WriteIco(QStringLiteral("%1/128.ico").arg(dir), AppIcon());
  ok &= WriteHicolorIcons(dir);
  ok &= WriteDoubleSizeBitmaps(dir);
  return ok ? 0 : 1;
}
