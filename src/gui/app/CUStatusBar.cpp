#include "gui/app/CUStatusBar.h"

#include <QFontMetrics>
#include <QLabel>
#include <QProgressBar>

namespace pexo::gui {

CUStatusBar::CUStatusBar(QWidget* parent)
    : QStatusBar(parent), m_pane(new QLabel(this)), m_progress(new QProgressBar(this)) {
    setObjectName(QStringLiteral("statusBar"));
    // A long archive path must not widen the window: the pane cuts it off instead.
    m_pane->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_pane->setTextFormat(Qt::PlainText);
    m_pane->setObjectName(QStringLiteral("messagePane"));
    addWidget(m_pane, 1);

    // Not in the bar's layout: ShowProgress places it by hand.
    m_progress->setObjectName(QStringLiteral("extractionProgress"));
    m_progress->setTextVisible(false);
    m_progress->setGeometry(0, 0, 0, 0);
    m_progress->hide();
}

void CUStatusBar::setMessageText(const QString& text) {
    m_pane->setText(text);
    if (m_pane->isVisible())
        m_pane->repaint();
}

QString CUStatusBar::messageText() const {
    return m_pane->text();
}

QRect CUStatusBar::paneRect() const {
    return m_pane->geometry();
}

void CUStatusBar::ShowProgress(const std::optional<QString>& text, bool show) {
    if (!show) {
        m_progress->setValue(0);
        m_progress->hide();
        repaint();
        setMessageText(QString());
        return;
    }
    const int textWidth = text ? QFontMetrics(m_pane->font()).horizontalAdvance(*text) : 0;
    if (text)
        setMessageText(*text);
    const QRect pane = paneRect();
    const int x = pane.left() + textWidth + kProgressGap;
    const int width = pane.left() + pane.width() - x;
    if (width <= 0) {
        m_progress->hide();
        return;
    }
    m_progress->setGeometry(x, pane.top(), width, pane.height());
    m_progress->show();
    m_progress->repaint();
}

} // namespace pexo::gui
