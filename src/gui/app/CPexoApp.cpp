#include "gui/app/CPexoApp.h"

#include "core/image/ArchiverModule.h"
#include "gui/app/AppTexts.h"
#include "gui/app/ArchiveArgument.h"
#include "gui/app/CMainFrame.h"
#include "gui/app/RecentFileList.h"
#include "gui/image/CPexoDoc.h"

#include <QFileDialog>

namespace pexo::gui {

CPexoApp::CPexoApp(QStringList arguments, FrameFactory makeFrame, QObject* parent)
    : QObject(parent), m_arguments(std::move(arguments)), m_makeFrame(std::move(makeFrame)),
      m_recentFiles(std::make_unique<RecentFileList>(texts::kRecentFileCount)) {}

CPexoApp::~CPexoApp() {
    m_pDocument.reset();
    m_pMainWnd.reset();
    ExitInstance();
}

bool CPexoApp::InitInstance() {
    // A missing module is not reported here: the first open shows what it means.
    m_hArchiver = loadArchiverLibrary();
    m_recentFiles->load();

    m_pMainWnd = m_makeFrame ? m_makeFrame() : std::make_unique<CMainFrame>();
    m_pDocument = std::make_unique<CPexoDoc>(*m_pMainWnd, m_hArchiver.get(), m_recentFiles.get());
    m_pMainWnd->setDocument(m_pDocument.get());
    connect(m_pMainWnd.get(), &CMainFrame::openRequested, this, &CPexoApp::OnFileOpen);
    connect(m_pMainWnd.get(), &CMainFrame::fileDropped, this,
            [this](const QString& path) { OpenDocumentFile(path); });

    // Shown before the command line's archive is opened, so that its unpacking shows in the
    // status bar and a failure has a window to belong to.
    m_pDocument->OnNewDocument();
    m_pMainWnd->show();
    m_pMainWnd->repaint();

    const QString archive = archiveArgument(m_arguments);
    if (!archive.isEmpty() && !OpenDocumentFile(archive))
        return false;
    m_pMainWnd->setAcceptDrops(true);
    return true;
}

void CPexoApp::ExitInstance() {
    // The document's window goes before the module: nothing may call into it afterwards.
    m_hArchiver.reset();
}

CPexoDoc* CPexoApp::OpenDocumentFile(const QString& path) {
    if (!m_pDocument)
        return nullptr;
    m_pDocument->OnNewDocument();
    const bool opened = m_pDocument->OnOpenDocument(path);
    if (opened)
        m_pDocument->SetPathName(path, true);
    m_pMainWnd->OnUpdateDownload();
    m_pMainWnd->noteImageChanged();
    if (!opened)
        return nullptr;
    // Queued: the download starts from the event loop once this open has finished (at
    // start-up, after the main window is shown).
    m_pMainWnd->postDownloadCommand();
    return m_pDocument.get();
}

void CPexoApp::OnFileOpen() {
    if (!m_pMainWnd)
        return;
    const QString path =
        QFileDialog::getOpenFileName(m_pMainWnd.get(), QString::fromLatin1(texts::kOpenTitle),
                                     QString(), QString::fromLatin1(texts::kOpenFilters));
    if (!path.isEmpty())
        OpenDocumentFile(path);
}

} // namespace pexo::gui
