#include "ui/desktop_settings.h"

#include <QSettings>

namespace veltrane::desktop_settings {

namespace {
constexpr const char* kLastFolderKey = "files/lastFolder";
constexpr const char* kWindowPositionKey = "window/position";
}  // namespace

QString LastFolder() { return QSettings().value(QLatin1String(kLastFolderKey)).toString(); }

void SetLastFolder(const QString& folder) {
  QSettings().setValue(QLatin1String(kLastFolderKey), folder);
}

std::optional<QPoint> WindowPosition() {
  const QVariant value = QSettings().value(QLatin1String(kWindowPositionKey));
  if (!value.canConvert<QPoint>() || value.isNull()) return std::nullopt;
  return value.toPoint();
}

void SetWindowPosition(const QPoint& position) {
  QSettings().setValue(QLatin1String(kWindowPositionKey), position);
}

}  // namespace veltrane::desktop_settings
