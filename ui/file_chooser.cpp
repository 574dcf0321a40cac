#include "ui/file_chooser.h"

#include <QFileDialog>
#include <QFileInfo>

#include "ui/desktop_settings.h"

namespace veltrane {

QStringList QtNameFilters(const QString& windows_filter) {
  QStringList parts = windows_filter.split(QLatin1Char('|'));
  QStringList filters;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    const QString description = parts[i];
    if (description.isEmpty()) break;
    QString name = description;
    const int paren = name.indexOf(QLatin1Char('('));
    if (paren > 0) name = name.left(paren).trimmed();
    QStringList patterns;
    for (const QString& p : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
      const QString pattern = p.trimmed();
      patterns.append(pattern == QStringLiteral("*.*") ? QStringLiteral("*") : pattern);
    }
    filters.append(QStringLiteral("%1 (%2)").arg(name, patterns.join(QLatin1Char(' '))));
  }
  return filters;
}

void ConfigureImageDialog(QFileDialog& dialog, const QString& folder) {
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
#ifndef Q_OS_WIN
  // Only Qt's own dialog matches the patterns without regard to case on a
  // case-sensitive file system; the Windows dialog does so by itself.
  dialog.setOption(QFileDialog::DontUseNativeDialog);
#endif
  dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
  dialog.setNameFilters(QtNameFilters(QString::fromLatin1(kImageFileFilter)));
  dialog.setDefaultSuffix(QStringLiteral("my"));
  if (!folder.isEmpty() && QFileInfo(folder).isDir()) dialog.setDirectory(folder);
  dialog.selectFile(QStringLiteral("*.BIN"));
}

bool IsImageFileName(const QString& path) {
  return QFileInfo(path).suffix().compare(QStringLiteral("bin"), Qt::CaseInsensitive) == 0;
}

std::optional<QString> QtImageFileChooser::ChooseFile(QWidget* owner) {
  QFileDialog dialog(owner);
  ConfigureImageDialog(dialog, desktop_settings::LastFolder());
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return std::nullopt;
  const QFileInfo chosen(files.first());
  desktop_settings::SetLastFolder(chosen.absolutePath());
  return chosen.absoluteFilePath();
}

}  // namespace veltrane
