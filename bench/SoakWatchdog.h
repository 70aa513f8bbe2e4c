#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace pexo::soak {

// Ends the process when a run outlives its deadline even after the soak has stopped it
// (a stop that cannot end a thread, a close that never returns): nothing else would.
// One thread for the whole soak, so that the per-run thread counts are not disturbed.
class Watchdog {
public:
    using Clock = std::chrono::steady_clock;

    Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;
    ~Watchdog();

    // Past `deadline`, prints `what` and exits with status 3.
    void arm(Clock::time_point deadline, std::string what);
    void disarm();

private:
    void watch();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<Clock::time_point> deadline_;
    std::string what_;
    bool quit_ = false;
    std::thread thread_;
};

} // namespace pexo::soak
