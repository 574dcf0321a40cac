// The paged tab control: a tab strip with up to four child pages, one image
// list per page. The strip shows the image list of the current page, so the
// current tab's label is the highlighted one. Pages switch only on a left
// press on the control; keyboard selection changes move the strip's
// selection but leave the page as it is.
#pragma once

#include <array>

#include <QWidget>

namespace veltrane {

class ImageList;
class TabStrip;

class PagedTabControl : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kMaxPages = 4;

  explicit PagedTabControl(QWidget* parent = nullptr);

  // Inserts a tab item without text whose label is image `image` of the
  // list on the strip.
  void InsertItem(int position, int image);
  int ItemCount() const;

  // Takes `page` as a child at the next slot with its image list; false, with
  // nothing stored, when four pages are held already.
  bool AddPage(QWidget* page, int template_id, ImageList* list);
  // Puts the current page's image list on the strip and lays the pages out.
  void ShowPages();
  // Every page in the display area: page 0 shown, the others hidden.
  void LayoutPages();

  // Shows page `index` as a left press on its tab would (the keyboard's
  // Ctrl+Tab and Ctrl+PageDown/PageUp of the window around it).
  void SwitchToPage(int index);

  // Puts `list` on the strip (nullptr: no images).
  void SetImageList(ImageList* list);
  ImageList* StripImageList() const { return strip_list_; }

  int PageCount() const { return page_count_; }
  int CurrentPage() const { return current_; }
  QWidget* Page(int index) const;
  ImageList* PageImageList(int index) const;
  int PageTemplateId(int index) const;

  // The rectangle of tab item `index` in this control's coordinates.
  QRect ItemRect(int index) const;
  // The display area the pages share.
  QRect PageRect() const;
  TabStrip* Strip() const { return strip_; }

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void OnLeftPress();
  void PlaceStrip();
  // Gives the keyboard to page `index` as a dialog takes it: to the control
  // inside it that had it last, else to its first tab stop, else to the page
  // itself.
  void FocusPage(int index);

  TabStrip* strip_;
  std::array<QWidget*, kMaxPages> pages_{};
  std::array<ImageList*, kMaxPages> lists_{};
  std::array<int, kMaxPages> template_ids_{};
  ImageList* strip_list_ = nullptr;
  int current_ = 0;
  int page_count_ = 0;
};

}  // namespace veltrane
