#pragma once

// Shared by the screenshot tools.

#include <QFontMetrics>
#include <QPainter>
#include <QPixmap>
#include <QWidget>

namespace pexo::gui::tools {

// The virtual X server has no window manager: the window's title is drawn above its picture
// as a plain caption, so that the pictures show it too.
inline QPixmap withCaption(QWidget* window) {
    const QPixmap body = window->grab();
    const QFontMetrics metrics(window->font());
    const int captionHeight = metrics.height() + 10;
    QPixmap framed(body.width(), body.height() + captionHeight);
    framed.fill(window->palette().color(QPalette::Dark));
    QPainter painter(&framed);
    painter.setPen(window->palette().color(QPalette::BrightText));
    painter.setFont(window->font());
    painter.drawText(QRect(8, 0, body.width() - 16, captionHeight), Qt::AlignVCenter,
                     window->windowTitle());
    painter.drawPixmap(0, captionHeight, body);
    return framed;
}

} // namespace pexo::gui::tools
