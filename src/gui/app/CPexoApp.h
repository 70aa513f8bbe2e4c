#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace pexo {
class Archiver;
}

namespace pexo::gui {

class CMainFrame;
class CPexoDoc;
class RecentFileList;

// The application: loads the archiver module, builds the main window and the single
// document, opens the archive named on the command line, and turns every successful open
// into a download. One per process, created after the QApplication.
class CPexoApp : public QObject {
    Q_OBJECT
public:
    using FrameFactory = std::function<std::unique_ptr<CMainFrame>()>;

    // `arguments` are the command line's arguments after the program's name. `makeFrame`
    // builds the main window (tests put one in whose download is a stand-in).
    explicit CPexoApp(QStringList arguments, FrameFactory makeFrame = {},
                      QObject* parent = nullptr);
    ~CPexoApp() override;
    CPexoApp(const CPexoApp&) = delete;
    CPexoApp& operator=(const CPexoApp&) = delete;

    // Start-up. False when the archive named on the command line could not be opened (the
    // open has told the operator why): the program then ends without its event loop.
    bool InitInstance();
    // Shutdown: unloads the archiver module. Safe to call more than once.
    void ExitInstance();

    // Every open passes through here: the document is reset, the archive unpacked and the
    // image read; on success the Download command is queued. Null when the open failed.
    CPexoDoc* OpenDocumentFile(const QString& path);

    CMainFrame* mainFrame() const { return m_pMainWnd.get(); }
    CPexoDoc* document() const { return m_pDocument.get(); }
    Archiver* archiver() const { return m_hArchiver.get(); }
    const RecentFileList& recentFiles() const { return *m_recentFiles; }

public slots:
    // The Open command: the file dialog, then OpenDocumentFile.
    void OnFileOpen();

private:
    QStringList m_arguments;
    FrameFactory m_makeFrame;
    std::unique_ptr<Archiver> m_hArchiver;
    std::unique_ptr<RecentFileList> m_recentFiles;
    std::unique_ptr<CMainFrame> m_pMainWnd;
    std::unique_ptr<CPexoDoc> m_pDocument;
};

} // namespace pexo::gui
