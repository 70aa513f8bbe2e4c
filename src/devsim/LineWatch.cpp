#include "devsim/LineWatch.h"

#include <cerrno>
#include <cstring>
#include <sys/inotify.h>
#include <unistd.h>

namespace pexo::devsim {

LineWatch::~LineWatch() {
    stop();
}

bool LineWatch::start(const std::string& slavePath, std::string& error) {
    stop();
    fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0 || ::inotify_add_watch(fd_, slavePath.c_str(),
                                       IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
        error = slavePath + ": cannot watch the line: " + std::strerror(errno);
        stop();
        return false;
    }
    opens_ = 0;
    return true;
}

void LineWatch::stop() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

LineWatch::Change LineWatch::drain() {
    Change change;
    alignas(inotify_event) char buf[4096];
    for (;;) {
        const ssize_t n = fd_ < 0 ? -1 : ::read(fd_, buf, sizeof buf);
        if (n <= 0)
            break;
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            inotify_event event;
            std::memcpy(&event, buf + at, sizeof event);
            at += static_cast<ssize_t>(sizeof event + event.len);
            change.any = true;
            if (event.mask & IN_Q_OVERFLOW)
                opens_ = 1; // the count is lost; assume someone holds the line
            else if (event.mask & IN_OPEN)
                ++opens_;
            else if ((event.mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) && opens_ > 0)
                --opens_;
        }
    }
    change.hostOpen = opens_ > 0;
    return change;
}

} // namespace pexo::devsim
