#include "core/protocol/DownloadContext.h"
#include "core/serial/CommErrors.h"
#include "core/serial/OutputQueuePosix.h"
#include "core/serial/PortHandlesPosix.h"
#include "core/serial/SerialLink.h"
#include "core/serial/SerialPort.h"
#include "core/serial/WriteSupport.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>

namespace pexo {
namespace {

using std::chrono::milliseconds;

// A write error on a serial line means the line itself failed; the counters add what
// else the driver saw since the last report.
void recordDriverFailure(DownloadContext& ctx, SerialLink& link) {
    const std::optional<LineErrorCounts> now = readLineErrorCounts(link.handles->fd);
    std::uint32_t bits = 0;
    {
        std::lock_guard lock(link.mutex);
        bits = commErrorBits(link.handles->reportedCounts, now, true);
        if (now)
            link.handles->reportedCounts = now;
    }
    recordCommError(ctx, bits);
}

int pollTimeout(std::optional<milliseconds> left) {
    if (!left)
        return -1;
    return static_cast<int>(std::min<std::int64_t>(left->count(), std::numeric_limits<int>::max()));
}

enum class Wake { Ready, Limit, Closed, Cancelled, Failed };

// Waits for `events` on the port (none: only for `timeout`), a close or a cancel.
Wake waitOnLine(SerialLink& link, short events, int timeout) {
    PortHandles& h = *link.handles;
    pollfd fds[3] = {{h.fd, events, 0}, {h.wakeFd, POLLIN, 0}, {h.cancelFd, POLLIN, 0}};
    for (;;) {
        const int n = ::poll(fds, 3, timeout);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Wake::Failed;
        if (fds[1].revents != 0)
            return Wake::Closed;
        if (fds[2].revents != 0)
            return Wake::Cancelled;
        if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL))
            return Wake::Failed;
        return n == 0 ? Wake::Limit : Wake::Ready;
    }
}

std::size_t outputPending(SerialLink& link) {
    return link.outputPending ? link.outputPending(link.handles->fd) : driverOutputPending(link.handles->fd);
}

} // namespace

int writePort(DownloadContext& ctx, const std::uint8_t* bytes, std::size_t length,
              WriteLimits limits) {
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

    WriteClock clock(limits);
    std::size_t taken = 0;
    bool started = false;
    while (taken < length) {
        const ssize_t n = ::write(link->handles->fd, bytes + taken, length - taken);
        if (n > 0) {
            taken += static_cast<std::size_t>(n);
            started = true;
            clock.progressed();
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
        const std::optional<milliseconds> left = clock.left();
        if (left && left->count() == 0) {
            recordShortWrite(ctx, taken - std::min(taken, outputPending(*link)));
            return 1;
        }
        switch (waitOnLine(*link, POLLOUT, pollTimeout(left))) {
        case Wake::Ready:
        case Wake::Limit:
            continue;
        case Wake::Cancelled:
            return 1; // a stop: the run ends, nothing to report
        case Wake::Closed:
            recordShortWrite(ctx, taken); // what was not taken stays unsent
            return 1;
        case Wake::Failed:
            recordDriverFailure(ctx, *link);
            return 1;
        }
    }

    // Taken is not sent: wait until the line has carried it, so that pauses and reply
    // time-outs run from the end of transmission, as they do where a write completes only
    // then. The limits still hold; a queue that shrinks is progress.
    std::size_t pending = outputPending(*link);
    while (pending > 0) {
        const std::optional<milliseconds> left = clock.left();
        if (left && left->count() == 0) {
            recordShortWrite(ctx, length - std::min(length, pending));
            return 1;
        }
        milliseconds nap = drainTime(pending, ctx.baudRate);
        if (left)
            nap = std::min(nap, *left);
        switch (waitOnLine(*link, 0, static_cast<int>(nap.count()))) {
        case Wake::Ready:
        case Wake::Limit:
            break;
        case Wake::Cancelled:
            return 1;
        case Wake::Closed:
            recordShortWrite(ctx, length - std::min(length, outputPending(*link)));
            return 1;
        case Wake::Failed:
            recordDriverFailure(ctx, *link);
            return 1;
        }
        const std::size_t now = outputPending(*link);
        if (now < pending)
            clock.progressed();
        pending = now;
    }
    return 1;
}

std::size_t offerPortBytes(DownloadContext& ctx, const std::uint8_t* bytes, std::size_t length) {
    const std::shared_ptr<SerialLink> link = ctx.serialLink;
    if (!link || !bytes || length == 0)
        return 0;
    WriterLease lease(*link);
    if (!lease)
        return 0;
    for (;;) {
        const ssize_t n = ::write(link->handles->fd, bytes, length);
        if (n >= 0)
            return static_cast<std::size_t>(n);
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            recordDriverFailure(ctx, *link);
        return 0;
    }
}

void cancelPortWrites(DownloadContext& ctx) {
    const std::shared_ptr<SerialLink> link = ctx.serialLink;
    if (!link)
        return;
    std::lock_guard lock(link->mutex);
    link->writesCancelled = true;
    if (link->isOpen()) {
        // Level-triggered: stays readable, so every writer now and later sees it.
        const std::uint64_t one = 1;
        (void)!::write(link->handles->cancelFd, &one, sizeof one);
    }
}

} // namespace pexo
