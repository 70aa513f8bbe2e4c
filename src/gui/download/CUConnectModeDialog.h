#pragma once

#include <QDialog>
#include <QTimer>

class QLabel;
class QPushButton;

namespace pexo {
class DownloadSession;
}

namespace pexo::gui {

// "Connect Mode": polls the device with the connect byte until it echoes, and lets the
// operator continue once it has. The port is open while it runs; closing it is the caller's.
class CUConnectModeDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kContinue = 1021;
    static constexpr int kCancel = 2;

    explicit CUConnectModeDialog(DownloadSession& session, QWidget* parent = nullptr);
    ~CUConnectModeDialog() override;

    QPushButton* continueButton() const { return m_continue; }
    QPushButton* cancelButton() const { return m_cancel; }
    QLabel* messageLabel() const { return m_message; }
    // The poll period in ms while polling, 0 otherwise.
    int pollPeriod() const { return m_timer.isActive() ? m_timer.interval() : 0; }

public slots:
    void reject() override; // "Cancel(ESC)", Escape, Enter before the echo

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void OnTimer();
    void OnContinue();
    void enableContinue();

    DownloadSession& m_session;
    QLabel* m_message;
    QPushButton* m_continue;
    QPushButton* m_cancel;
    QTimer m_timer;
    bool m_pollStarted = false;
};

} // namespace pexo::gui
