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
    // Counting opens against closes, rather than taking each close for the host's, lets a
    // second opener come and go while the first still holds the line.
    bool freed = opens_ == 0;
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
            if (event.mask & IN_Q_OVERFLOW) {
                // The count is lost: assume one host holds the line, and a new one at that.
                opens_ = 1;
                freed = true;
            } else if (event.mask & IN_OPEN) {
                ++opens_;
            } else if ((event.mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) && opens_ > 0) {
                if (--opens_ == 0)
                    freed = true;
            }
        }
    }
    change.hostOpen = opens_ > 0;
    change.openers = static_cast<unsigned>(opens_);
    change.held = !freed;
    return change;
}

} // namespace pexo::devsim
