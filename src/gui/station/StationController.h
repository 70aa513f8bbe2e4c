#pragma once

#include "core/settings/CommSettings.h"
#include "core/settings/ProtocolParameters.h"
#include "core/station/PortMachine.h"
#include "core/station/RecordLog.h"
#include "core/station/Station.h"
#include "gui/station/StationImage.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pexo {
class SessionPort;
}

namespace pexo::gui {

class StationHost;

// What a station run is given.
struct StationJob {
    std::shared_ptr<const StationImage> image;
    CommSettings comm;
    ProtocolParameters params;
    std::vector<std::string> ports; // device paths, opened as named
    std::string recordFile;
    unsigned retries = 0;
    std::chrono::milliseconds goneAfter{2000};
};

// The station core run for the window: it starts the ports, stops them without waiting, and
// turns what the port threads report into signals on the GUI thread, in the order it
// happened. Every public call and every signal is on the GUI thread.
class StationController : public QObject {
    Q_OBJECT
public:
    explicit StationController(QObject* parent = nullptr);
    // Stops the ports and waits for them: only at the program's end can a run still be going.
    ~StationController() override;

    // Opens the record file and starts every port. The reason when the record file cannot be
    // opened; nothing was started then.
    std::optional<std::string> start(StationJob job);
    // Cancels the downloads in progress (recorded as cancelled) and ends every port; ended()
    // follows once all are closed. Never waits.
    void stop();
    // From start() until ended() has been emitted.
    bool isRunning() const { return m_station != nullptr; }
    bool isStopping() const { return m_stopping; }

    // The last known state of each port of the last run, with the download's progress.
    const std::vector<PortSnapshot>& snapshots() const { return m_snapshots; }
    // From the start to now, or to the end of the last run.
    std::chrono::steady_clock::duration sessionTime() const;

    // How often a download's progress is looked at.
    static constexpr std::chrono::milliseconds kProgressInterval{250};

signals:
    void portChanged(int port, const pexo::PortSnapshot& snapshot);
    void tryEnded(int port, const pexo::DownloadRecord& record);
    void portMessage(int port, const QString& text);
    // The record could not be written; every port stops after its download in progress.
    void recordLost(int port, const QString& record, const QString& why);
    void portEnded(int port, const pexo::PortSummary& summary);
    void progressed(); // the progress of downloads was looked at again
    void ended();      // every port is closed

private:
    class Listener;

    void onPortChanged(std::size_t port, const PortSnapshot& snapshot);
    void onPortFinished(std::size_t port);
    void lookAtProgress();

    SystemStationClock m_clock;
    std::vector<PortSnapshot> m_snapshots;
    std::size_t m_finished = 0;
    bool m_stopping = false;
    std::chrono::steady_clock::time_point m_started{}, m_endedAt{};
    QTimer m_progressTimer;
    std::unique_ptr<Listener> m_listener;

    // Declared in the order they are needed: the station goes first, its ports after it.
    std::unique_ptr<RecordLog> m_log;
    std::vector<std::unique_ptr<StationHost>> m_hosts;
    std::vector<std::unique_ptr<SessionPort>> m_ports;
    std::unique_ptr<Station> m_station;
};

} // namespace pexo::gui
