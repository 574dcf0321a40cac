// The file-open dialog of the firmware page, behind a small interface so that
// tests can pick files without a modal dialog.
#pragma once

#include <optional>
#include <utility>

#include <QString>
#include <QStringList>

class QFileDialog;
class QWidget;

namespace veltrane {

class FileChooser {
 public:
  virtual ~FileChooser() = default;
  // The full path of the file the user confirmed; nothing on Cancel.
  virtual std::optional<QString> ChooseFile(QWidget* owner) = 0;
};

// For tests and benchmarks: the one file it was given, as if confirmed in
// the dialog.
class FixedFileChooser : public FileChooser {
 public:
  explicit FixedFileChooser(QString path) : path_(std::move(path)) {}
  std::optional<QString> ChooseFile(QWidget*) override { return path_; }

 private:
  QString path_;
};

// The image filter as the Windows dialog is given it.
inline constexpr const char* kImageFileFilter = "MyType Files (*.BIN)|*.BIN|All Files (*.*)|*.*||";

// Turns a "description|patterns|...||" filter into Qt name filters, as the
// user reads them ("MyType Files (*.BIN)"); "*.*" becomes "*".
QStringList QtNameFilters(const QString& windows_filter);

// Sets up a file dialog for opening one existing image: filter
// kImageFileFilter matched without regard to letter case (so "*.BIN" also
// finds "image.bin" on a case-sensitive file system), default suffix "my",
// initial file name "*.BIN", starting in `folder` when it exists.
void ConfigureImageDialog(QFileDialog& dialog, const QString& folder);

// True when `path` names a file the image filter takes: extension BIN in any
// letter case (a file dropped on the firmware page).
bool IsImageFileName(const QString& path);

// QFileDialog configured as above, starting in the folder of the last image
// chosen; a confirmed choice becomes the new last folder.
class QtImageFileChooser : public FileChooser {
 public:
  std::optional<QString> ChooseFile(QWidget* owner) override;
};

}  // namespace veltrane
