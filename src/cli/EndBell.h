#pragma once

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace pexo::cli {

// A descriptor the port threads ring when they end, so the main loop sleeps between events.
class EndBell {
public:
    EndBell() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~EndBell() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    EndBell(const EndBell&) = delete;
    EndBell& operator=(const EndBell&) = delete;
    int fd() const { return fd_; }
    void ring() {
        const std::uint64_t one = 1;
        (void)!::write(fd_, &one, sizeof one);
    }
    void drain() {
        std::uint64_t count = 0;
        (void)!::read(fd_, &count, sizeof count);
    }

private:
    int fd_;
};

} // namespace pexo::cli
