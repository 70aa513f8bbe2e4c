#pragma once

#include "core/app/Host.h"
#include "core/image/ExtractionProgress.h"
#include "core/protocol/DownloadContext.h"

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>

class QAction;
class QMenu;
class QToolBar;

namespace pexo::gui {

class CPexoDoc;
class CPexoView;
class CUParameterSettingsDialog;
class CURS232CSettingsDialog;
class CUStatusBar;
class StationWindow;

// The program's only top-level window: menu, two-button toolbar, one-pane status bar with the
// extraction progress, an empty view. It owns the two settings dialogs (and with them the
// settings in force), the name and length of the loaded image and the download context, and
// is the host the core's open and download code talk to.
class CMainFrame : public QMainWindow, public Host, public ExtractionProgress {
    Q_OBJECT
public:
    static constexpr unsigned kReleaseInterval = 500; // ms after a download before F5 works again

    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    // The document whose image this window sends; set once by the application.
    void setDocument(CPexoDoc* document) { m_pDocument = document; }
    CPexoDoc* document() const { return m_pDocument; }
    // The caption: the document title, " - ", "Pexo".
    void setDocumentTitle(const QString& title);

    // --- Host ------------------------------------------------------------------------------
    DownloadContext* downloadContext() override { return m_context.get(); }
    // Modal message box; from another thread it waits until the box has been closed.
    void showMessage(std::string_view text, MessageIcon icon) override;
    std::string& imageFile() override { return m_szImageFile; }
    std::uint32_t& imageSize() override { return m_dwImageSize; }
    std::span<const std::uint8_t> imageBytes() const override;

    // --- ExtractionProgress: the status bar and the disabled window while unpacking ----------
    void setStatusText(std::string_view text) override;
    void setWindowEnabled(bool enabled) override;
    void showProgress(std::optional<std::string_view> text, bool show) override;
    void setProgressRange(std::uint32_t upper) override;
    void setProgressPosition(std::uint32_t position) override;

    // --- The Download command's state ---------------------------------------------------------
    // Checked while downloading (enabled state left as it was); otherwise unchecked and
    // enabled exactly when an image is loaded. Call after anything that changes either.
    void OnUpdateDownload();
    // Queues the Download command, as a successful open does. When it comes round it is
    // dropped if the command is disabled or a download is already under way.
    void postDownloadCommand();
    bool isDownloading() const { return m_bDownloading; }
    // The Download command is running or holds its port (until the release timer has run).
    bool downloadInUse() const { return m_bDownloading || m_inDownload; }
    // The production station has the ports: the Download command is off meanwhile.
    void setStationRunning(bool running);
    bool isStationRunning() const { return m_bStationRunning; }
    // Tells the windows that show the image that another one was opened (or none).
    void noteImageChanged();
    // Marks a download running or ended, and redraws the Download button at once.
    void setDownloading(bool downloading);
    // The one-shot release timer: the id of the running timer (0 when it could not be made);
    // a running timer is left alone. StopReleaseTimer returns 1 when no timer runs afterwards.
    int StartReleaseTimer(unsigned interval);
    int StopReleaseTimer();
    int releaseTimerId() const { return m_nTimerId; }

    // The Download command. This window decides when it may run (OnUpdateDownload, F5, the
    // release timer, no second download while one runs); the sequence of connect prompt,
    // progress and result dialogs lives in the body of this function. Its state contract:
    // setDownloading(true) once the port is open, StartReleaseTimer(kReleaseInterval) after it
    // is closed again (setDownloading(false) at once when that returns 0).
    virtual void OnDownload();

    CURS232CSettingsDialog& rs232cDialog() const { return *m_dlgRS232C; }
    CUParameterSettingsDialog& parameterDialog() const { return *m_dlgParameter; }
    CUStatusBar& statusBarWidget() const { return *m_wndStatusBar; }
    QToolBar& toolBarWidget() const { return *m_wndToolBar; }
    QAction* openAction() const { return m_actOpen; }
    QAction* downloadAction() const { return m_actDownload; }
    QAction* stationAction() const { return m_actStation; }
    // The production station window, once it has been opened.
    StationWindow* stationWindow() const;

public slots:
    void OnFileOpen();          // Ctrl+O, menu, toolbar: asks the application to open a file
    void OnRS232CSettings();    // F3
    void OnParameterSettings(); // F4
    void OnDownloadKey();       // F5
    void OnStation();           // F6: opens the production station window, or raises it
    void OnAppAbout();

signals:
    void openRequested();                  // the application shows the file dialog
    void fileDropped(const QString& path); // the application opens it
    void downloadRequested();              // OnDownload ran
    void downloadStateChanged();           // downloadInUse() may have changed
    void imageChanged();

protected:
    bool event(QEvent* event) override;
    // A running station is stopped first; the window closes once its ports are closed.
    void closeEvent(QCloseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    QMenu* createPopupMenu() override;

private:
    void createActions();
    void createMenus();
    void createToolBar();
    void createShortcuts();
    void PlaceWindowOnScreen();
    // The posted Download command: runs unless disabled or already running.
    void executeDownloadCommand();
    // The toolbar button: not filtered by the update handler, only by a running download.
    void OnDownloadButton();
    void runDownload();
    bool acceptsDrops() const;

    CURS232CSettingsDialog* m_dlgRS232C;
    CUParameterSettingsDialog* m_dlgParameter;
    bool m_bDownloading = false;
    std::string m_szImageFile;
    std::uint32_t m_dwImageSize = 0;
    CUStatusBar* m_wndStatusBar;
    QToolBar* m_wndToolBar = nullptr;
    int m_nTimerId = 0;
    unsigned m_nTimerInterval = 0;

    std::unique_ptr<DownloadContext> m_context;
    CPexoDoc* m_pDocument = nullptr;
    CPexoView* m_view;
    // OnDownload is on the stack: its modal dialogs run their own event loops, where a
    // command queued earlier must not start a second download on the open port.
    bool m_inDownload = false;
    bool m_bStationRunning = false;
    bool m_closeAfterStation = false;
    QPointer<StationWindow> m_station;

    QAction* m_actOpen = nullptr;
    QAction* m_actExit = nullptr;
    QAction* m_actRs232c = nullptr;
    QAction* m_actParameter = nullptr;
    QAction* m_actAbout = nullptr;
    QAction* m_actDownload = nullptr;
    QAction* m_actStation = nullptr;
};

} // namespace pexo::gui
