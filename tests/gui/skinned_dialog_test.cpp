// The skinned dialog: the builder's controls and the background it paints.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "resources/resource_catalogue.h"
#include "ui/bitmap_button.h"
#include "ui/colored_label.h"
#include "ui/dialog_units.h"
#include "ui/paged_tab_control.h"
#include "ui/skinned_dialog.h"
#include "ui/sorted_combo_box.h"

namespace veltrane {
namespace {

TEST(DialogBuilder, MakesOneWidgetPerControlWithItsClass) {
  SkinnedDialog firmware(102);
  EXPECT_NE(firmware.ControlAs<BitmapButton>(1000), nullptr);
  EXPECT_NE(firmware.ControlAs<QProgressBar>(1003), nullptr);
  EXPECT_NE(firmware.ControlAs<BitmapButton>(1004), nullptr);
  EXPECT_NE(firmware.ControlAs<BitmapButton>(1005), nullptr);
  EXPECT_NE(firmware.ControlAs<ColoredLabel>(1006), nullptr);
  auto* identify = firmware.ControlAs<QPushButton>(1007);
  ASSERT_NE(identify, nullptr);
  EXPECT_EQ(identify->text(), "Button1");
  EXPECT_EQ(firmware.ControlAs<QLabel>(1000), nullptr);
  EXPECT_EQ(firmware.Control(4242), nullptr);
  EXPECT_EQ(firmware.Controls().size(), 6u);
  EXPECT_EQ(firmware.Control(1004)->property(SkinnedDialog::kControlIdProperty).toInt(), 1004);
  EXPECT_EQ(firmware.Control(1004)->objectName(), "control_1004");
  EXPECT_EQ(firmware.ControlAs<BitmapButton>(1004)->text(), "Write");

  SkinnedDialog feedback(146);
  for (int id : {1009, 1010, 1011}) {
    auto* combo = feedback.ControlAs<SortedComboBox>(id);
    ASSERT_NE(combo, nullptr);
    EXPECT_TRUE(combo->isEditable());
    EXPECT_TRUE(combo->Sorted());
  }
  auto* label = feedback.ControlAs<QLabel>(1015);
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->text(), "44.1 KHZ");
  EXPECT_TRUE(label->alignment() & Qt::AlignRight);

  SkinnedDialog main(147);
  EXPECT_NE(main.ControlAs<PagedTabControl>(1008), nullptr);
  EXPECT_NE(main.ControlAs<BitmapButton>(1), nullptr);
}

TEST(DialogBuilder, HiddenDisabledAndTabOrder) {
  SkinnedDialog firmware(102);
  firmware.show();
  for (int id : {1005, 1007}) {
    EXPECT_FALSE(firmware.Control(id)->isVisible()) << id;
    EXPECT_FALSE(firmware.Control(id)->isEnabled()) << id;
  }
  for (int id : {1000, 1003, 1004, 1006}) {
    EXPECT_TRUE(firmware.Control(id)->isVisible()) << id;
    EXPECT_TRUE(firmware.Control(id)->isEnabled()) << id;
  }
  // Template order is tab order; the progress bar takes no focus.
  std::vector<int> order;
  QWidget* w = firmware.Control(1000);
  do {
    const QVariant id = w->property(SkinnedDialog::kControlIdProperty);
    if (id.isValid() && w->focusPolicy() != Qt::NoFocus) order.push_back(id.toInt());
    w = w->nextInFocusChain();
  } while (w != firmware.Control(1000));
  EXPECT_EQ(order, (std::vector<int>{1000, 1004, 1005, 1006, 1007}));
  EXPECT_EQ(firmware.Control(1003)->focusPolicy(), Qt::NoFocus);

  SkinnedDialog about(100);
  about.show();
  EXPECT_FALSE(about.Control(IDOK)->isVisible());
  EXPECT_FALSE(about.Control(IDOK)->isEnabled());
}

TEST(DialogBuilder, ConvertsDialogUnitsWithTheLayoutsFont) {
  SkinnedDialog firmware(102);
  SkinnedDialog feedback(146);
  const QSize small = firmware.BaseUnits();
  const QSize large = feedback.BaseUnits();
  EXPECT_EQ(firmware.font().pointSize(), 8);
  EXPECT_EQ(feedback.font().pointSize(), 10);
  EXPECT_GT(small.width(), 0);
  // An 8-point dialog unit is smaller than a 10-point one.
  EXPECT_LE(small.width(), large.width());
  EXPECT_LT(small.height(), large.height());
  EXPECT_EQ(small, DialogBaseUnits(firmware.font()));
  // x * base_x / 4 and y * base_y / 8, rounded.
  const QRect edit = firmware.Control(1006)->geometry();
  EXPECT_EQ(edit, MapDialogRect(QRect(55, 19, 65, 12), small));
  EXPECT_EQ(edit.x(), (55 * small.width() + 2) / 4);
  EXPECT_EQ(edit.height(), (12 * small.height() + 4) / 8);
  EXPECT_EQ(firmware.size(), MapDialogRect(QRect(0, 0, 138, 149), small).size());
  EXPECT_EQ(MapDialogRect(QRect(1, 1, 2, 3), QSize(6, 13)), QRect(2, 2, 3, 5));
}

QImage Grab(QWidget& w) { return w.grab().toImage().convertToFormat(QImage::Format_RGB32); }

QRgb DefaultBackground(const QWidget& w) { return w.palette().color(QPalette::Window).rgb(); }

// A dialog sized exactly as asked, with nothing drawn over its background.
struct Canvas {
  explicit Canvas(int bitmap, int mode, QSize size) : dialog(100) {
    dialog.SetBackgroundMode(mode);
    dialog.SetBackgroundBitmap(bitmap);
    dialog.setFixedSize(size);
  }
  SkinnedDialog dialog;
};

TEST(SkinnedBackground, TileRepeatsFromTheTopLeft) {
  const QImage bitmap = LoadBitmap(163).toImage().convertToFormat(QImage::Format_RGB32);
  Canvas two(163, SkinnedDialog::kTile, QSize(88, 16));
  const QImage shot = Grab(two.dialog);
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 88; ++x) ASSERT_EQ(shot.pixel(x, y), bitmap.pixel(x % 44, y)) << x << "," << y;
  }
  // Narrower than the bitmap: one copy cut at the right. Taller: a second row.
  Canvas narrow(163, SkinnedDialog::kTile, QSize(30, 20));
  const QImage cut = Grab(narrow.dialog);
  EXPECT_EQ(cut.pixel(29, 3), bitmap.pixel(29, 3));
  EXPECT_EQ(cut.pixel(5, 18), bitmap.pixel(5, 2));
}

TEST(SkinnedBackground, CentreOnlyOnTheAxisWhereTheBitmapIsSmaller) {
  const QImage bitmap = LoadBitmap(165).toImage().convertToFormat(QImage::Format_RGB32);
  // 44 x 16 in a 30 x 40 client: from x = 0, cut at the right; y = (40 - 16) / 2.
  Canvas c(165, SkinnedDialog::kCentre, QSize(30, 40));
  const QImage shot = Grab(c.dialog);
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 30; ++x) ASSERT_EQ(shot.pixel(x, 12 + y), bitmap.pixel(x, y)) << x << "," << y;
  }
  // Above and below it the default background stays.
  EXPECT_EQ(shot.pixel(5, 11), DefaultBackground(c.dialog));
  EXPECT_EQ(shot.pixel(5, 28), DefaultBackground(c.dialog));
}

int Mismatches(const QImage& a, const QImage& b) {
  int count = 0;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) count += a.pixel(x, y) != b.pixel(x, y) ? 1 : 0;
  }
  return count;
}

TEST(SkinnedBackground, StretchFillsAnySizeAndFollowsAResize) {
  const QImage bitmap = LoadBitmap(152).toImage().convertToFormat(QImage::Format_RGB32);
  SkinnedDialog dialog(100);
  dialog.SetBackgroundMode(SkinnedDialog::kStretch);
  dialog.SetBackgroundBitmap(152);
  for (QSize size : {QSize(120, 90), QSize(400, 150)}) {
    SCOPED_TRACE(size.width());
    dialog.setFixedSize(size);
    const QImage shot = Grab(dialog);
    ASSERT_EQ(shot.size(), size);
    // Scaled with smoothing: a shrunk picture keeps its thin lines and lettering.
    const QImage expected = bitmap.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    // Rounding of the scaler may move a few edges by a pixel.
    EXPECT_LT(Mismatches(shot, expected), size.width() * size.height() / 20);
    EXPECT_EQ(shot.pixel(size.width() / 2, 3), bitmap.pixel(137, 3));      // title band
    EXPECT_EQ(shot.pixel(size.width() / 2, size.height() * 3 / 4), qRgb(255, 255, 255));
  }
}

TEST(SkinnedBackground, NoBitmapPaintsAPlainDialogAndBadModesAreIgnored) {
  SkinnedDialog dialog(100);
  dialog.setFixedSize(50, 40);
  EXPECT_FALSE(dialog.HasBackgroundBitmap());
  const QImage plain = Grab(dialog);
  EXPECT_EQ(plain.pixel(10, 10), DefaultBackground(dialog));
  EXPECT_EQ(plain.pixel(49, 39), DefaultBackground(dialog));

  EXPECT_EQ(dialog.BackgroundMode(), SkinnedDialog::kTile);
  dialog.SetBackgroundMode(1);
  dialog.SetBackgroundMode(3);
  dialog.SetBackgroundMode(-1);
  EXPECT_EQ(dialog.BackgroundMode(), SkinnedDialog::kCentre);

  dialog.SetBackgroundBitmap(9999);  // not in the catalogue
  EXPECT_FALSE(dialog.HasBackgroundBitmap());
  EXPECT_EQ(Grab(dialog).pixel(10, 10), DefaultBackground(dialog));
  // Only the low 16 bits name the resource.
  dialog.SetBackgroundBitmap(0x10000 + 153);
  EXPECT_TRUE(dialog.HasBackgroundBitmap());
}

}  // namespace
}  // namespace veltrane
