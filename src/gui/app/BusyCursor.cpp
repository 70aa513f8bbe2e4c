#include "gui/app/BusyCursor.h"

#include <QApplication>

namespace pexo::gui {

BusyCursor::BusyCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

BusyCursor::~BusyCursor() {
    QApplication::restoreOverrideCursor();
}

} // namespace pexo::gui
