// The tab strip of the paged tab control: a QTabBar whose labels are images
// and which tells its owner about every left-button press after handling it.
#pragma once

#include <QTabBar>

namespace veltrane {

class TabStrip : public QTabBar {
  Q_OBJECT

 public:
  explicit TabStrip(QWidget* parent = nullptr);

 signals:
  // A left-button press was handled; the current tab has moved to the
  // pressed tab, if the press hit one.
  void LeftPressed();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
};

}  // namespace veltrane
