#include "gui/download/ResultDialog.h"

#include "gui/download/DownloadTexts.h"
#include "gui/download/ResultPictures.h"

#include <QApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace pexo::gui {

ResultDialog::ResultDialog(const QPixmap& picture, Qt::Alignment timeAlignment,
                           const QString& groupTitle, QWidget* parent)
    : QDialog(parent), m_picture(new QLabel(this)), m_time(new QLabel(this)),
      m_done(new QPushButton(QString::fromLatin1(texts::kDone), this)),
      m_group(new QGroupBox(groupTitle, this)), m_playSound([] { QApplication::beep(); }) {
    setWindowTitle(QString::fromLatin1(texts::kStatusTitle));
    // A caption with a close box, and nothing else on it.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setModal(true);

    m_picture->setObjectName(QStringLiteral("pictureLabel"));
    m_picture->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_picture->setPixmap(picture);
    m_picture->setAlignment(Qt::AlignCenter);
    m_picture->setFixedSize(kPictureWidth + 4, kPictureHeight + 4);
    m_time->setObjectName(QStringLiteral("timeLabel"));
    // The lines carry device bytes and system error texts: never read them as markup.
    m_time->setTextFormat(Qt::PlainText);
    m_time->setAlignment(timeAlignment | Qt::AlignVCenter);
    m_time->setMinimumWidth(130);
    m_done->setObjectName(QStringLiteral("doneButton"));
    m_done->setDefault(true);

    auto* lines = new QVBoxLayout(m_group);
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        auto* label = new QLabel(m_group);
        label->setObjectName(QStringLiteral("line%1").arg(i));
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        // The first line is plain; the detail lines sit in sunken frames.
        if (i > 0)
            label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setMinimumHeight(label->fontMetrics().height() + 4);
        lines->addWidget(label);
        m_lines[i] = label;
    }

    auto* grid = new QGridLayout(this);
    grid->addWidget(m_picture, 0, 0);
    grid->addWidget(m_time, 0, 1);
    grid->addWidget(m_done, 0, 2, Qt::AlignTop);
    grid->addWidget(m_group, 1, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setSizeConstraint(QLayout::SetFixedSize);
    m_group->setMinimumWidth(330);

    connect(m_done, &QPushButton::clicked, this, [this] { done(kDone); });
}

void ResultDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    m_done->setFocus();
    if (m_soundsPlayed)
        return;
    m_soundsPlayed = true;
    // The information sound, then the plain beep: the platform has one bell for both.
    if (m_playSound) {
        m_playSound();
        m_playSound();
    }
}

void ResultDialog::reject() {
    done(kClosed);
}

} // namespace pexo::gui
