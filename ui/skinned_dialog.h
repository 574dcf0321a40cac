// The skinned dialog: the base of every window of the desktop program. It is
// built from a dialog layout of the resource catalogue by one builder, finds
// its controls by numeric ID, and paints one bitmap as its whole background,
// tiled, centred or stretched.
#pragma once

#include <cstddef>
#include <vector>

#include <QDialog>
#include <QPixmap>

namespace veltrane {

struct DialogTemplate;

// The name a screen reader gives a control of a layout.
struct AccessibleName {
  int control_id;
  const char* name;
};

class SkinnedDialog : public QDialog {
  Q_OBJECT

 public:
  enum BackgroundMode { kTile = 0, kCentre = 1, kStretch = 2 };

  // The dialog of layout `template_id`, with its controls, no background
  // bitmap and mode 0 (tile). A layout with WS_CHILD makes a child widget.
  explicit SkinnedDialog(int template_id, QWidget* parent = nullptr);
  ~SkinnedDialog() override;

  // Stores 0, 1 or 2; any other value is ignored. Nothing is redrawn.
  void SetBackgroundMode(int mode);
  // Loads bitmap `id` (low 16 bits) as the background; one that does not
  // load leaves the dialog without a background bitmap. Nothing is redrawn.
  void SetBackgroundBitmap(int id);

  int BackgroundMode() const { return mode_; }
  bool HasBackgroundBitmap() const { return !background_.isNull(); }
  int BackgroundBitmapId() const { return background_id_; }

  // The control with this ID, or nullptr.
  QWidget* Control(int id) const;
  template <class T>
  T* ControlAs(int id) const {
    return qobject_cast<T*>(Control(id));
  }
  // Every control, in layout order.
  const std::vector<QWidget*>& Controls() const { return controls_; }

  int TemplateId() const { return template_id_; }
  // The base units of the layout's font, in pixels.
  QSize BaseUnits() const { return base_units_; }
  // A rectangle in this dialog's units, in pixels.
  QRect MapDialogRect(const QRect& units) const;

  // Gives each listed control its accessible name, translated in the
  // context of the derived dialog's class.
  template <std::size_t N>
  void NameControls(const AccessibleName (&names)[N]) {
    for (const AccessibleName& entry : names) NameControl(entry);
  }

  // Keeps the bottom `pixels` of the client area out of the background, for
  // what is added below the layout's own area (the main window's status strip).
  void SetBackgroundBottomMargin(int pixels) { bottom_margin_ = pixels; }
  // The part of the client area the background is drawn over.
  QRect BackgroundArea() const;

  // The property every control carries with its numeric ID.
  static constexpr const char* kControlIdProperty = "controlId";

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void NameControl(const AccessibleName& entry);
  void Build(const DialogTemplate& layout);
  void DrawBackground(QPainter& painter);

  int template_id_;
  bool child_ = false;
  QSize base_units_;
  std::vector<QWidget*> controls_;
  QPixmap background_;
  // The stretched background as last drawn: every paint of a child (the
  // progress bar, many times a second during a Write) paints the background
  // under it, and a smooth scale of the whole picture each time costs more
  // than the child itself. Made again when the picture or the size changes.
  QPixmap stretched_;
  qint64 stretched_from_ = 0;  // the picture's cache key
  int background_id_ = 0;
  int mode_ = kTile;
  int bottom_margin_ = 0;
};

}  // namespace veltrane
