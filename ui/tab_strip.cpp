#include "ui/tab_strip.h"

#include <QMouseEvent>

namespace veltrane {

TabStrip::TabStrip(QWidget* parent) : QTabBar(parent) {
  setDrawBase(false);
  setExpanding(false);
  setUsesScrollButtons(false);
  setElideMode(Qt::ElideNone);
  setFocusPolicy(Qt::ClickFocus);
}

void TabStrip::mousePressEvent(QMouseEvent* event) {
  QTabBar::mousePressEvent(event);
  if (event->button() == Qt::LeftButton) emit LeftPressed();
}

}  // namespace veltrane
