#pragma once

#include <memory>

namespace pexo::cli {

// The operator's stop: SIGINT, SIGTERM and SIGHUP on Linux; Ctrl-C, Ctrl-Break and the console
// closing on Windows. Construct it before any thread starts (on Linux the signals are blocked
// for the whole process and read by the main loop alone). The previous handling comes back on
// destruction.
class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // A stop has arrived and not been taken. Never blocks.
    bool pending() const;
    // Takes one pending stop; true when there was one. Never blocks.
    bool take();

    struct Impl;
    Impl& impl() { return *impl_; }

private:
    std::unique_ptr<Impl> impl_;
};

// What port threads ring when they end, so the main loop sleeps between events.
class EndBell {
public:
    EndBell();
    ~EndBell();
    EndBell(const EndBell&) = delete;
    EndBell& operator=(const EndBell&) = delete;

    // Any thread; never blocks.
    void ring();

    struct Impl;
    Impl& impl() { return *impl_; }

private:
    std::unique_ptr<Impl> impl_;
};

struct Wake {
    bool stop = false; // a stop is pending (not taken)
    bool bell = false; // the bell rang since the last wait (taken)
};

// Sleeps until a stop is pending, the bell rings or `timeoutMs` passes (-1: no time limit).
Wake waitForWake(StopSignals& signals, EndBell& bell, int timeoutMs);

} // namespace pexo::cli
