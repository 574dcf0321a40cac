#include "app/main_window.h"

#include <QKeyEvent>
#include <QShortcut>

#include "app/app_texts.h"
#include "resources/resource_catalogue.h"
#include "ui/application_title.h"
#include "ui/paged_tab_control.h"

namespace veltrane {

namespace {

constexpr int kLabelWidth = 44;
constexpr int kLabelHeight = 16;
constexpr ColorRef kLabelMask = Rgb(17, 17, 0);

// Per page, the labels of tabs 0, 1 and 2: the page's own label highlighted.
constexpr int kLabelBitmaps[MainWindow::kPages][3] = {
    {kBitmapEepromHighlighted, kBitmapFeedbackPlain, kBitmapAboutPlain},
    {kBitmapEepromPlain, kBitmapFeedbackHighlighted, kBitmapAboutPlain},
    {kBitmapEepromPlain, kBitmapFeedbackPlain, kBitmapAboutHighlighted},
};

}  // namespace

MainWindow::MainWindow(HidPlatform& platform, QWidget* parent)
    : SkinnedDialog(kMainWindowTemplate, parent),
      image_lists_{ImageList(kLabelWidth, kLabelHeight), ImageList(kLabelWidth, kLabelHeight),
                   ImageList(kLabelWidth, kLabelHeight)},
      firmware_page_(platform),
      feedback_page_(platform),
      about_page_(),
      tab_control_(ControlAs<PagedTabControl>(kTabControlId)),
      icon_(LoadAppIcon()),
      qt_boxes_(this),
      boxes_(&qt_boxes_) {
  // The firmware page's transfers move its own progress bar.
  firmware_page_.Link().SetProgressSink(&firmware_page_);
  SetBackgroundMode(kStretch);
  SetBackgroundBitmap(kBitmapMainBackground);
  setWindowIcon(icon_);
  setWindowTitle(QString());  // the layout gives no caption and nothing sets one

  FillImageLists();
  for (int tab = 0; tab < kPages; ++tab) tab_control_->InsertItem(tab, tab);
  tab_control_->AddPage(&firmware_page_, kFirmwarePageTemplate, &image_lists_[0]);
  tab_control_->AddPage(&feedback_page_, kFeedbackPageTemplate, &image_lists_[1]);
  tab_control_->AddPage(&about_page_, kAboutPageTemplate, &image_lists_[2]);
  tab_control_->ShowPages();

  auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
  help->setContext(Qt::WindowShortcut);
  connect(help, &QShortcut::activated, this, &MainWindow::ShowHelp);
}

// The pages are members: take them out of the widget tree before the tab
// control (a child widget) would delete them.
MainWindow::~MainWindow() {
  for (QWidget* page : std::initializer_list<QWidget*>{&about_page_, &feedback_page_, &firmware_page_}) {
    page->hide();
    page->setParent(nullptr);
  }
}

void MainWindow::FillImageLists() {
  for (int list = 0; list < kPages; ++list) {
    for (int bitmap : kLabelBitmaps[list]) {
      image_lists_[static_cast<std::size_t>(list)].AddMasked(LoadBitmap(bitmap), kLabelMask);
    }
  }
}

void MainWindow::ShowHelp() {
  boxes_->Show(QString::fromLatin1(app_texts::kNoHelpFile).arg(ApplicationTitle()), BoxButtons::kOk);
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  // Enter ends the program as Escape does (the dialog's OK), whatever button
  // would otherwise be the default.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    accept();
    return;
  }
  SkinnedDialog::keyPressEvent(event);
}

}  // namespace veltrane
