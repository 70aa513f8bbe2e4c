#include "gui/download/ResultPictures.h"

#include <QPainter>
#include <QPainterPath>

namespace pexo::gui {
namespace {

void paintDevice(QPainter& p) {
    // A handset with its screen, standing left of the badge.
    const QRectF body(14, 6, 30, 52);
    p.setPen(QPen(QColor(60, 60, 70), 1.5));
    p.setBrush(QColor(200, 204, 212));
    p.drawRoundedRect(body, 5, 5);
    p.setBrush(QColor(90, 120, 160));
    p.drawRect(QRectF(18, 12, 22, 26));
    p.setBrush(QColor(120, 120, 130));
    for (int row = 0; row < 2; ++row)
        for (int col = 0; col < 3; ++col)
            p.drawRect(QRectF(19 + col * 7, 42 + row * 6, 5, 3));
    // The cable the image went down.
    p.setPen(QPen(QColor(60, 60, 70), 2));
    p.drawLine(QPointF(44, 30), QPointF(58, 30));
}

QPixmap paintPicture(const QColor& badge, bool tick) {
    QPixmap picture(kPictureWidth, kPictureHeight);
    picture.fill(Qt::white);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    paintDevice(p);

    const QRectF circle(58, 10, 40, 40);
    p.setPen(Qt::NoPen);
    p.setBrush(badge);
    p.drawEllipse(circle);
    p.setPen(QPen(Qt::white, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    if (tick) {
        QPainterPath path;
        path.moveTo(68, 31);
        path.lineTo(76, 39);
        path.lineTo(89, 21);
        p.drawPath(path);
    } else {
        p.drawLine(QPointF(69, 21), QPointF(87, 39));
        p.drawLine(QPointF(87, 21), QPointF(69, 39));
    }
    return picture;
}

} // namespace

QPixmap normalEndPicture() {
    return paintPicture(QColor(40, 150, 60), true);
}

QPixmap errorEndPicture() {
    return paintPicture(QColor(200, 40, 40), false);
}

} // namespace pexo::gui
