#include "ui/file_chooser.h"

#include <QFileDialog>
#include <QFileInfo>

namespace veltrane {

namespace {

// "*.BIN" -> "*.BIN *.BIn ... *.bin": every letter case of the extension.
QStringList CaseVariants(const QString& pattern) {
  if (pattern == QStringLiteral("*.*")) return {QStringLiteral("*")};
  QStringList variants{QString()};
  for (const QChar ch : pattern) {
    QStringList next;
    const QChar lower = ch.toLower();
    const QChar upper = ch.toUpper();
    for (const QString& v : variants) {
      next.append(v + upper);
      if (lower != upper) next.append(v + lower);
    }
    variants = next;
  }
  variants.removeDuplicates();
  return variants;
}

}  // namespace

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
      patterns.append(CaseVariants(p.trimmed()));
    }
    filters.append(QStringLiteral("%1 (%2)").arg(name, patterns.join(QLatin1Char(' '))));
  }
  return filters;
}

std::optional<QString> QtImageFileChooser::ChooseFile(QWidget* owner) {
  QFileDialog dialog(owner);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilters(QtNameFilters(QString::fromLatin1(kImageFileFilter)));
  dialog.setDefaultSuffix(QStringLiteral("my"));
  dialog.selectFile(QStringLiteral("*.BIN"));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return std::nullopt;
  return QFileInfo(files.first()).absoluteFilePath();
}

}  // namespace veltrane
