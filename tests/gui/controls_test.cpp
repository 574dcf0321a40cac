// The colored label, bitmap buttons, image lists, sorted combo boxes and the
// image file filter.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QImage>
#include <QTest>

#include "resources/resource_catalogue.h"
#include "ui/bitmap_button.h"
#include "ui/colored_label.h"
#include "ui/dialog_units.h"
#include "ui/file_chooser.h"
#include "ui/image_list.h"
#include "ui/sorted_combo_box.h"

namespace veltrane {
namespace {

// A pixel inside the label's frame, away from any text.
QRgb Inside(ColoredLabel& label) {
  const QImage shot = label.grab().toImage();
  return shot.pixel(shot.width() - 4, shot.height() / 2) & 0xFFFFFF;
}

// The program shows a label only inside a dialog, in the dialog's font; Qt's
// default font on Windows (MS Shell Dlg) is one the program never draws in.
void InDialogFont(ColoredLabel& label) { label.setFont(DialogFont(AllDialogTemplates().front())); }

bool HasPixelNear(const QImage& image, QColor c, int tolerance) {
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor p = image.pixelColor(x, y);
      if (std::abs(p.red() - c.red()) + std::abs(p.green() - c.green()) + std::abs(p.blue() - c.blue()) <=
          tolerance)
        return true;
    }
  }
  return false;
}

TEST(ColoredLabel, StartsWithButtonFaceAndBlack) {
  ColoredLabel label;
  InDialogFont(label);
  label.resize(120, 24);
  const QColor face = QApplication::palette().color(QPalette::Button);
  EXPECT_EQ(label.LabelBkColor(), Rgb(face.red(), face.green(), face.blue()));
  EXPECT_EQ(label.LabelTextColor(), Rgb(0, 0, 0));
  EXPECT_EQ(Inside(label), face.rgb() & 0xFFFFFF);
  label.setText("MMMMMM");
  EXPECT_TRUE(HasPixelNear(label.grab().toImage(), Qt::black, 60));
}

TEST(ColoredLabel, SetLabelColoursInEveryState) {
  ColoredLabel label;
  InDialogFont(label);
  label.resize(160, 24);
  label.SetLabel("", Rgb(0xFF, 0xFF, 0xFF), Rgb(0, 0, 0x7F));
  EXPECT_EQ(label.text(), "");
  EXPECT_EQ(label.LabelBkColor(), 0x00FFFFFFu);
  EXPECT_EQ(label.LabelTextColor(), 0x007F0000u);
  EXPECT_EQ(Inside(label), 0xFFFFFFu);

  label.SetLabel("MMMMMMMM", Rgb(200, 230, 0), Rgb(220, 0, 0));
  EXPECT_EQ(label.text(), "MMMMMMMM");
  const QColor bg(200, 230, 0);
  EXPECT_EQ(Inside(label), bg.rgb() & 0xFFFFFF);
  EXPECT_TRUE(HasPixelNear(label.grab().toImage(), QColor(220, 0, 0), 60));

  // Disabled and read-only keep the label's own colours.
  label.setEnabled(false);
  EXPECT_EQ(Inside(label), bg.rgb() & 0xFFFFFF);
  EXPECT_TRUE(HasPixelNear(label.grab().toImage(), QColor(220, 0, 0), 60));
  label.setEnabled(true);
  label.setReadOnly(true);
  EXPECT_EQ(Inside(label), bg.rgb() & 0xFFFFFF);
  EXPECT_EQ(label.palette().color(QPalette::Disabled, QPalette::Text), QColor(220, 0, 0));

  label.SetLabelBkColor(Rgb(0, 0, 255));
  EXPECT_EQ(Inside(label), 0x0000FFu);
  EXPECT_EQ(label.LabelTextColor(), Rgb(220, 0, 0));
}

TEST(BitmapButton, LoadsAndFitsToTheNormalPicture) {
  QWidget parent;
  BitmapButton browse(&parent);
  browse.setGeometry(23, 34, 47, 26);
  EXPECT_TRUE(browse.LoadPictures(kBitmapLoadDark));
  browse.FitToPicture();
  EXPECT_EQ(browse.geometry(), QRect(23, 34, 52, 24));
  EXPECT_TRUE(browse.LoadPictures(kBitmapLoadRed));
  browse.FitToPicture();
  EXPECT_EQ(browse.geometry(), QRect(23, 34, 54, 24));
  EXPECT_EQ(browse.NormalPictureId(), kBitmapLoadRed);
  EXPECT_EQ(browse.PressedPictureId(), 0);
  browse.LoadPictures(kBitmapLoadDark);
  browse.FitToPicture();
  EXPECT_EQ(browse.geometry(), QRect(23, 34, 52, 24));
}

TEST(BitmapButton, FailedPicturesAndWhatItReports) {
  BitmapButton button;
  button.resize(10, 10);
  EXPECT_TRUE(button.LoadPictures(kBitmapWriteDark, kBitmapWriteRed));
  EXPECT_EQ(button.PressedPictureId(), kBitmapWriteRed);
  // A missing extra picture: false, the others still loaded.
  EXPECT_FALSE(button.LoadPictures(kBitmapWriteDark, 0, 9999));
  EXPECT_EQ(button.NormalPictureId(), kBitmapWriteDark);
  EXPECT_EQ(button.FocusedPictureId(), 0);
  // A missing normal picture stops: nothing is held, nothing is drawn, no resize.
  EXPECT_FALSE(button.LoadPictures(9999, kBitmapWriteRed));
  EXPECT_EQ(button.NormalPictureId(), 0);
  EXPECT_EQ(button.PressedPictureId(), 0);
  EXPECT_TRUE(button.CurrentPicture().isNull());
  button.FitToPicture();
  EXPECT_EQ(button.size(), QSize(10, 10));
  EXPECT_FALSE(button.LoadPictures(0));
}

TEST(BitmapButton, DrawsThePictureOfItsState) {
  QWidget window;
  BitmapButton button(&window);
  button.LoadPictures(kBitmapWriteDark, kBitmapWriteRed, 0, kBitmapExitDark);
  button.FitToPicture();
  button.setText("Write");
  const QImage dark = LoadBitmap(kBitmapWriteDark).toImage().convertToFormat(QImage::Format_RGB32);
  const QImage red = LoadBitmap(kBitmapWriteRed).toImage().convertToFormat(QImage::Format_RGB32);
  const QImage exit = LoadBitmap(kBitmapExitDark).toImage().convertToFormat(QImage::Format_RGB32);
  auto shot = [&] { return button.grab().toImage().convertToFormat(QImage::Format_RGB32); };
  EXPECT_EQ(shot(), dark);  // unscaled, no text over it
  button.setDown(true);
  EXPECT_EQ(shot(), red);
  button.setDown(false);
  button.setEnabled(false);
  EXPECT_EQ(shot(), exit);
  // Without a disabled picture a disabled button shows its normal one.
  button.LoadPictures(kBitmapWriteRed, kBitmapWriteRed);
  EXPECT_EQ(shot(), red);
  EXPECT_EQ(button.sizeHint(), QSize(60, 20));
}

TEST(BitmapButton, TakesSpaceAndReturnAndMarksItsFocus) {
  QWidget window;
  BitmapButton button(&window);
  button.LoadPictures(kBitmapWriteDark);
  button.FitToPicture();
  button.setFocusPolicy(Qt::StrongFocus);
  window.show();
  QApplication::setActiveWindow(&window);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  button.clearFocus();
  const QImage plain = button.grab().toImage();
  EXPECT_EQ(plain.convertToFormat(QImage::Format_RGB32),
            LoadBitmap(kBitmapWriteDark).toImage().convertToFormat(QImage::Format_RGB32));
  button.setFocus();
  ASSERT_TRUE(button.hasFocus());
  EXPECT_NE(button.grab().toImage(), plain);  // the focus mark
  int clicks = 0;
  QObject::connect(&button, &BitmapButton::clicked, [&] { ++clicks; });
  for (Qt::Key key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter}) QTest::keyClick(&button, key);
  EXPECT_EQ(clicks, 3);
  button.setEnabled(false);
  QTest::keyClick(&button, Qt::Key_Return);
  EXPECT_EQ(clicks, 3);
}

TEST(ImageList, MaskColourBecomesTransparent) {
  ImageList list(44, 16);
  EXPECT_EQ(list.AddMasked(LoadBitmap(kBitmapEepromHighlighted), Rgb(17, 17, 0)), 0);
  EXPECT_EQ(list.AddMasked(QPixmap(), Rgb(17, 17, 0)), -1);
  QPixmap pixmap(44, 16);
  pixmap.fill(QColor(17, 17, 0));
  EXPECT_EQ(list.AddMasked(pixmap, Rgb(17, 17, 0)), 1);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(qAlpha(list.Image(1).toImage().pixel(3, 3)), 0);
  // No label pixel has the mask colour, so every pixel stays opaque.
  const QImage label = list.Image(0).toImage();
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 44; ++x) ASSERT_EQ(qAlpha(label.pixel(x, y)), 255);
  }
  EXPECT_TRUE(list.Image(2).isNull());
}

TEST(SortedComboBox, AddStringKeepsTheListSorted) {
  SortedComboBox combo;
  combo.SetSorted(true);
  for (const char* text : {"0.0078125", "0.015625", "0.03125", "0.0625", "0.125", "0.25", "0.50", "1.00"}) {
    combo.AddString(QString::fromLatin1(text));
  }
  // The resolution texts are already in sort order.
  EXPECT_EQ(combo.itemText(0), "0.0078125");
  EXPECT_EQ(combo.itemText(7), "1.00");
  EXPECT_EQ(combo.AddString("0.3"), 6);
  EXPECT_EQ(combo.AddString("B"), 9);
  EXPECT_EQ(combo.AddString("a"), 9);  // case-insensitive: "a" before "B"
}

TEST(FileChooser, FilterReadsAsWrittenAndMatchesAnyCase) {
  EXPECT_EQ(QtNameFilters(QString::fromLatin1(kImageFileFilter)),
            (QStringList{"MyType Files (*.BIN)", "All Files (*)"}));
  QFileDialog dialog;
  ConfigureImageDialog(dialog, QString());
  EXPECT_EQ(dialog.filter() & QDir::CaseSensitive, 0);
  EXPECT_EQ(dialog.nameFilters().first(), "MyType Files (*.BIN)");
  EXPECT_EQ(dialog.defaultSuffix(), "my");
  for (const auto& [name, taken] : {std::pair{"/a/image.BIN", true}, std::pair{"/a/image.bin", true},
                                    std::pair{"C:/x/Image.bIn", true}, std::pair{"/a/image.bin.txt", false},
                                    std::pair{"/a/bin", false}, std::pair{"/a/image.my", false}}) {
    EXPECT_EQ(IsImageFileName(QString::fromLatin1(name)), taken) << name;
  }
}

}  // namespace
}  // namespace veltrane
