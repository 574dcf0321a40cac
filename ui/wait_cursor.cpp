#include "ui/wait_cursor.h"

#include <QCursor>
#include <QGuiApplication>

namespace veltrane {

WaitCursor::WaitCursor() { QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
WaitCursor::~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }

}  // namespace veltrane
