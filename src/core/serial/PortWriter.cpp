#include "core/app/Host.h"
#include "core/protocol/DownloadContext.h"
#include "core/serial/CommErrors.h"
#include "core/serial/SerialLink.h"
#include "core/serial/SerialPort.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

namespace pexo {
namespace {

constexpr std::int32_t kSerialError = 10;

// Holds the port open for one write: closePort waits for every lease to end before it
// closes the descriptor, so a woken writer never touches a reused descriptor number.
class WriterLease {
public:
    explicit WriterLease(SerialLink& link) : link_(link) {
        std::lock_guard lock(link_.mutex);
        held_ = link_.fd >= 0 && !link_.closing;
        if (held_)
            ++link_.activeWriters;
    }
    ~WriterLease() {
        if (!held_)
            return;
        std::lock_guard lock(link_.mutex);
        if (--link_.activeWriters == 0)
            link_.writersGone.notify_all();
    }
    WriterLease(const WriterLease&) = delete;
    WriterLease& operator=(const WriterLease&) = delete;
    explicit operator bool() const { return held_; }

private:
    SerialLink& link_;
    bool held_ = false;
};

// A write error on a serial line means the line itself failed; the counters add what
// else the driver saw since the last report.
void recordDriverFailure(DownloadContext& ctx, SerialLink& link) {
    const std::optional<LineErrorCounts> now = readLineErrorCounts(link.fd);
    std::uint32_t bits = 0;
    {
        std::lock_guard lock(link.mutex);
        bits = commErrorBits(link.reportedCounts, now, true);
        if (now)
            link.reportedCounts = now;
    }
    ctx.setCommErrorText(commErrorText(bits));
    ctx.recordResult(kSerialError);
}

int pollTimeout(std::chrono::steady_clock::time_point deadline) {
    using namespace std::chrono;
    const auto left = ceil<milliseconds>(deadline - steady_clock::now()).count();
    if (left <= 0)
        return 0;
    return left > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max()
                                                   : static_cast<int>(left);
}

} // namespace

std::chrono::milliseconds writeTimeLimit(std::size_t length, std::uint32_t baudRate) {
    if (baudRate == 0)
        return std::chrono::milliseconds(0);
    const std::uint64_t perByte = 19200u / baudRate;
    constexpr std::uint64_t kMax = std::numeric_limits<std::int64_t>::max();
    if (perByte != 0 && length > kMax / perByte)
        return std::chrono::milliseconds(std::chrono::milliseconds::max());
    return std::chrono::milliseconds(static_cast<std::int64_t>(length * perByte));
}

int writePort(DownloadContext& ctx, const std::uint8_t* bytes, std::size_t length,
              std::chrono::milliseconds limit) {
    using namespace std::chrono;
    const std::shared_ptr<SerialLink> link = ctx.serialLink;
    if (!link)
        return 0;
    WriterLease lease(*link);
    if (!lease)
        return 0;
    if (length == 0)
        return 1;
    if (!bytes)
        return 0;

    const bool timed = limit > milliseconds(0);
    const auto now = steady_clock::now();
    // A limit past the clock's range is no limit in practice.
    const bool bounded = timed && limit < duration_cast<milliseconds>(
                                              steady_clock::time_point::max() - now);
    const auto deadline = bounded ? now + limit : steady_clock::time_point::max();

    std::size_t sent = 0;
    bool started = false;
    while (sent < length) {
        const ssize_t n = ::write(link->fd, bytes + sent, length - sent);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            started = true;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            recordDriverFailure(ctx, *link);
            return started ? 1 : 0;
        }
        // The driver takes no more for now (flow control, full queue): wait for room.
        started = true;
        const int timeout = bounded ? pollTimeout(deadline) : -1;
        if (bounded && timeout == 0)
            break;
        pollfd fds[2] = {{link->fd, POLLOUT, 0}, {link->wakeFd, POLLIN, 0}};
        if (::poll(fds, 2, timeout) < 0) {
            if (errno == EINTR)
                continue;
            recordDriverFailure(ctx, *link);
            return 1;
        }
        if (fds[1].revents != 0)
            break; // closePort: what was not taken stays unsent
        if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
            recordDriverFailure(ctx, *link);
            return 1;
        }
    }
    if (sent < length) {
        ctx.setCommErrorText(writeTimeoutText(static_cast<long>(sent)));
        ctx.recordResult(kSerialError);
    }
    return 1;
}

int writePort(DownloadContext& ctx, const std::uint8_t* bytes, std::size_t length) {
    return writePort(ctx, bytes, length, writeTimeLimit(length, ctx.baudRate));
}

int writePort(Host& host, const std::uint8_t* bytes, std::size_t length) {
    DownloadContext* ctx = host.downloadContext();
    return ctx ? writePort(*ctx, bytes, length) : 0;
}

} // namespace pexo
