#include "ui/dialog_units.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QString>

#include "resources/resource_catalogue.h"

namespace veltrane {

namespace {

// (a * b) / c rounded half away from zero, as Windows' MulDiv.
int MulDiv(int a, int b, int c) {
  const long long product = static_cast<long long>(a) * b;
  const long long half = c / 2;
  return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

QString StandInFamily(const QString& wanted) {
  const QStringList installed = QFontDatabase::families();
  if (installed.contains(wanted)) return wanted;
  for (const char* family : {"Liberation Sans", "Arimo", "DejaVu Sans", "Nimbus Sans", "Sans Serif"}) {
    if (installed.contains(QString::fromLatin1(family))) return QString::fromLatin1(family);
  }
  return QStringLiteral("Sans Serif");
}

}  // namespace

QFont DialogFont(const DialogTemplate& layout) {
  QFont font(StandInFamily(QString::fromLatin1(layout.font)));
  font.setPointSize(layout.points);
  font.setWeight(QFont::Normal);
  font.setItalic(false);
  return font;
}

QSize DialogBaseUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  const int letters = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return QSize((letters / 26 + 1) / 2, metrics.height());
}

QRect MapDialogRect(const QRect& units, const QSize& base) {
  return QRect(MulDiv(units.x(), base.width(), 4), MulDiv(units.y(), base.height(), 8),
               MulDiv(units.width(), base.width(), 4), MulDiv(units.height(), base.height(), 8));
}

}  // namespace veltrane
