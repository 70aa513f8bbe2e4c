#include "gui/app/WindowPlacement.h"

namespace pexo::gui {

PlacedRect placeWindowOnScreen(QSize screen) {
    const int w = screen.width();
    const int h = screen.height();
    const int cx = w / 2;
    const int cy = h / 2;
    const int dx = static_cast<int>(w * 0.708) / 2;
    const int dy = static_cast<int>(h * 0.708) / 2;
    return {cx - dx, cy - dy, cx + dx, cy + dy};
}

QRect placedGeometry(const QRect& screen) {
    const PlacedRect r = placeWindowOnScreen(screen.size());
    return QRect(screen.left() + r.left, screen.top() + r.top, r.width(), r.height());
}

} // namespace pexo::gui
