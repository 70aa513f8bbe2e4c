#pragma once

#include <signal.h>

namespace pexo::cli {

// SIGINT, SIGTERM and SIGHUP as a descriptor to poll: blocked for the whole process (construct it
// before any thread starts, so every thread inherits the mask) and read through a signalfd.
// The previous mask comes back on destruction.
class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    int fd() const { return fd_; }
    // Takes one pending signal; true when there was one.
    bool take();

private:
    sigset_t previous_{};
    int fd_ = -1;
};

} // namespace pexo::cli
