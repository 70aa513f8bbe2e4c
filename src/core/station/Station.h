#pragma once

#include "core/station/DownloadRecord.h"
#include "core/station/PortMachine.h"
#include "core/station/PortState.h"
#include "core/station/StationClock.h"
#include "core/station/StationPort.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace pexo {

class RecordLog;

// What a front end learns of the station as it runs; every call comes on a port's thread.
class StationListener {
public:
    virtual ~StationListener() = default;
    virtual void portChanged(std::size_t port, const PortSnapshot& snapshot) = 0;
    // A try has ended (its record is in the log, when there is one).
    virtual void tryEnded(std::size_t port, const DownloadRecord& record) = 0;
    // The record could not be written; `text` is the record as the log would have held it.
    virtual void recordLost(std::size_t port, const std::string& text, const std::string& why) = 0;
    virtual void message(std::size_t port, const std::string& text) = 0;
    // The port's thread is done: allEnded() counts it from now on.
    virtual void portFinished(std::size_t port) = 0;
};

// Several ports, each flashing device after device on a thread of its own, and the record
// log they share. When a record cannot be written every port stops after the download it
// is in. Control and inspection calls may come from any thread.
class Station {
public:
    Station(const StationClock& clock, PortPlan plan, DownloadRecord recordBase, RecordLog* log,
            StationListener& listener, DescribePort describe = {});
    ~Station(); // stops the ports and waits for them
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    // `name` is the port as the operator gave it; `port` must outlive the station.
    void addPort(const std::string& name, const std::string& devicePath, StationPort& port);
    void start();
    // Ends every port; a download in progress is cancelled (and recorded so).
    void stop();
    bool allEnded() const;
    // Waits until every port has ended or the timeout passes; true when they have.
    bool waitForEnd(std::chrono::milliseconds timeout);
    void join();

    std::size_t portCount() const { return lanes_.size(); }
    // With the download's progress while one runs.
    PortSnapshot snapshot(std::size_t port) const;
    PortSummary summary(std::size_t port) const;
    bool recordFailed() const { return recordFailed_.load(); }

private:
    struct Lane;

    bool keep(std::size_t port, const DownloadRecord& record);
    void laneEnded(std::size_t port);

    const StationClock& clock_;
    const PortPlan plan_;
    const DownloadRecord recordBase_;
    RecordLog* log_;
    StationListener& listener_;
    const DescribePort describe_;
    std::vector<std::unique_ptr<Lane>> lanes_;
    std::atomic<bool> recordFailed_{false};

    mutable std::mutex endMutex_;
    std::condition_variable endChanged_;
    std::size_t running_ = 0;
};

} // namespace pexo
