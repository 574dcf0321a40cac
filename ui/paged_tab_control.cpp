#include "ui/paged_tab_control.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionTabWidgetFrame>

#include "ui/image_list.h"
#include "ui/tab_strip.h"

namespace veltrane {

namespace {
// The strip sits a little inside the control, as a tab control's first tab does.
constexpr int kStripLeft = 2;
constexpr int kStripTop = 2;
constexpr int kImageIndexRole = 0;  // tab data holds the item's image index
}  // namespace

PagedTabControl::PagedTabControl(QWidget* parent) : QWidget(parent), strip_(new TabStrip(this)) {
  strip_->setIconSize(QSize(44, 16));
  connect(strip_, &TabStrip::LeftPressed, this, &PagedTabControl::OnLeftPress);
  PlaceStrip();
}

void PagedTabControl::InsertItem(int position, int image) {
  const int index = strip_->insertTab(position, QString());
  strip_->setTabData(index, image);
  if (strip_list_ != nullptr) strip_->setTabIcon(index, QIcon(strip_list_->Image(image)));
  PlaceStrip();
}

int PagedTabControl::ItemCount() const { return strip_->count(); }

bool PagedTabControl::AddPage(QWidget* page, int template_id, ImageList* list) {
  if (page_count_ >= kMaxPages) return false;
  pages_[page_count_] = page;
  if (page != nullptr && page->parentWidget() != this) page->setParent(this);
  template_ids_[page_count_] = template_id;
  lists_[page_count_] = list;
  ++page_count_;
  return true;
}

void PagedTabControl::ShowPages() {
  SetImageList(lists_[current_]);
  LayoutPages();
}

QRect PagedTabControl::PageRect() const {
  const int w = width();
  const int h = height();
  const QRect item = ItemRect(0);
  const int left = item.left();
  const int bottom = item.top() + item.height();  // exclusive, as a RECT's bottom
  return QRect(left, bottom + 1, w - left - 1, h - bottom - 2);
}

void PagedTabControl::LayoutPages() {
  const QRect area = PageRect();
  for (int i = 0; i < page_count_; ++i) {
    QWidget* page = pages_[i];
    if (page == nullptr) continue;
    page->setGeometry(area);
    page->raise();
    // The first page is shown and every further one hidden.
    page->setVisible(i == 0);
  }
}

void PagedTabControl::SetImageList(ImageList* list) {
  strip_list_ = list;
  for (int i = 0; i < strip_->count(); ++i) {
    const int image = strip_->tabData(i).toInt();
    strip_->setTabIcon(i, list != nullptr ? QIcon(list->Image(image)) : QIcon());
  }
  PlaceStrip();
}

QWidget* PagedTabControl::Page(int index) const {
  return index >= 0 && index < kMaxPages ? pages_[index] : nullptr;
}

ImageList* PagedTabControl::PageImageList(int index) const {
  return index >= 0 && index < kMaxPages ? lists_[index] : nullptr;
}

int PagedTabControl::PageTemplateId(int index) const {
  return index >= 0 && index < kMaxPages ? template_ids_[index] : 0;
}

QRect PagedTabControl::ItemRect(int index) const {
  const QRect r = strip_->tabRect(index);
  if (!r.isValid()) return QRect(strip_->pos(), QSize(0, strip_->height()));
  return r.translated(strip_->pos());
}

void PagedTabControl::mousePressEvent(QMouseEvent* event) {
  QWidget::mousePressEvent(event);
  if (event->button() == Qt::LeftButton) OnLeftPress();
}

void PagedTabControl::SwitchToPage(int index) {
  if (index < 0 || index >= page_count_) return;
  strip_->setCurrentIndex(index);
  OnLeftPress();
}

// Reads the tab that now holds the focus (the strip's current tab, which the
// default handling has just moved) and switches to its page.
void PagedTabControl::OnLeftPress() {
  if (current_ < 0 || current_ >= kMaxPages || pages_[current_] == nullptr) return;
  const int focus = strip_->currentIndex();
  if (focus == current_ || focus < 0 || focus >= page_count_) return;
  pages_[current_]->hide();
  current_ = focus;
  SetImageList(lists_[current_]);
  if (QWidget* page = pages_[current_]) {
    page->show();
    FocusPage(current_);
  }
}

void PagedTabControl::FocusPage(int index) {
  QWidget* page = pages_[index];
  auto takes_focus = [page](QWidget* w) {
    return w != nullptr && page->isAncestorOf(w) && w->isVisible() && w->isEnabled();
  };
  // focusWidget() is the last control inside the page that had the focus,
  // kept while the strip or another page holds it.
  QWidget* target = page->focusWidget();
  if (!takes_focus(target)) {
    target = nullptr;
    for (QWidget* w = page->nextInFocusChain(); w != nullptr && w != page; w = w->nextInFocusChain()) {
      if (takes_focus(w) && (w->focusPolicy() & Qt::TabFocus) != 0) {
        target = w;
        break;
      }
    }
  }
  (target != nullptr ? target : page)->setFocus(Qt::MouseFocusReason);
}

void PagedTabControl::PlaceStrip() {
  strip_->adjustSize();
  strip_->move(kStripLeft, kStripTop);
}

void PagedTabControl::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  PlaceStrip();
}

void PagedTabControl::paintEvent(QPaintEvent*) {
  // The frame round the display area; the pages cover its inside.
  QPainter painter(this);
  QStyleOptionTabWidgetFrame frame;
  frame.initFrom(this);
  const QRect item = ItemRect(0);
  const int top = item.top() + item.height();
  frame.rect = QRect(0, top - 1, width(), height() - top + 1);
  frame.shape = QTabBar::RoundedNorth;
  frame.tabBarSize = strip_->size();
  frame.tabBarRect = strip_->geometry();
  style()->drawPrimitive(QStyle::PE_FrameTabWidget, &frame, &painter, this);
}

}  // namespace veltrane
