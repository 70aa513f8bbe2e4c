#pragma once

#include "core/app/Host.h"
#include "core/image/ExtractionProgress.h"
#include "gui/station/StationImage.h"

#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QMessageBox;

namespace pexo {
class Archiver;
struct DownloadRecord;
struct PortSnapshot;
} // namespace pexo

namespace pexo::gui {

class CMainFrame;
class CUStatusBar;
class StationController;
class StationPortList;
class StationTile;

// The production station: the image, the record file, retries and gone-after, the ports to
// use, and one tile per port flashing device after device, with the session's totals. A
// non-modal window of the main window; while it runs the main window's Download command is
// off, and it does not start while that command runs.
class StationWindow : public QWidget, private ExtractionProgress {
    Q_OBJECT
public:
    StationWindow(CMainFrame& frame, Archiver* archiver);
    ~StationWindow() override;

    bool isRunning() const;
    // Unpacks an archive as the station's own image (what Open... does after its file
    // dialog). False, with the archiver's message shown, when it cannot be used.
    bool openArchive(const QString& path);
    // The record file, as Change... sets it; empty for the default one.
    void setRecordFile(const QString& path);
    // Stops a run for the program's end; stationEnded() follows (at once when none runs).
    void stopForQuit();
    // What plays the error sound (the platform's beep unless replaced).
    void setSoundPlayer(std::function<void()> play) { m_playSound = std::move(play); }

    QPushButton* startButton() const { return m_start; }
    QPushButton* stopButton() const { return m_stop; }
    QPushButton* openButton() const { return m_open; }
    QLineEdit* recordFileEdit() const { return m_recordFile; }
    QLineEdit* retriesEdit() const { return m_retries; }
    QLineEdit* goneAfterEdit() const { return m_goneAfter; }
    QLabel* imageLabel() const { return m_imageLine; }
    QLabel* totalsLabel() const { return m_totals; }
    StationPortList& portList() const { return *m_ports; }
    CUStatusBar& statusBarWidget() const { return *m_status; }
    const std::vector<StationTile*>& tiles() const { return m_tiles; }

public slots:
    void OnStart();
    void OnStop();
    void OnOpen();
    void OnChangeRecordFile();

signals:
    void runningChanged(bool running);
    void stationEnded();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QWidget* makeImageRow();
    QWidget* makeRecordRow();
    // The image the next start sends: the station's own, or the main window's.
    std::shared_ptr<const StationImage> imageToSend();
    void showImage();
    void updateCommands();
    // Reads the retries and gone-after boxes; false after telling the operator what is wrong.
    bool readNumbers(unsigned& retries, unsigned& goneAfterMs);
    QString recordFilePath() const;
    void saveSettings(unsigned retries, unsigned goneAfterMs);
    // The ports ticked, kept when the window closes without a start.
    void keepChosenPorts();
    void makeTiles(const std::vector<std::string>& ports);
    void showTotals();
    void onPortChanged(int port, const PortSnapshot& snapshot);
    void onTryEnded(int port, const DownloadRecord& record);
    void onRecordLost(const QString& record, const QString& why);
    void onEnded();
    bool refuse(QLineEdit* box, const QString& message);

    // ExtractionProgress: Open... shows its progress in this window's status bar.
    void setStatusText(std::string_view text) override;
    void setWindowEnabled(bool enabled) override;
    void showProgress(std::optional<std::string_view> text, bool show) override;
    void setProgressRange(std::uint32_t upper) override;
    void setProgressPosition(std::uint32_t position) override;

    CMainFrame& m_frame;
    Archiver* m_archiver;
    std::unique_ptr<StationController> m_controller;
    std::shared_ptr<const StationImage> m_ownImage;   // opened here; none: the main window's
    std::shared_ptr<const StationImage> m_shownImage; // the main window's, as last hashed
    std::function<void()> m_playSound;
    bool m_closeWhenEnded = false;
    bool m_quitting = false;
    QPointer<QMessageBox> m_recordLostBox;

    QLabel* m_imageLine;
    QLabel* m_imageFacts;
    QPushButton* m_open;
    QLineEdit* m_recordFile;
    QPushButton* m_change;
    QLineEdit* m_retries;
    QLineEdit* m_goneAfter;
    StationPortList* m_ports;
    QWidget* m_tileArea;
    QGridLayout* m_tileGrid;
    std::vector<StationTile*> m_tiles;
    QLabel* m_totals;
    QPushButton* m_start;
    QPushButton* m_stop;
    CUStatusBar* m_status;
};

} // namespace pexo::gui
