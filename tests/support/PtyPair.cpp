#include "support/PtyPair.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace pexo::test {

PtyPair::PtyPair() {
    termios raw{};
    cfmakeraw(&raw);
    cfsetspeed(&raw, B9600);
    raw.c_cflag |= CREAD | CLOCAL;
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, &raw, nullptr) != 0) {
        master_ = slave_ = -1;
        return;
    }
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
    path_ = name;
}

PtyPair::~PtyPair() {
    closeDevice();
    if (slave_ >= 0)
        ::close(slave_);
}

bool PtyPair::sendFromDevice(const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (master_ >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (n < 0 && errno != EINTR)
            return false;
    }
    return done == bytes.size();
}

std::vector<std::uint8_t> PtyPair::receiveOnDevice(std::size_t count,
                                                   std::chrono::milliseconds timeout) {
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + timeout;
    std::vector<std::uint8_t> out;
    while (master_ >= 0 && out.size() < count) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - clock::now()).count();
        if (left <= 0)
            break;
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0)
            continue;
        std::uint8_t buf[4096];
        const std::size_t want = std::min(sizeof buf, count - out.size());
        const ssize_t n = ::read(master_, buf, want);
        if (n > 0)
            out.insert(out.end(), buf, buf + n);
        else if (n == 0 || (errno != EINTR && errno != EAGAIN))
            break;
    }
    return out;
}

void PtyPair::closeDevice() {
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}

std::size_t PtyPair::bytesWaitingForPort() const {
    int n = 0;
    if (slave_ < 0 || ::ioctl(slave_, FIONREAD, &n) != 0)
        return 0;
    return static_cast<std::size_t>(n);
}

std::size_t PtyPair::bytesWaitingForDevice() const {
    int n = 0;
    if (master_ < 0 || ::ioctl(master_, FIONREAD, &n) != 0)
        return 0;
    return static_cast<std::size_t>(n);
}

bool PtyPair::portWritable() const {
    pollfd p{slave_, POLLOUT, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & POLLOUT);
}

} // namespace pexo::test
