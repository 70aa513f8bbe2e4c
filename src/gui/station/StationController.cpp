#include "gui/station/StationController.h"

#include "core/station/RecordBase.h"
#include "core/station/SessionPort.h"
#include "gui/app/QueuedCall.h"
#include "gui/station/StationHost.h"

namespace pexo::gui {

// What the port threads report, queued to the GUI thread; a port thread never waits here.
class StationController::Listener : public StationListener {
public:
    explicit Listener(StationController& owner) : m_owner(owner) {}

    void portChanged(std::size_t port, const PortSnapshot& snapshot) override {
        post([port, snapshot](StationController& c) { c.onPortChanged(port, snapshot); });
    }
    void tryEnded(std::size_t port, const DownloadRecord& record) override {
        post([port, record](StationController& c) {
            emit c.tryEnded(static_cast<int>(port), record);
        });
    }
    void recordLost(std::size_t port, const std::string& text, const std::string& why) override {
        post([port, text, why](StationController& c) {
            emit c.recordLost(static_cast<int>(port), QString::fromStdString(text),
                              QString::fromStdString(why));
        });
    }
    void message(std::size_t port, const std::string& text) override {
        post([port, text](StationController& c) {
            emit c.portMessage(static_cast<int>(port), QString::fromStdString(text));
        });
    }
    void portFinished(std::size_t port) override {
        post([port](StationController& c) { c.onPortFinished(port); });
    }

private:
    template <typename Call> void post(Call call) {
        StationController* owner = &m_owner;
        queueCall(owner, [owner, call = std::move(call)] { call(*owner); });
    }

    StationController& m_owner;
};

StationController::StationController(QObject* parent)
    : QObject(parent), m_listener(std::make_unique<Listener>(*this)) {
    m_progressTimer.setInterval(kProgressInterval);
    connect(&m_progressTimer, &QTimer::timeout, this, &StationController::lookAtProgress);
}

StationController::~StationController() {
    // The port threads end promptly once stopped: none of them waits for this thread.
    m_station.reset();
}

std::optional<std::string> StationController::start(StationJob job) {
    if (m_station || !job.image || job.ports.empty())
        return std::string("Nothing to start.");
    auto log = std::make_unique<RecordLog>();
    if (auto refused = log->open(job.recordFile))
        return job.recordFile + ": " + *refused;

    m_log = std::move(log);
    m_hosts.clear();
    m_ports.clear();
    m_snapshots.assign(job.ports.size(), PortSnapshot{});
    m_finished = 0;
    m_stopping = false;
    for (std::size_t i = 0; i < job.ports.size(); ++i) {
        auto host = std::make_unique<StationHost>(
            job.image, job.ports[i],
            [this, i](const std::string& text) { m_listener->message(i, text); });
        m_ports.push_back(std::make_unique<SessionPort>(*host, job.params, job.comm));
        m_hosts.push_back(std::move(host));
    }

    PortPlan plan;
    plan.loop = true;
    plan.retries = job.retries;
    plan.goneAfter = job.goneAfter;
    const DownloadRecord base =
        recordBase(job.image->archive, job.image->bytes, job.image->length, job.comm, job.params);
    m_station = std::make_unique<Station>(m_clock, plan, base, m_log.get(), *m_listener);
    for (std::size_t i = 0; i < job.ports.size(); ++i)
        m_station->addPort(job.ports[i], job.ports[i], *m_ports[i]);
    m_started = m_clock.now();
    m_station->start();
    m_progressTimer.start();
    return std::nullopt;
}

void StationController::stop() {
    if (!m_station || m_stopping)
        return;
    m_stopping = true;
    m_station->stop();
}

std::chrono::steady_clock::duration StationController::sessionTime() const {
    if (m_started == std::chrono::steady_clock::time_point{})
        return {};
    return (m_station ? m_clock.now() : m_endedAt) - m_started;
}

void StationController::onPortChanged(std::size_t port, const PortSnapshot& snapshot) {
    if (port >= m_snapshots.size())
        return;
    m_snapshots[port] = snapshot;
    emit portChanged(static_cast<int>(port), snapshot);
}

void StationController::lookAtProgress() {
    if (!m_station)
        return;
    for (std::size_t i = 0; i < m_snapshots.size(); ++i) {
        if (m_snapshots[i].state != PortState::Downloading)
            continue;
        // Only the progress: the state itself arrives in order through the listener.
        const PortSnapshot now = m_station->snapshot(i);
        if (now.state == PortState::Downloading)
            m_snapshots[i].progress = now.progress;
    }
    emit progressed();
}

void StationController::onPortFinished(std::size_t port) {
    if (!m_station)
        return;
    emit portEnded(static_cast<int>(port), m_station->summary(port));
    if (++m_finished < m_snapshots.size())
        return;
    // Every port thread has said its last word and is returning: the join is immediate.
    m_progressTimer.stop();
    m_station->join();
    m_endedAt = m_clock.now();
    m_station.reset();
    m_ports.clear();
    m_hosts.clear();
    m_log.reset();
    m_stopping = false;
    emit ended();
}

} // namespace pexo::gui
