#include "ui/skinned_dialog.h"

#include <algorithm>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>

#include "resources/resource_catalogue.h"
#include "ui/bitmap_button.h"
#include "ui/colored_label.h"
#include "ui/dialog_units.h"
#include "ui/paged_tab_control.h"
#include "ui/sorted_combo_box.h"

namespace veltrane {

namespace {

bool Has(std::uint32_t style, std::uint32_t bits) { return (style & bits) == bits; }

QWidget* MakeControl(const ControlTemplate& c, QWidget* parent) {
  const QString text = QString::fromLatin1(c.text);
  switch (c.cls) {
    case ControlClass::kButton: {
      if ((c.style & BS_TYPEMASK) == BS_OWNERDRAW) {
        auto* button = new BitmapButton(parent);
        button->setText(text);  // a window text only: the pictures are drawn
        return button;
      }
      auto* button = new QPushButton(text, parent);
      button->setAutoDefault(false);
      button->setDefault((c.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON);
      return button;
    }
    case ControlClass::kEdit: {
      auto* edit = new ColoredLabel(parent);
      edit->setText(text);
      edit->setReadOnly(Has(c.style, ES_READONLY));
      edit->setFrame(Has(c.ex_style, WS_EX_STATICEDGE) || Has(c.ex_style, WS_EX_CLIENTEDGE) ||
                     Has(c.style, WS_BORDER));
      return edit;
    }
    case ControlClass::kStatic: {
      auto* label = new QLabel(text, parent);
      const std::uint32_t kind = c.style & SS_TYPEMASK;
      Qt::Alignment align = Qt::AlignLeft;
      if (kind == SS_RIGHT) align = Qt::AlignRight;
      if (kind == SS_CENTER) align = Qt::AlignHCenter;
      label->setAlignment(align | Qt::AlignTop);
      return label;
    }
    case ControlClass::kComboBox: {
      auto* combo = new SortedComboBox(parent);
      const std::uint32_t kind = c.style & CBS_TYPEMASK;
      combo->setEditable(kind == CBS_DROPDOWN || kind == CBS_SIMPLE);
      combo->setInsertPolicy(QComboBox::NoInsert);
      // The edit field takes what is typed as it is typed: no inline completion
      // turning "0.5" into the list's "0.50".
      if (combo->isEditable()) combo->setCompleter(nullptr);
      combo->SetSorted(Has(c.style, CBS_SORT));
      return combo;
    }
    case ControlClass::kProgress: {
      auto* bar = new QProgressBar(parent);
      bar->setRange(0, 100);
      bar->setValue(0);
      bar->setTextVisible(false);
      bar->setProperty("windowText", text);
      return bar;
    }
    case ControlClass::kTabControl: {
      auto* tab = new PagedTabControl(parent);
      tab->setProperty("windowText", text);
      return tab;
    }
  }
  return new QWidget(parent);
}

Qt::FocusPolicy FocusPolicyFor(const ControlTemplate& c) {
  if (c.cls == ControlClass::kStatic || c.cls == ControlClass::kProgress) return Qt::NoFocus;
  return Has(c.style, WS_TABSTOP) ? Qt::StrongFocus : Qt::ClickFocus;
}

}  // namespace

SkinnedDialog::SkinnedDialog(int template_id, QWidget* parent)
    : QDialog(parent), template_id_(template_id) {
  if (const DialogTemplate* layout = FindDialogTemplate(template_id)) Build(*layout);
}

SkinnedDialog::~SkinnedDialog() = default;

void SkinnedDialog::Build(const DialogTemplate& layout) {
  child_ = Has(layout.style, WS_CHILD);
  if (child_) {
    setWindowFlags(Qt::Widget);
  } else {
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint;
    if (Has(layout.style, WS_CAPTION)) flags |= Qt::WindowTitleHint;
    if (Has(layout.style, WS_SYSMENU)) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (Has(layout.style, WS_MINIMIZEBOX)) flags |= Qt::WindowMinimizeButtonHint;
    setWindowFlags(flags);
    setSizeGripEnabled(false);
  }
  const QFont font = DialogFont(layout);
  setFont(font);
  base_units_ = DialogBaseUnits(font);
  resize(MapDialogRect(QRect(0, 0, layout.cx, layout.cy)).size());

  QWidget* previous = nullptr;
  for (const ControlTemplate& c : layout.controls) {
    QWidget* control = MakeControl(c, this);
    control->setObjectName(QStringLiteral("control_%1").arg(c.id));
    control->setProperty(kControlIdProperty, c.id);
    control->setProperty("templateStyle", static_cast<qulonglong>(c.style));
    control->setProperty("templateExStyle", static_cast<qulonglong>(c.ex_style));
    QRect rect = MapDialogRect(QRect(c.x, c.y, c.cx, c.cy));
    // A combo box's height in the layout includes its dropped-down list.
    if (c.cls == ControlClass::kComboBox) rect.setHeight(control->sizeHint().height());
    control->setGeometry(rect);
    control->setFocusPolicy(FocusPolicyFor(c));
    control->setEnabled(!Has(c.style, WS_DISABLED));
    if (!Has(c.style, WS_VISIBLE)) control->hide();
    if (previous != nullptr && control->focusPolicy() != Qt::NoFocus) setTabOrder(previous, control);
    if (control->focusPolicy() != Qt::NoFocus) previous = control;
    controls_.push_back(control);
  }
}

void SkinnedDialog::SetBackgroundMode(int mode) {
  if (mode == kTile || mode == kCentre || mode == kStretch) mode_ = mode;
}

void SkinnedDialog::SetBackgroundBitmap(int id) {
  background_ = LoadBitmap(id & 0xFFFF);
  background_id_ = background_.isNull() ? 0 : id;
}

QWidget* SkinnedDialog::Control(int id) const {
  for (QWidget* control : controls_) {
    if (control->property(kControlIdProperty).toInt() == id) return control;
  }
  return nullptr;
}

QRect SkinnedDialog::MapDialogRect(const QRect& units) const {
  return veltrane::MapDialogRect(units, base_units_);
}

void SkinnedDialog::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  // The default background first: what a plain dialog shows.
  painter.fillRect(rect(), palette().brush(QPalette::Window));
  if (!background_.isNull()) DrawBackground(painter);
}

void SkinnedDialog::NameControl(const AccessibleName& entry) {
  if (QWidget* control = Control(entry.control_id)) {
    control->setAccessibleName(QCoreApplication::translate(metaObject()->className(), entry.name));
  }
}

QRect SkinnedDialog::BackgroundArea() const {
  return QRect(0, 0, width(), std::max(0, height() - bottom_margin_));
}

void SkinnedDialog::DrawBackground(QPainter& painter) {
  const QRect area = BackgroundArea();
  const int cw = area.width();
  const int ch = area.height();
  // In the window's units: a picture drawn for a high-density screen has the
  // same size as its ordinary version.
  const QSize picture = background_.deviceIndependentSize().toSize();
  const int w = picture.width();
  const int h = picture.height();
  painter.setClipRect(area);
  switch (mode_) {
    case kTile:
      // Rows top to bottom, each left to right, from the top-left corner.
      if (cw <= 0 || ch <= 0) return;
      for (int y = 0; y < ch; y += h) {
        for (int x = 0; x < cw; x += w) painter.drawPixmap(x, y, background_);
      }
      break;
    case kCentre: {
      // Centred on an axis where the bitmap is smaller, else from the edge.
      const int x = w < cw ? (cw - w) / 2 : 0;
      const int y = h < ch ? (ch - h) / 2 : 0;
      painter.drawPixmap(x, y, background_);
      break;
    }
    case kStretch: {
      // Both axes independently: the aspect ratio is not kept. Scaled with
      // smoothing, to the screen's own pixels: a shrunk picture must not
      // drop the rows that carry its lettering.
      if (cw <= 0 || ch <= 0) return;
      const qreal ratio = devicePixelRatioF();
      const QSize pixels(qRound(cw * ratio), qRound(ch * ratio));
      if (stretched_.size() != pixels || stretched_.devicePixelRatio() != ratio ||
          stretched_from_ != background_.cacheKey()) {
        stretched_ = background_.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        stretched_.setDevicePixelRatio(ratio);
        stretched_from_ = background_.cacheKey();
      }
      painter.drawPixmap(0, 0, stretched_);
      break;
    }
  }
}

void SkinnedDialog::keyPressEvent(QKeyEvent* event) {
  // Enter and Escape inside a page must not end the page (nor reach the
  // window around it); only the main window closes on them.
  if (child_ && (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return ||
                 event->key() == Qt::Key_Enter)) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace veltrane
