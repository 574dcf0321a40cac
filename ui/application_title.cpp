#include "ui/application_title.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace veltrane {

QString ApplicationTitle() {
  if (QCoreApplication::instance() == nullptr) return QStringLiteral("veltrane");
  // Only the last extension goes, as Windows strips ".exe" and nothing more.
  return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

}  // namespace veltrane
