// What the desktop program remembers between runs, in QSettings: the folder
// the last image came from and where the main window stood.
#pragma once

#include <optional>

#include <QPoint>
#include <QString>

namespace veltrane::desktop_settings {

// The folder of the image last chosen or dropped; empty before the first.
QString LastFolder();
void SetLastFolder(const QString& folder);

// The main window's top-left corner when it last closed.
std::optional<QPoint> WindowPosition();
void SetWindowPosition(const QPoint& position);

}  // namespace veltrane::desktop_settings
