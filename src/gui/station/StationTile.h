#pragma once

#include "core/station/DownloadRecord.h"
#include "core/station/PortMachine.h"

#include <QFrame>
#include <QString>

class QLabel;
class QProgressBar;

namespace pexo::gui {

// One port of the station at a glance: its name and description, where it stands, how the
// last device went (green when it passed, red when it failed, until the next device starts;
// a failure's detail in the tool tip), a progress bar, and its count of devices.
class StationTile : public QFrame {
    Q_OBJECT
public:
    enum class Verdict { None, Passed, Failed };

    StationTile(const QString& port, const QString& description, QWidget* parent = nullptr);

    void showSnapshot(const PortSnapshot& snapshot);
    void showTry(const DownloadRecord& record);
    // The port's last word (why it could not be opened, what it refused).
    void showMessage(const QString& text);
    void showEnd(const PortSummary& summary);

    Verdict verdict() const { return m_verdict; }
    QString port() const { return m_port; }
    QLabel* stateLabel() const { return m_state; }
    QLabel* resultLabel() const { return m_result; }
    QLabel* countsLabel() const { return m_counts; }
    QProgressBar* progressBar() const { return m_progress; }

private:
    void setVerdict(Verdict verdict, const QString& text, const QString& detail);
    QString endText(PortEnd end) const;

    const QString m_port;
    QLabel* m_state;
    QLabel* m_result;
    QLabel* m_counts;
    QProgressBar* m_progress;
    Verdict m_verdict = Verdict::None;
    bool m_opened = false;
    unsigned m_tries = 0;
    QString m_lastMessage;
};

} // namespace pexo::gui
