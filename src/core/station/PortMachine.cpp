#include "core/station/PortMachine.h"

#include <algorithm>

namespace pexo {
namespace {

// A download always ends with a word from its thread; this only bounds the wait if it did not.
constexpr std::chrono::seconds kDownloadCheck{1};

// Every error but a too-short image (which no retry mends) is worth another try.
bool retriable(std::int32_t result) {
    return result >= 1 && result <= 11 && result != 8;
}

bool isFailure(PortEnd end) {
    return end != PortEnd::None && end != PortEnd::Done && end != PortEnd::Stopped;
}

} // namespace

std::string_view portStateName(PortState state) {
    switch (state) {
    case PortState::WaitingForPort:
        return "waiting for the port";
    case PortState::WaitingForDevice:
        return "waiting for a device";
    case PortState::Downloading:
        return "downloading";
    case PortState::Recording:
        return "recording";
    case PortState::WaitingForRemoval:
        return "waiting for the device to go";
    case PortState::Ended:
        return "ended";
    }
    return "";
}

PortMachine::PortMachine(StationPort& port, const StationClock& clock, PortPlan plan,
                         PortEvents& events, DownloadRecord recordBase, std::string devicePath,
                         DescribePort describe, std::function<void()> wake)
    : port_(port), clock_(clock), plan_(plan), events_(events), recordBase_(std::move(recordBase)),
      devicePath_(std::move(devicePath)), describe_(std::move(describe)), wake_(std::move(wake)) {}

void PortMachine::stop(Stop how) {
    Stop current = stop_.load();
    while (how > current && !stop_.compare_exchange_weak(current, how)) {
    }
    if (wake_)
        wake_();
}

PortSnapshot PortMachine::snapshot() const {
    std::lock_guard lock(mutex_);
    return snapshot_;
}

PortSummary PortMachine::summary() const {
    std::lock_guard lock(mutex_);
    return summary_;
}

template <typename F> void PortMachine::update(F&& change) {
    PortSnapshot copy;
    {
        std::lock_guard lock(mutex_);
        change(snapshot_, summary_);
        copy = snapshot_;
    }
    events_.changed(copy);
}

void PortMachine::publish(PortState state) {
    {
        std::lock_guard lock(mutex_);
        if (snapshot_.state == state)
            return;
    }
    update([state](PortSnapshot& s, PortSummary&) { s.state = state; });
}

std::optional<StationClock::TimePoint> PortMachine::advance() {
    const TimePoint now = clock_.now();
    if (phase_ == Phase::Ended)
        return std::nullopt;
    if (phase_ != Phase::Download && stop_.load() != Stop::None) {
        if (retrying_) // the device's last try stands
            deviceDone(pendingFailure_, now);
        end(PortEnd::Stopped, now);
        return std::nullopt;
    }
    switch (phase_) {
    case Phase::Open:
        return openPort(now);
    case Phase::Poll:
    case Phase::Settle:
        return poll(now);
    case Phase::Download:
        return download(now);
    case Phase::Ended:
        break;
    }
    return std::nullopt;
}

std::optional<StationClock::TimePoint> PortMachine::openPort(TimePoint now) {
    // Once the port has served, a missing path means the device (or its adapter) went.
    const bool present = port_.present();
    if (everOpened_ && !present) {
        if (retrying_) {
            deviceDone(pendingFailure_, now);
            if (!wantsMore()) {
                end(PortEnd::Done, now);
                return std::nullopt;
            }
        }
        waitingFor_ = PortState::WaitingForDevice;
    }
    if (!everOpened_ || present) {
        std::string why;
        TryOutcome refusal;
        switch (port_.open(why, refusal)) {
        case StationPort::Open::Ready:
            everOpened_ = portOpen_ = true;
            toldMissing_ = false;
            port_.beginPolling();
            echoes_ = port_.echoCount();
            lastEcho_ = waitStarted_ = nextPoll_ = now;
            phase_ = Phase::Poll;
            publish(waitingFor_);
            return poll(now);
        case StationPort::Open::Refused:
            update([&](PortSnapshot&, PortSummary& s) { s.refusal = refusal; });
            end(PortEnd::Refused, now);
            return std::nullopt;
        case StationPort::Open::Unavailable:
            if (!everOpened_) {
                events_.message("RS232C connection failed. (" + why + ")");
                end(PortEnd::SetupFailed, now);
                return std::nullopt;
            }
            if (!toldMissing_)
                events_.message(why + "; waiting for the port");
            toldMissing_ = true;
            break;
        }
    }
    publish(PortState::WaitingForPort);
    return now + plan_.portRecheck;
}

std::optional<StationClock::TimePoint> PortMachine::poll(TimePoint now) {
    if (const std::optional<TryOutcome> failure = port_.lineFailure()) {
        port_.close();
        portOpen_ = false;
        if (!plan_.loop && !retrying_) {
            update([&](PortSnapshot&, PortSummary& s) { s.refusal = *failure; });
            end(PortEnd::LineFailed, now);
            return std::nullopt;
        }
        // The path may be going away: the next open tells.
        phase_ = Phase::Open;
        publish(PortState::WaitingForPort);
        return now + plan_.portRecheck;
    }
    const std::uint64_t echoes = port_.echoCount();
    const bool heard = echoes != echoes_;
    if (heard) {
        echoes_ = echoes;
        lastEcho_ = now;
    }
    if (phase_ == Phase::Settle) {
        if (now < settleUntil_)
            return settleUntil_;
        startDownload(now);
        return now + kDownloadCheck;
    }
    const bool silent = now - lastEcho_ >= plan_.goneAfter;
    if (waitingFor_ == PortState::WaitingForRemoval) {
        if (silent) {
            waitingFor_ = PortState::WaitingForDevice;
            restartPolling(now);
            publish(waitingFor_);
        }
    } else if (heard) {
        // The echo to the last poll may still be on its way: let one poll interval pass.
        phase_ = Phase::Settle;
        settleUntil_ = now + port_.pollInterval();
        return settleUntil_;
    } else if (retrying_ && silent) {
        // The device went before it could be tried again.
        deviceDone(pendingFailure_, now);
        if (!wantsMore()) {
            end(PortEnd::Done, now);
            return std::nullopt;
        }
        restartPolling(now);
    } else if (!retrying_ && plan_.connectTimeout && now - waitStarted_ >= *plan_.connectTimeout) {
        events_.message("No answer from the device: it never echoed the connect poll.");
        end(PortEnd::ConnectTimeout, now);
        return std::nullopt;
    }

    const auto interval = port_.pollInterval();
    if (now >= nextPoll_) {
        port_.pollTick();
        nextPoll_ = std::max(nextPoll_ + interval, now);
    }
    TimePoint due = nextPoll_;
    if (waitingFor_ == PortState::WaitingForRemoval || retrying_)
        due = std::min(due, lastEcho_ + plan_.goneAfter);
    else if (plan_.connectTimeout)
        due = std::min(due, waitStarted_ + *plan_.connectTimeout);
    return std::max(due, now);
}

// The next device's connect poll starts afresh: polls that went unanswered while the line was
// empty are not echoes the protocol's start should wait for.
void PortMachine::restartPolling(TimePoint now) {
    port_.beginPolling();
    echoes_ = port_.echoCount();
    lastEcho_ = waitStarted_ = now;
}

void PortMachine::startDownload(TimePoint now) {
    attempt_ = retrying_ ? attempt_ + 1 : 1;
    retrying_ = false;
    identity_ = describe_ ? describe_(devicePath_) : describeDevicePath(devicePath_);
    tryStarted_ = now;
    tryStartedWall_ = clock_.wallNow();
    phase_ = Phase::Download;
    update([this](PortSnapshot& s, PortSummary&) {
        s.state = PortState::Downloading;
        s.attempt = attempt_;
        ++s.tries;
        s.progress = {};
    });
    port_.startDownload(wake_);
}

std::optional<StationClock::TimePoint> PortMachine::download(TimePoint now) {
    if (stop_.load() != Stop::Now && !port_.downloadEnded())
        return now + kDownloadCheck;
    const TryOutcome outcome = port_.finishDownload();
    port_.close();
    portOpen_ = false;
    if (outcome.end == TryOutcome::End::Aborted) {
        end(PortEnd::SetupFailed, now);
        return std::nullopt;
    }
    publish(PortState::Recording);
    const bool kept = recordTry(outcome, now);
    if (outcome.end == TryOutcome::End::Cancelled) {
        end(kept ? PortEnd::Stopped : PortEnd::RecordFailed, now);
        return std::nullopt;
    }
    const std::int32_t result = outcome.resultCode;
    if (kept && result != 0 && retriable(result) && attempt_ <= plan_.retries &&
        stop_.load() == Stop::None && port_.present()) {
        retrying_ = true;
        pendingFailure_ = result;
        reopen(PortState::WaitingForDevice);
        return now;
    }
    deviceDone(result, now);
    if (!kept) {
        end(PortEnd::RecordFailed, now);
        return std::nullopt;
    }
    if (!wantsMore()) {
        end(PortEnd::Done, now);
        return std::nullopt;
    }
    // A device that is still there was just flashed: it must go before the next one.
    reopen(port_.present() ? PortState::WaitingForRemoval : PortState::WaitingForDevice);
    return now;
}

bool PortMachine::recordTry(const TryOutcome& outcome, TimePoint now) {
    DownloadRecord record = recordBase_;
    record.started = tryStartedWall_;
    record.ended = clock_.wallNow();
    record.identity = identity_;
    record.attempt = attempt_;
    if (outcome.end != TryOutcome::End::Cancelled)
        record.result = outcome.resultCode;
    record.lines = outcome.lines;
    record.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - tryStarted_);
    record.pcChecksum = outcome.pcChecksum;
    record.deviceChecksum = outcome.deviceChecksum;
    update([&](PortSnapshot& s, PortSummary&) { s.lastResult = record.result; });
    return events_.recorded(record);
}

void PortMachine::deviceDone(std::int32_t result, TimePoint now) {
    retrying_ = false;
    attempt_ = 0;
    update([&](PortSnapshot& s, PortSummary& sum) {
        if (result == 0) {
            sum.passed = ++s.passed;
            return;
        }
        sum.failed = ++s.failed;
        if (!sum.firstFailureAt) {
            sum.firstFailureAt = now;
            sum.firstFailedResult = result;
        }
    });
}

bool PortMachine::wantsMore() const {
    if (!plan_.loop)
        return false;
    std::lock_guard lock(mutex_);
    return plan_.count == 0 || summary_.passed < plan_.count;
}

void PortMachine::reopen(PortState waitingFor) {
    waitingFor_ = waitingFor;
    phase_ = Phase::Open;
}

void PortMachine::end(PortEnd why, TimePoint now) {
    if (portOpen_)
        port_.close();
    portOpen_ = false;
    phase_ = Phase::Ended;
    update([&](PortSnapshot& s, PortSummary& sum) {
        s.state = PortState::Ended;
        s.end = sum.end = why;
        if (isFailure(why) && !sum.firstFailureAt)
            sum.firstFailureAt = now;
    });
}

} // namespace pexo
