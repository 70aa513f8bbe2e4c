#pragma once

#include "core/download/ProgressModel.h"
#include "core/protocol/Completion.h"

#include <QDialog>
#include <QTimer>
#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;

namespace pexo {
class DownloadSession;
class Host;
} // namespace pexo

namespace pexo::gui {

class CompletionRelay;

// "Download": runs the protocol thread of one download and shows, once a second, the elapsed
// time, the protocol step and how far the image has gone. Ends with 1 (normal end),
// 2 (cancelled, or aborted by the protocol thread) or 3 (error end, the cause in the
// context's resultCode). It never returns while the protocol thread still runs.
class CUDownloadDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kNormalEnd = 1;
    static constexpr int kCancelled = 2;
    static constexpr int kErrorEnd = 3;
    static constexpr int kRefreshPeriod = 1000; // ms

    // `host` gives the context and the image length; the session has its port open and has
    // run the connect poll.
    CUDownloadDialog(DownloadSession& session, Host& host, QWidget* parent = nullptr);
    ~CUDownloadDialog() override;

    // Runs the dialog. Whatever ends the modal loop, the protocol thread has ended when it
    // returns, and the result is 1, 2 or 3.
    int exec() override;

    QLabel* percentLabel() const { return m_percent; }
    QLabel* processLabel() const { return m_process; }
    QLabel* elapsedLabel() const { return m_elapsed; }
    QProgressBar* progressBar() const { return m_bar; }
    QPushButton* cancelButton() const { return m_cancel; }
    bool protocolStarted() const { return m_started; }
    // True once the end sequence has run (the result is then fixed).
    bool ended() const { return m_ended; }

    // One refresh of the display, as the timer does it.
    void refresh();

public slots:
    void reject() override; // "Cancel(ESC)", Escape, Enter

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void start();
    void OnCompletion(CompletionCommand command);
    void end(int result);
    void waitForProtocolThread();

    DownloadSession& m_session;
    Host& m_host;
    ProgressModel m_model;
    QLabel* m_downloading;
    QPushButton* m_cancel;
    QLabel* m_percent;
    QProgressBar* m_bar;
    QLabel* m_process;
    QLabel* m_elapsed;
    QTimer m_timer;
    std::shared_ptr<CompletionRelay> m_relay;
    bool m_started = false;
    bool m_ended = false;
    int m_result = kCancelled;
};

} // namespace pexo::gui
