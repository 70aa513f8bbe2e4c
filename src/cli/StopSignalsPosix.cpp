#include "cli/StopSignals.h"

#include <cstdint>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace pexo::cli {

// The signals as a descriptor to poll, so that no handler runs on an arbitrary thread.
struct StopSignals::Impl {
    sigset_t previous{};
    int fd = -1;
};

StopSignals::StopSignals() : impl_(std::make_unique<Impl>()) {
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGHUP); // the terminal went away: stop as for SIGTERM
    pthread_sigmask(SIG_BLOCK, &stops, &impl_->previous);
    impl_->fd = ::signalfd(-1, &stops, SFD_CLOEXEC | SFD_NONBLOCK);
}

StopSignals::~StopSignals() {
    if (impl_->fd >= 0)
        ::close(impl_->fd);
    pthread_sigmask(SIG_SETMASK, &impl_->previous, nullptr);
}

bool StopSignals::pending() const {
    pollfd p{impl_->fd, POLLIN, 0};
    return impl_->fd >= 0 && ::poll(&p, 1, 0) == 1;
}

bool StopSignals::take() {
    signalfd_siginfo info;
    return impl_->fd >= 0 &&
           ::read(impl_->fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info);
}

struct EndBell::Impl {
    int fd = -1;
};

EndBell::EndBell() : impl_(std::make_unique<Impl>()) {
    impl_->fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

EndBell::~EndBell() {
    if (impl_->fd >= 0)
        ::close(impl_->fd);
}

void EndBell::ring() {
    const std::uint64_t one = 1;
    (void)!::write(impl_->fd, &one, sizeof one);
}

Wake waitForWake(StopSignals& signals, EndBell& bell, int timeoutMs) {
    pollfd fds[2] = {{signals.impl().fd, POLLIN, 0}, {bell.impl().fd, POLLIN, 0}};
    Wake wake;
    if (::poll(fds, 2, timeoutMs) <= 0)
        return wake;
    wake.stop = (fds[0].revents & POLLIN) != 0;
    if (fds[1].revents & POLLIN) {
        std::uint64_t count = 0;
        wake.bell = ::read(bell.impl().fd, &count, sizeof count) > 0;
    }
    return wake;
}

} // namespace pexo::cli
