#include "gui/app/CMainFrame.h"

#include "gui/app/AboutDialog.h"
#include "gui/app/AppTexts.h"
#include "gui/app/CUStatusBar.h"
#include "gui/app/MessageBox.h"
#include "gui/app/QueuedCall.h"
#include "gui/app/Resources.h"
#include "gui/app/WindowPlacement.h"
#include "gui/download/DownloadCommand.h"
#include "gui/image/CPexoDoc.h"
#include "gui/image/CPexoView.h"
#include "gui/settings/CUParameterSettingsDialog.h"
#include "gui/settings/CURS232CSettingsDialog.h"
#include "gui/station/StationWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QIcon>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QScreen>
#include <QShortcut>
#include <QStatusTipEvent>
#include <QThread>
#include <QTimerEvent>
#include <QToolBar>
#include <QUrl>
#include <algorithm>
#include <future>
#include <limits>
#include <memory>
#include <new>

namespace pexo::gui {
namespace {

QString fromLocal(std::string_view text) {
    return QFile::decodeName(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
}

int progressValue(std::uint32_t value) {
    return static_cast<int>(std::min<std::uint32_t>(value, std::numeric_limits<int>::max()));
}

// The first local file of a drop; the window holds one image, so one file is opened.
QString firstDroppedFile(const QMimeData* data) {
    if (!data || !data->hasUrls())
        return {};
    for (const QUrl& url : data->urls())
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            return url.toLocalFile();
    return {};
}

} // namespace

CMainFrame::CMainFrame(QWidget* parent)
    : QMainWindow(parent), m_dlgRS232C(new CURS232CSettingsDialog(this)),
      m_dlgParameter(new CUParameterSettingsDialog(this)), m_wndStatusBar(new CUStatusBar(this)),
      m_view(new CPexoView(this)) {
    registerGuiResources();
    setObjectName(QStringLiteral("mainFrame"));
    setWindowIcon(QIcon(QStringLiteral(":/pexo/icons/pexo.png")));
    setDocumentTitle(QString::fromLatin1(texts::kUntitled));
    PlaceWindowOnScreen();

    createActions();
    createMenus();
    createToolBar();
    createShortcuts();
    setStatusBar(m_wndStatusBar);
    m_wndStatusBar->setMessageText(QString::fromLatin1(texts::kReady));
    setCentralWidget(m_view);

    // Without a context every download stops at its first step with "Parameter data set
    // failed.", which is the report this failure gets.
    m_context.reset(new (std::nothrow) DownloadContext);
    OnUpdateDownload();
}

CMainFrame::~CMainFrame() {
    // The context closes the port if a download left it open.
    m_context.reset();
    StopReleaseTimer();
}

void CMainFrame::PlaceWindowOnScreen() {
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect placed = placedGeometry(screen->geometry());
    move(placed.topLeft());
    resize(placed.size());
}

void CMainFrame::createActions() {
    auto makeAction = [this](const char* text, const char* prompt, const char* name) {
        auto* action = new QAction(QString::fromLatin1(text), this);
        action->setObjectName(QLatin1String(name));
        if (prompt) {
            action->setStatusTip(QString::fromLatin1(prompt));
            action->setToolTip(QString::fromLatin1(prompt));
        }
        return action;
    };
    m_actOpen = makeAction(texts::kItemOpen, texts::kPromptOpen, "actionOpen");
    m_actOpen->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    m_actOpen->setIcon(QIcon(QStringLiteral(":/pexo/icons/open.png")));
    connect(m_actOpen, &QAction::triggered, this, &CMainFrame::OnFileOpen);

    m_actExit = makeAction(texts::kItemExit, texts::kPromptExit, "actionExit");
    connect(m_actExit, &QAction::triggered, this, &QWidget::close);

    m_actRs232c = makeAction(texts::kItemRs232c, texts::kPromptRs232c, "actionRs232c");
    connect(m_actRs232c, &QAction::triggered, this, &CMainFrame::OnRS232CSettings);

    m_actParameter = makeAction(texts::kItemParameter, texts::kPromptParameter, "actionParameter");
    connect(m_actParameter, &QAction::triggered, this, &CMainFrame::OnParameterSettings);

    m_actAbout = makeAction(texts::kItemAbout, texts::kPromptAbout, "actionAbout");
    connect(m_actAbout, &QAction::triggered, this, &CMainFrame::OnAppAbout);

    m_actStation = makeAction(texts::kItemStation, texts::kPromptStation, "actionStation");
    connect(m_actStation, &QAction::triggered, this, &CMainFrame::OnStation);

    // Checkable only so that the button shows pressed while a download runs.
    m_actDownload = makeAction(texts::kItemDownload, texts::kPromptDownload, "actionDownload");
    m_actDownload->setIcon(QIcon(QStringLiteral(":/pexo/icons/download.png")));
    m_actDownload->setCheckable(true);
    connect(m_actDownload, &QAction::triggered, this, &CMainFrame::OnDownloadButton);
}

void CMainFrame::createMenus() {
    QMenuBar* bar = menuBar();
    QMenu* file = bar->addMenu(QString::fromLatin1(texts::kMenuFile));
    file->addAction(m_actOpen);
    file->addSeparator();
    file->addAction(m_actExit);
    QMenu* port = bar->addMenu(QString::fromLatin1(texts::kMenuPort));
    port->addAction(m_actRs232c);
    port->addAction(m_actStation);
    bar->addMenu(QString::fromLatin1(texts::kMenuOption))->addAction(m_actParameter);
    bar->addMenu(QString::fromLatin1(texts::kMenuHelp))->addAction(m_actAbout);
}

void CMainFrame::createToolBar() {
    m_wndToolBar = new QToolBar(this);
    m_wndToolBar->setObjectName(QStringLiteral("toolBar"));
    m_wndToolBar->setMovable(false);
    m_wndToolBar->setFloatable(false);
    m_wndToolBar->setIconSize(QSize(21, 20));
    m_wndToolBar->addAction(m_actOpen);
    m_wndToolBar->addAction(m_actDownload);
    addToolBar(Qt::TopToolBarArea, m_wndToolBar);
}

void CMainFrame::createShortcuts() {
    // The menu items name their keys in their texts, so the keys are bound here rather than
    // on the actions (which would show them a second time).
    const struct {
        QKeySequence key;
        void (CMainFrame::*handler)();
    } keys[] = {
        {QKeySequence(Qt::Key_F3), &CMainFrame::OnRS232CSettings},
        {QKeySequence(Qt::Key_F4), &CMainFrame::OnParameterSettings},
        {QKeySequence(Qt::Key_F5), &CMainFrame::OnDownloadKey},
        {QKeySequence(Qt::Key_F6), &CMainFrame::OnStation},
    };
    for (const auto& k : keys) {
        auto* shortcut = new QShortcut(k.key, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, k.handler);
    }
}

QMenu* CMainFrame::createPopupMenu() {
    // The toolbar is fixed: no menu to hide it.
    return nullptr;
}

void CMainFrame::setDocumentTitle(const QString& title) {
    // "[*]" would be taken for the modified marker and vanish from a path.
    QString shown = title;
    shown.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    setWindowTitle(shown + QString::fromLatin1(texts::kTitleSeparator) +
                   QString::fromLatin1(texts::kAppTitle));
}

// --- Host --------------------------------------------------------------------------------

void CMainFrame::showMessage(std::string_view text, MessageIcon icon) {
    const QString message = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    if (QThread::currentThread() == thread()) {
        showMessageBox(this, message, icon);
        return;
    }
    // Handed over with a promise rather than a blocking queued call, whose hand-back goes
    // through Qt's own futexes where the race checker cannot see it. Should the window go
    // before the box could be shown, the broken promise releases the caller all the same.
    auto shown = std::make_shared<std::promise<void>>();
    std::future<void> acknowledged = shown->get_future();
    queueCall(this, [this, message, icon, shown] {
        showMessageBox(this, message, icon);
        shown->set_value();
    });
    acknowledged.wait();
}

std::span<const std::uint8_t> CMainFrame::imageBytes() const {
    if (!m_pDocument || m_szImageFile.empty())
        return {};
    return m_pDocument->image().image();
}

// --- ExtractionProgress ------------------------------------------------------------------

void CMainFrame::setStatusText(std::string_view text) {
    m_wndStatusBar->setMessageText(fromLocal(text));
}

void CMainFrame::setWindowEnabled(bool enabled) {
    setEnabled(enabled);
    if (enabled)
        OnUpdateDownload();
}

void CMainFrame::showProgress(std::optional<std::string_view> text, bool show) {
    std::optional<QString> shown;
    if (text)
        shown = fromLocal(*text);
    m_wndStatusBar->ShowProgress(shown, show);
}

void CMainFrame::setProgressRange(std::uint32_t upper) {
    m_wndStatusBar->progressBar()->setRange(0, progressValue(upper));
}

void CMainFrame::setProgressPosition(std::uint32_t position) {
    m_wndStatusBar->progressBar()->setValue(progressValue(position));
}

// --- Commands ----------------------------------------------------------------------------

void CMainFrame::OnFileOpen() {
    emit openRequested();
}

void CMainFrame::OnRS232CSettings() {
    if (m_dlgRS232C->exec() == QDialog::Accepted && !m_dlgRS232C->saveUserSettings())
        showSettingsNotSaved(this);
}

void CMainFrame::OnParameterSettings() {
    if (m_dlgParameter->exec() == QDialog::Accepted && !m_dlgParameter->saveUserSettings())
        showSettingsNotSaved(this);
}

void CMainFrame::OnAppAbout() {
    AboutDialog about(this);
    about.exec();
}

void CMainFrame::OnStation() {
    if (!m_station)
        m_station = new StationWindow(*this, m_pDocument ? m_pDocument->archiver() : nullptr);
    m_station->show();
    m_station->raise();
    m_station->activateWindow();
}

void CMainFrame::noteImageChanged() {
    emit imageChanged();
}

StationWindow* CMainFrame::stationWindow() const {
    return m_station;
}

void CMainFrame::setStationRunning(bool running) {
    m_bStationRunning = running;
    OnUpdateDownload();
}

void CMainFrame::OnDownloadKey() {
    if (m_bDownloading)
        return;
    if (!m_szImageFile.empty())
        postDownloadCommand();
    else
        QMetaObject::invokeMethod(this, &CMainFrame::OnFileOpen, Qt::QueuedConnection);
}

void CMainFrame::OnUpdateDownload() {
    if (m_bDownloading) {
        m_actDownload->setChecked(true);
        return;
    }
    m_actDownload->setChecked(false);
    m_actDownload->setEnabled(!m_szImageFile.empty() && !m_bStationRunning);
}

void CMainFrame::postDownloadCommand() {
    QMetaObject::invokeMethod(this, &CMainFrame::executeDownloadCommand, Qt::QueuedConnection);
}

void CMainFrame::executeDownloadCommand() {
    OnUpdateDownload();
    if (!m_actDownload->isEnabled() || m_inDownload)
        return;
    runDownload();
}

void CMainFrame::OnDownloadButton() {
    // A click toggles the check mark; the download state decides it.
    OnUpdateDownload();
    if (!m_inDownload && !m_bStationRunning)
        runDownload();
}

void CMainFrame::runDownload() {
    m_inDownload = true;
    emit downloadStateChanged();
    OnDownload();
    m_inDownload = false;
    OnUpdateDownload();
    emit downloadStateChanged();
}

void CMainFrame::OnDownload() {
    emit downloadRequested();
    DownloadCommand(*this).run();
}

void CMainFrame::setDownloading(bool downloading) {
    m_bDownloading = downloading;
    OnUpdateDownload();
    if (m_wndToolBar->isVisible())
        m_wndToolBar->repaint();
    emit downloadStateChanged();
}

int CMainFrame::StartReleaseTimer(unsigned interval) {
    if (m_nTimerId != 0)
        return m_nTimerId;
    if (interval != 0)
        m_nTimerInterval = interval;
    m_nTimerId = startTimer(static_cast<int>(std::min<unsigned>(
        m_nTimerInterval, static_cast<unsigned>(std::numeric_limits<int>::max()))));
    return m_nTimerId;
}

int CMainFrame::StopReleaseTimer() {
    if (m_nTimerId == 0)
        return 1;
    killTimer(m_nTimerId);
    m_nTimerId = 0;
    m_nTimerInterval = 0;
    return 1;
}

void CMainFrame::timerEvent(QTimerEvent* event) {
    if (m_nTimerId != 0 && event->timerId() == m_nTimerId) {
        StopReleaseTimer();
        setDownloading(false);
        return;
    }
    QMainWindow::timerEvent(event);
}

// --- Events ------------------------------------------------------------------------------

bool CMainFrame::event(QEvent* event) {
    // Menu and toolbar prompts go into the one message pane; "Ready" when they end.
    if (event->type() == QEvent::StatusTip) {
        const QString tip = static_cast<QStatusTipEvent*>(event)->tip();
        m_wndStatusBar->setMessageText(tip.isEmpty() ? QString::fromLatin1(texts::kReady) : tip);
        return true;
    }
    return QMainWindow::event(event);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (!m_station || !m_station->isRunning()) {
        QMainWindow::closeEvent(event);
        return;
    }
    event->ignore();
    if (m_closeAfterStation)
        return;
    m_closeAfterStation = true;
    m_wndStatusBar->setMessageText(QStringLiteral("Stopping the production station..."));
    connect(m_station, &StationWindow::stationEnded, this, &QWidget::close,
            static_cast<Qt::ConnectionType>(Qt::QueuedConnection | Qt::SingleShotConnection));
    m_station->stopForQuit();
}

bool CMainFrame::acceptsDrops() const {
    // Nothing is opened under a running download or while another window is modal.
    return isEnabled() && !m_inDownload && !QApplication::activeModalWidget();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (acceptsDrops() && !firstDroppedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void CMainFrame::dropEvent(QDropEvent* event) {
    const QString path = firstDroppedFile(event->mimeData());
    if (!acceptsDrops() || path.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    // Opened once the drop has ended: the open shows message boxes, which must not run
    // while the desktop still waits for the drop to finish.
    QMetaObject::invokeMethod(
        this, [this, path] { emit fileDropped(path); }, Qt::QueuedConnection);
}

} // namespace pexo::gui
