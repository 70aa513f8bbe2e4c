#pragma once

#include "core/station/DownloadRecord.h"
#include "core/station/PortState.h"
#include "core/station/StationClock.h"
#include "core/station/StationPort.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace pexo {

// What a port does device after device.
struct PortPlan {
    bool loop = false;  // device after device; otherwise one device
    unsigned count = 0; // with loop: end after this many devices passed (0: until stopped)
    unsigned retries = 0;
    // A device that has not echoed a poll for this long has gone.
    std::chrono::milliseconds goneAfter{2000};
    // The wait for a device to answer ends the port after this long (none: no limit).
    std::optional<std::chrono::milliseconds> connectTimeout;
    // How often a missing port is looked for.
    std::chrono::milliseconds portRecheck{500};
};

// What the machine tells its station; called on the port's own thread.
class PortEvents {
public:
    virtual ~PortEvents() = default;
    virtual void changed(const PortSnapshot& snapshot) = 0;
    // Keeps a try's record; false when it could not be kept.
    virtual bool recorded(const DownloadRecord& record) = 0;
    virtual void message(const std::string& text) = 0;
};

// How a port's run went, once it has ended.
struct PortSummary {
    PortEnd end = PortEnd::None;
    unsigned passed = 0, failed = 0;
    // The first failure: a device's last result, or else the end itself.
    std::optional<std::int32_t> firstFailedResult;
    std::optional<StationClock::TimePoint> firstFailureAt;
    TryOutcome refusal; // with Refused or LineFailed: the status and lines that say why
};

// One port of the station: waits for a device, flashes it (again on a failure, up to the
// retries), records each try, waits until the device has gone, and waits for the next. It
// never flashes the device it flashed last until that one has gone: gone means no echo to
// the polls for goneAfter, or the port's path vanished (it is then waited for and reopened).
//
// advance() does whatever is due and says when it is next due; the owner calls it again then,
// or at once when the download ends or a stop comes (wake). One thread drives it; stop() and
// snapshot() may come from any.
class PortMachine {
public:
    enum class Stop { None, AfterDownload, Now };

    PortMachine(StationPort& port, const StationClock& clock, PortPlan plan, PortEvents& events,
                DownloadRecord recordBase, std::string devicePath, DescribePort describe,
                std::function<void()> wake);

    // None: only the download's end or a stop is awaited.
    std::optional<StationClock::TimePoint> advance();
    bool ended() const { return phase_ == Phase::Ended; }

    // Now: a download in progress is cancelled. AfterDownload: it ends by itself first.
    void stop(Stop how);
    PortSnapshot snapshot() const;
    PortSummary summary() const; // once ended

private:
    enum class Phase { Open, Poll, Settle, Download, Ended };
    using TimePoint = StationClock::TimePoint;

    std::optional<TimePoint> openPort(TimePoint now);
    std::optional<TimePoint> poll(TimePoint now);
    std::optional<TimePoint> download(TimePoint now);
    void restartPolling(TimePoint now);
    void startDownload(TimePoint now);
    // Writes the try's record; false when it could not be kept.
    bool recordTry(const TryOutcome& outcome, TimePoint now);
    // Counts the device flashed last by its last try's result.
    void deviceDone(std::int32_t result, TimePoint now);
    // Another device is to come (--loop, --count not reached).
    bool wantsMore() const;
    void reopen(PortState waitingFor);
    void end(PortEnd why, TimePoint now);
    void publish(PortState state);
    template <typename F> void update(F&& change);

    StationPort& port_;
    const StationClock& clock_;
    const PortPlan plan_;
    PortEvents& events_;
    const DownloadRecord recordBase_;
    const std::string devicePath_;
    const DescribePort describe_;
    const std::function<void()> wake_;
    std::atomic<Stop> stop_{Stop::None};

    Phase phase_ = Phase::Open;
    PortState waitingFor_ = PortState::WaitingForDevice; // the wait the next open begins
    bool everOpened_ = false;
    bool portOpen_ = false;
    bool toldMissing_ = false;
    bool retrying_ = false;           // the next try is the same device's
    std::int32_t pendingFailure_ = 0; // the result a retry is to mend
    unsigned attempt_ = 0;            // the current device's tries
    std::uint64_t echoes_ = 0;        // the count last seen
    TimePoint lastEcho_{};            // when it last grew (or the wait began)
    TimePoint waitStarted_{};
    TimePoint nextPoll_{};
    TimePoint settleUntil_{};
    TimePoint tryStarted_{};
    StationClock::WallTime tryStartedWall_{};
    PortIdentity identity_;

    mutable std::mutex mutex_; // guards snapshot_ and summary_
    PortSnapshot snapshot_;
    PortSummary summary_;
};

} // namespace pexo
