#include "gui/download/CUConnectModeDialog.h"

#include "core/download/DownloadSession.h"
#include "gui/download/DownloadTexts.h"
#include "gui/settings/DialogFrame.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace pexo::gui {

CUConnectModeDialog::CUConnectModeDialog(DownloadSession& session, QWidget* parent)
    : QDialog(parent), m_session(session),
      m_message(new QLabel(QString::fromLatin1(texts::kConnectMessage), this)),
      m_continue(new QPushButton(QString::fromLatin1(texts::kContinue), this)),
      m_cancel(new QPushButton(QString::fromLatin1(texts::kCancelEsc), this)) {
    setObjectName(QStringLiteral("connectModeDialog"));
    setWindowTitle(QString::fromLatin1(texts::kConnectTitle));
    setCaptionWithoutCloseBox(this);
    setModal(true);

    m_message->setObjectName(QStringLiteral("connectMessage"));
    m_message->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_message->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_message->setMargin(6);
    m_message->setMinimumWidth(240);
    m_continue->setObjectName(QStringLiteral("continueButton"));
    m_cancel->setObjectName(QStringLiteral("cancelButton"));

    // Until the device answers, Enter must cancel rather than fall on the disabled button.
    m_continue->setEnabled(false);
    m_continue->setAutoDefault(false);
    m_cancel->setDefault(true);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(m_continue);
    buttons->addWidget(m_cancel);
    auto* outer = new QHBoxLayout(this);
    outer->addWidget(m_message, 1);
    outer->addLayout(buttons);
    outer->setSizeConstraint(QLayout::SetFixedSize);

    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &CUConnectModeDialog::OnTimer);
    connect(m_continue, &QPushButton::clicked, this, &CUConnectModeDialog::OnContinue);
    connect(m_cancel, &QPushButton::clicked, this, &CUConnectModeDialog::reject);
}

CUConnectModeDialog::~CUConnectModeDialog() = default;

void CUConnectModeDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    m_cancel->setFocus();
    if (m_pollStarted)
        return;
    m_pollStarted = true;
    m_session.beginConnectPoll();
    m_timer.start(m_session.pollInterval());
}

void CUConnectModeDialog::hideEvent(QHideEvent* event) {
    // Nothing may go out on the line once the prompt is gone: the protocol follows.
    m_timer.stop();
    QDialog::hideEvent(event);
}

void CUConnectModeDialog::OnTimer() {
    if (m_session.pollTick() && !m_continue->isEnabled())
        enableContinue();
}

void CUConnectModeDialog::enableContinue() {
    m_continue->setEnabled(true);
    m_cancel->setDefault(false);
    m_continue->setAutoDefault(true);
    m_continue->setDefault(true);
    m_continue->setFocus();
    m_continue->update();
}

void CUConnectModeDialog::OnContinue() {
    if (!m_continue->isEnabled())
        return;
    m_timer.stop();
    done(kContinue);
}

void CUConnectModeDialog::reject() {
    m_timer.stop();
    done(kCancel);
}

} // namespace pexo::gui
