#include "SoakWatchdog.h"

#include <cstdio>
#include <cstdlib>

namespace pexo::soak {

Watchdog::Watchdog() : thread_([this] { watch(); }) {}

Watchdog::~Watchdog() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void Watchdog::arm(Clock::time_point deadline, std::string what) {
    {
        std::lock_guard lock(mutex_);
        deadline_ = deadline;
        what_ = std::move(what);
    }
    changed_.notify_all();
}

void Watchdog::disarm() {
    {
        std::lock_guard lock(mutex_);
        deadline_.reset();
    }
    changed_.notify_all();
}

void Watchdog::watch() {
    std::unique_lock lock(mutex_);
    while (!quit_) {
        if (!deadline_) {
            changed_.wait(lock);
            continue;
        }
        const Clock::time_point deadline = *deadline_;
        if (changed_.wait_until(lock, deadline) == std::cv_status::timeout &&
            deadline_ == deadline) {
            std::printf("STUCK %s: the run could not be stopped; giving up\n", what_.c_str());
            std::fflush(stdout);
            std::_Exit(3);
        }
    }
}

} // namespace pexo::soak
