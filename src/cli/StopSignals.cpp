#include "cli/StopSignals.h"

#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace pexo::cli {

StopSignals::StopSignals() {
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGHUP); // the terminal went away: stop as for SIGTERM
    pthread_sigmask(SIG_BLOCK, &stops, &previous_);
    fd_ = ::signalfd(-1, &stops, SFD_CLOEXEC | SFD_NONBLOCK);
}

StopSignals::~StopSignals() {
    if (fd_ >= 0)
        ::close(fd_);
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

bool StopSignals::take() {
    signalfd_siginfo info;
    return fd_ >= 0 && ::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info);
}

} // namespace pexo::cli
