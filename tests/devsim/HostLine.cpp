#include "HostLine.h"

#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace pexo::devsim::test {
namespace {

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point end) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    return static_cast<int>(std::max<std::int64_t>(left.count(), 0));
}

} // namespace

HostLine::HostLine(const std::string& path, bool xonXoff) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        ADD_FAILURE() << "cannot open " << path;
        return;
    }
    termios tio{};
    ::tcgetattr(fd_, &tio);
    ::cfmakeraw(&tio);
    if (xonXoff)
        tio.c_iflag |= IXON | IXOFF;
    ::tcsetattr(fd_, TCSANOW, &tio);
    ::tcflush(fd_, TCIOFLUSH);
}

HostLine::~HostLine() {
    close();
}

void HostLine::close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

void HostLine::send(const Bytes& bytes) {
    const auto end = Clock::now() + kDeadline;
    std::size_t done = 0;
    while (done < bytes.size() && fd_ >= 0) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            break;
        pollfd p{fd_, POLLOUT, 0};
        if (::poll(&p, 1, remainingMs(end)) <= 0)
            break;
    }
    ASSERT_EQ(done, bytes.size()) << "the device stopped taking bytes";
}

Bytes HostLine::receive(std::size_t count, std::chrono::milliseconds deadline) {
    const auto end = Clock::now() + deadline;
    Bytes out;
    std::uint8_t buf[256];
    while (out.size() < count && fd_ >= 0) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, remainingMs(end)) <= 0)
            break;
        const ssize_t n = ::read(fd_, buf, std::min(sizeof buf, count - out.size()));
        if (n > 0)
            out.insert(out.end(), buf, buf + n);
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            break;
    }
    return out;
}

bool HostLine::waitHangup(std::chrono::milliseconds deadline) {
    const auto end = Clock::now() + deadline;
    std::uint8_t buf[256];
    while (fd_ >= 0) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, remainingMs(end)) <= 0)
            return false;
        if (p.revents & (POLLHUP | POLLERR))
            return true;
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n == 0 || (n < 0 && errno == EIO))
            return true;
    }
    return false;
}

bool HostLine::waitWritesRefused(std::uint8_t probe, std::chrono::milliseconds deadline) {
    const auto end = Clock::now() + deadline;
    while (fd_ >= 0 && Clock::now() < end) {
        if (::write(fd_, &probe, 1) < 0 && errno == EAGAIN)
            return true;
        // A pause between probes keeps them far too few to fill the line's buffer.
        ::poll(nullptr, 0, 1);
    }
    return false;
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes be32(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16),
            static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
}

std::uint32_t byteSum(const Bytes& bytes) {
    std::uint32_t sum = 0;
    for (std::uint8_t b : bytes)
        sum += b;
    return sum;
}

} // namespace pexo::devsim::test
