#pragma once

#include "devsim/DeviceProtocol.h"
#include "devsim/Frame.h"
#include "devsim/LineWatch.h"
#include "devsim/Options.h"
#include "devsim/PseudoTerminal.h"
#include "devsim/SparseMemory.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace pexo::devsim {

// A snapshot of what the device has done so far.
struct Status {
    std::size_t frameCount = 0; // requests received since the device started
    unsigned sessionsEnded = 0;
    std::uint64_t bytesReceived = 0;
    bool hostOpen = false; // a host has the line open
    unsigned openers = 0;  // descriptors the hosts hold on the line
    bool xoffSent = false; // the device sent XOFF and reads no more (--xoff-after)
    bool hungUp = false;   // the device took the line down (--hangup-after)
    bool finished = false; // run() has returned
    unsigned device = 1;   // with --replug: the device on the line, counting from 1
    bool plugged = true;   // with --replug: false while the line has no device
};

// The simulated device on a pseudo-terminal. run() serves on the calling thread (the
// executable); start() serves on a thread of its own (tests). Every inspection call may be
// made from any thread while it runs; Options::log is called on the serving thread.
class Simulator {
public:
    explicit Simulator(Options options);
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;
    ~Simulator(); // stops and joins

    // Creates the pseudo-terminal, its link and its watch. False (see error()) on failure.
    bool open();
    // Serves until stop(), the session limit, a hang-up or a line failure. Returns 0, or 1
    // when a dump could not be written or the line failed (see error()).
    int run();
    // open() when needed, then run() on a thread.
    bool start();
    // Asks run() to end; any thread, any number of times.
    void stop();
    // Waits for the thread of start() and returns run()'s result.
    int join();

    const Options& options() const { return options_; }
    // The slave path the host opens; set by open().
    const std::string& slavePath() const { return pty_.slavePath(); }
    std::string error() const;

    Status status() const;
    // Waits until the condition holds for the status, or the timeout passes. The condition
    // runs under the device's lock: it may look only at the status it is given.
    bool waitFor(const std::function<bool(const Status&)>& condition,
                 std::chrono::milliseconds timeout) const;
    // The requests received, oldest first (at most options().frameHistory of them).
    std::vector<Frame> frames() const;
    std::vector<std::uint8_t> readMemory(std::uint32_t address, std::size_t length) const;
    std::optional<SparseMemory::Range> writtenRange() const;
    std::vector<std::uint8_t> memoryDump() const;

private:
    using Clock = std::chrono::steady_clock;

    struct Loop;

    void lineChanged(const LineWatch::Change& change, Loop& loop);
    void receive(std::span<const std::uint8_t> bytes, Loop& loop);
    // How many of `want` bytes the device may read now.
    std::size_t readLimit(std::size_t want, const Loop& loop) const;
    // How many paced bytes to let gather before the next read (at least one).
    std::size_t readBatch(const Loop& loop) const;
    // Counts a block against --xoff-after; true when it is the one that stops the device.
    bool xoffDue(const Frame& frame, unsigned session, Loop& loop) const;
    // Under the lock: records a session end and writes the dump; true when it was the last.
    bool sessionEnded(std::vector<std::string>& lines);
    void writeDump();
    bool hangupDue() const;
    std::size_t hangupLimit(std::size_t want) const;
    void hangUp(Loop& loop);
    // With --replug: moves the device on and off the line as its times come.
    void replugDue(Loop& loop, Clock::time_point now);
    std::string dumpPath() const;
    void setError(std::string text);
    void emit(const std::vector<std::string>& lines) const;

    const Options options_;
    PseudoTerminal pty_;
    LineWatch watch_;
    int wakeFd_ = -1;
    std::atomic<bool> stopRequested_{false};
    std::thread thread_;
    int threadResult_ = 0;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    SparseMemory memory_;
    DeviceProtocol protocol_{options_, memory_};
    std::deque<Frame> frames_;
    Status status_;
    std::string error_;
};

} // namespace pexo::devsim
