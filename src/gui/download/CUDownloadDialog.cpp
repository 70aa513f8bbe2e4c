#include "gui/download/CUDownloadDialog.h"

#include "core/app/Host.h"
#include "core/download/DownloadSession.h"
#include "core/protocol/ResultTexts.h"
#include "gui/download/CompletionRelay.h"
#include "gui/download/DownloadTexts.h"
#include "gui/settings/DialogFrame.h"

#include <QCoreApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <limits>

namespace pexo::gui {
namespace {

// How long the GUI thread blocks at a time while it waits for the protocol thread to end;
// events are served in between, so a message box the thread asks for can still be shown.
constexpr std::chrono::milliseconds kEndWaitSlice{5};

int barValue(std::uint32_t value) {
    return static_cast<int>(std::min<std::uint32_t>(value, std::numeric_limits<int>::max()));
}

QLabel* sunkenLabel(const QString& text, Qt::Alignment alignment, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setAlignment(alignment);
    label->setMargin(3);
    return label;
}

} // namespace

CUDownloadDialog::CUDownloadDialog(DownloadSession& session, Host& host, QWidget* parent)
    : QDialog(parent), m_session(session), m_host(host), m_model(host.imageSize()) {
    setObjectName(QStringLiteral("downloadDialog"));
    setWindowTitle(QString::fromLatin1(texts::kDownloadTitle));
    setCaptionWithoutCloseBox(this);
    setModal(true);

    m_downloading = sunkenLabel(QString::fromLatin1(texts::kDownloading),
                                Qt::AlignLeft | Qt::AlignVCenter, this);
    m_cancel = new QPushButton(QString::fromLatin1(texts::kCancelEsc), this);
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    // Not the default button, not even while it has the focus (an auto-default button would
    // be drawn as one); Enter still ends the run, see keyPressEvent.
    m_cancel->setAutoDefault(false);
    m_percent = sunkenLabel(QString::fromStdString(m_model.percentText()), Qt::AlignCenter, this);
    m_percent->setObjectName(QStringLiteral("percentLabel"));
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("progressBar"));
    m_bar->setTextVisible(false);
    // A maximum of 0 would turn the bar into a busy indicator; a short image keeps it still.
    m_bar->setRange(0, std::max(1, barValue(m_model.barMaximum())));
    m_bar->setValue(0);
    m_bar->setMinimumWidth(330);
    auto* group = new QGroupBox(QString::fromLatin1(texts::kProtocolInfo), this);
    m_process = new QLabel(group);
    m_process->setObjectName(QStringLiteral("processLabel"));
    m_process->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_process->setMinimumHeight(m_process->fontMetrics().height() + 6);
    m_elapsed = new QLabel(QString::fromLatin1(texts::kElapsedZero), this);
    m_elapsed->setObjectName(QStringLiteral("elapsedLabel"));
    m_elapsed->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    auto* top = new QHBoxLayout;
    top->addWidget(m_downloading, 1);
    top->addSpacing(40);
    top->addWidget(m_cancel);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(m_process);
    auto* outer = new QVBoxLayout(this);
    outer->addLayout(top);
    outer->addSpacing(6);
    outer->addWidget(m_percent);
    outer->addWidget(m_bar);
    outer->addWidget(group);
    outer->addWidget(m_elapsed);
    outer->setSizeConstraint(QLayout::SetFixedSize);

    m_timer.setInterval(kRefreshPeriod);
    connect(&m_timer, &QTimer::timeout, this, &CUDownloadDialog::refresh);
    connect(m_cancel, &QPushButton::clicked, this, &CUDownloadDialog::reject);
    // The elapsed time counts from here, the dialog's creation.
    m_session.startClock();
}

CUDownloadDialog::~CUDownloadDialog() {
    // Normally the end sequence has run. If not, the thread must at least not reach a
    // destroyed dialog; the session joins it before the port closes.
    if (m_relay)
        m_relay->detach();
    if (!m_ended)
        m_session.requestStop();
}

void CUDownloadDialog::keyPressEvent(QKeyEvent* event) {
    // The focus rests on "Cancel(ESC)", the only control that takes it: Enter presses it.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        reject();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CUDownloadDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    m_cancel->setFocus();
    if (!m_started && !m_ended)
        start();
}

void CUDownloadDialog::start() {
    // Without a context there is nothing to run: the dialog waits for Cancel.
    if (!m_host.downloadContext())
        return;
    m_started = true;
    m_relay = std::make_shared<CompletionRelay>(
        this, [this](CompletionCommand command) { OnCompletion(command); });
    m_session.startProtocol(CompletionRelay::sinkFor(m_relay));
    m_timer.start();
}

void CUDownloadDialog::refresh() {
    m_elapsed->setText(QString::fromStdString(durationText(m_session.elapsedSeconds())));
    if (const DownloadContext* ctx = m_host.downloadContext()) {
        m_model.update(*ctx);
        m_bar->setValue(barValue(m_model.barPosition()));
    }
    m_percent->setText(QString::fromStdString(m_model.percentText()));
    m_process->setText(QString::fromStdString(m_model.processLine()));
}

int CUDownloadDialog::exec() {
    const int result = QDialog::exec();
    // The modal loop can also end from outside (the application quitting): the run ends as
    // a Cancel does, so the thread is gone all the same.
    if (!m_ended)
        end(kCancelled);
    return m_ended ? m_result : result;
}

void CUDownloadDialog::OnCompletion(CompletionCommand command) {
    switch (command) {
    case CompletionCommand::Success:
        end(kNormalEnd);
        break;
    case CompletionCommand::Failed:
        end(kErrorEnd);
        break;
    case CompletionCommand::Aborted:
        end(kCancelled);
        break;
    }
}

void CUDownloadDialog::reject() {
    end(kCancelled);
}

void CUDownloadDialog::end(int result) {
    // The first end decides; a completion queued behind a Cancel is dropped here.
    if (m_ended)
        return;
    m_ended = true;
    m_result = result;
    m_timer.stop();
    waitForProtocolThread();
    m_session.finishProtocol();
    if (m_relay)
        m_relay->detach();
    done(result);
}

void CUDownloadDialog::waitForProtocolThread() {
    m_session.requestStop();
    // The thread may be waiting for this thread to show a message box; serving events while
    // waiting lets it finish instead of deadlocking.
    while (!m_session.waitForProtocolEnd(kEndWaitSlice))
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace pexo::gui
