#pragma once

#include <QRect>
#include <QSize>

namespace pexo::gui {

// The main window's first place: 70.8 % of the screen in each direction, centred, in the
// integer arithmetic the program has always used (so 1024 x 768 gives (150, 113) to
// (874, 655)). The result's right and bottom edges are exclusive, as the screen's are.
struct PlacedRect {
    int left;
    int top;
    int right;
    int bottom;

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    friend bool operator==(const PlacedRect&, const PlacedRect&) = default;
};

PlacedRect placeWindowOnScreen(QSize screen);

// The same as a QRect (whose right() is inclusive), moved to the screen's origin.
QRect placedGeometry(const QRect& screen);

} // namespace pexo::gui
