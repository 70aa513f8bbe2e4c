#include "core/station/Station.h"

#include "core/station/RecordLog.h"

#include <thread>

namespace pexo {

// One port: its machine, the thread that drives it, and the bell that wakes that thread.
struct Station::Lane : PortEvents {
    Lane(Station& station, std::size_t index, const std::string& name,
         const std::string& devicePath, StationPort& port)
        : station(station), index(index), port(port) {
        DownloadRecord base = station.recordBase_;
        base.port = name;
        machine = std::make_unique<PortMachine>(port, station.clock_, station.plan_, *this,
                                                std::move(base), devicePath, station.describe_,
                                                [this] { wake(); });
    }

    void wake() {
        std::lock_guard lock(mutex);
        woken = true;
        bell.notify_one();
    }

    // Sleeps between what the machine has due: its deadlines, the download's end, a stop.
    void run() {
        for (;;) {
            const auto due = machine->advance();
            if (machine->ended())
                break;
            std::unique_lock lock(mutex);
            if (due)
                bell.wait_for(lock, *due - station.clock_.now(), [this] { return woken; });
            else
                bell.wait(lock, [this] { return woken; });
            woken = false;
        }
        station.laneEnded(index);
    }

    void changed(const PortSnapshot& snapshot) override {
        station.listener_.portChanged(index, snapshot);
    }
    bool recorded(const DownloadRecord& record) override { return station.keep(index, record); }
    void message(const std::string& text) override { station.listener_.message(index, text); }

    Station& station;
    const std::size_t index;
    StationPort& port;
    std::unique_ptr<PortMachine> machine;
    std::thread thread;
    std::mutex mutex;
    std::condition_variable bell;
    bool woken = false;
};

Station::Station(const StationClock& clock, PortPlan plan, DownloadRecord recordBase,
                 RecordLog* log, StationListener& listener, DescribePort describe)
    : clock_(clock), plan_(plan), recordBase_(std::move(recordBase)), log_(log),
      listener_(listener), describe_(std::move(describe)) {}

Station::~Station() {
    stop();
    join();
}

void Station::addPort(const std::string& name, const std::string& devicePath, StationPort& port) {
    lanes_.push_back(std::make_unique<Lane>(*this, lanes_.size(), name, devicePath, port));
}

void Station::start() {
    {
        std::lock_guard lock(endMutex_);
        running_ = lanes_.size();
    }
    for (auto& lane : lanes_)
        lane->thread = std::thread([&lane] { lane->run(); });
}

void Station::stop() {
    for (auto& lane : lanes_)
        lane->machine->stop(PortMachine::Stop::Now);
}

void Station::laneEnded(std::size_t port) {
    {
        std::lock_guard lock(endMutex_);
        --running_;
        endChanged_.notify_all();
    }
    listener_.portFinished(port);
}

bool Station::allEnded() const {
    std::lock_guard lock(endMutex_);
    return running_ == 0;
}

bool Station::waitForEnd(std::chrono::milliseconds timeout) {
    std::unique_lock lock(endMutex_);
    return endChanged_.wait_for(lock, timeout, [this] { return running_ == 0; });
}

void Station::join() {
    for (auto& lane : lanes_)
        if (lane->thread.joinable())
            lane->thread.join();
}

PortSnapshot Station::snapshot(std::size_t port) const {
    const Lane& lane = *lanes_.at(port);
    PortSnapshot snapshot = lane.machine->snapshot();
    if (snapshot.state == PortState::Downloading)
        snapshot.progress = lane.port.progress();
    return snapshot;
}

PortSummary Station::summary(std::size_t port) const {
    return lanes_.at(port)->machine->summary();
}

bool Station::keep(std::size_t port, const DownloadRecord& record) {
    std::optional<std::string> failure;
    if (log_)
        failure = log_->append(record);
    listener_.tryEnded(port, record);
    if (!failure)
        return true;
    listener_.recordLost(port, log_->text(record), *failure);
    recordFailed_ = true;
    // Nothing more may go unrecorded: every port ends once its download in progress has.
    for (auto& lane : lanes_)
        lane->machine->stop(PortMachine::Stop::AfterDownload);
    return false;
}

} // namespace pexo
