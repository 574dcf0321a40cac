// The file-open dialog of the firmware page, behind a small interface so that
// tests can pick files without a modal dialog.
#pragma once

#include <optional>

#include <QString>
#include <QStringList>

class QWidget;

namespace veltrane {

class FileChooser {
 public:
  virtual ~FileChooser() = default;
  // The full path of the file the user confirmed; nothing on Cancel.
  virtual std::optional<QString> ChooseFile(QWidget* owner) = 0;
};

// The image filter as the Windows dialog is given it.
inline constexpr const char* kImageFileFilter = "MyType Files (*.BIN)|*.BIN|All Files (*.*)|*.*||";

// Turns a "description|patterns|...||" filter into Qt name filters. Each
// extension is listed in every letter case, so that "*.BIN" also finds
// "image.bin" on a case-sensitive file system; "*.*" becomes "*".
QStringList QtNameFilters(const QString& windows_filter);

// QFileDialog for opening one existing image: filter kImageFileFilter,
// default suffix "my", initial file name "*.BIN".
class QtImageFileChooser : public FileChooser {
 public:
  std::optional<QString> ChooseFile(QWidget* owner) override;
};

}  // namespace veltrane
