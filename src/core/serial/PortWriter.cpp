#include "core/app/Host.h"
#include "core/protocol/DownloadContext.h"
#include "core/serial/CommErrors.h"
#include "core/serial/OutputQueue.h"
#include "core/serial/SerialLink.h"
#include "core/serial/SerialPort.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>

namespace pexo {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr std::int32_t kSerialError = 10;
// The longest a writer sleeps between looks at a draining queue when the driver cannot be
// waited on: keeps a count that moved without telling anyone from going unnoticed for long.
constexpr milliseconds kDrainLookInterval{100};

// Holds the port open for one write: closePort waits for every lease to end before it
// closes the descriptor, so a woken writer never touches a reused descriptor number.
class WriterLease {
public:
    explicit WriterLease(SerialLink& link) : link_(link) {
        std::lock_guard lock(link_.mutex);
        held_ = link_.fd >= 0 && !link_.closing && !link_.writesCancelled;
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

// The two limits as one moving deadline: the total one is fixed, the stall one restarts
// whenever the line makes progress.
class WriteClock {
public:
    explicit WriteClock(WriteLimits limits) : limits_(limits), start_(Clock::now()) {
        progressed();
    }
    void progressed() { lastProgress_ = Clock::now(); }
    // Time left before a limit passes; none when there is no limit.
    std::optional<milliseconds> left() const {
        std::optional<Clock::time_point> deadline;
        auto tighten = [&](Clock::time_point from, milliseconds limit) {
            if (limit <= milliseconds(0))
                return;
            // A limit past the clock's range is no limit in practice.
            if (limit >= std::chrono::duration_cast<milliseconds>(Clock::time_point::max() - from))
                return;
            const auto at = from + limit;
            deadline = deadline ? std::min(*deadline, at) : at;
        };
        tighten(start_, limits_.total);
        tighten(lastProgress_, limits_.stall);
        if (!deadline)
            return std::nullopt;
        return std::max(milliseconds(0), std::chrono::ceil<milliseconds>(*deadline - Clock::now()));
    }

private:
    WriteLimits limits_;
    Clock::time_point start_;
    Clock::time_point lastProgress_;
};

int pollTimeout(std::optional<milliseconds> left) {
    if (!left)
        return -1;
    return static_cast<int>(std::min<std::int64_t>(left->count(), std::numeric_limits<int>::max()));
}

enum class Wake { Ready, Limit, Closed, Cancelled, Failed };

// Waits for `events` on the port (none: only for `timeout`), a close or a cancel.
Wake waitOnLine(SerialLink& link, short events, int timeout) {
    pollfd fds[3] = {{link.fd, events, 0}, {link.wakeFd, POLLIN, 0}, {link.cancelFd, POLLIN, 0}};
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
    return link.outputPending ? link.outputPending(link.fd) : driverOutputPending(link.fd);
}

// How long `pending` bytes take on the line, 10 bits each; at least a millisecond.
milliseconds drainTime(std::size_t pending, std::uint32_t baudRate) {
    const std::uint64_t baud = baudRate > 0 ? baudRate : 9600;
    const std::uint64_t ms = (std::uint64_t{pending} * 10'000 + baud - 1) / baud;
    return milliseconds(std::clamp<std::uint64_t>(ms, 1, kDrainLookInterval.count()));
}

void recordShortWrite(DownloadContext& ctx, std::size_t sent) {
    ctx.setCommErrorText(writeTimeoutText(static_cast<long>(sent)));
    ctx.recordResult(kSerialError);
}

} // namespace

std::chrono::milliseconds writeTimeLimit(std::size_t length, std::uint32_t baudRate) {
    if (baudRate == 0)
        return milliseconds(0);
    const std::uint64_t perByte = 19200u / baudRate;
    constexpr std::uint64_t kMax = std::numeric_limits<std::int64_t>::max();
    if (perByte != 0 && length > kMax / perByte)
        return milliseconds(milliseconds::max());
    return milliseconds(static_cast<std::int64_t>(length * perByte));
}

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
        const ssize_t n = ::write(link->fd, bytes + taken, length - taken);
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

int writePort(DownloadContext& ctx, const std::uint8_t* bytes, std::size_t length) {
    return writePort(ctx, bytes, length, WriteLimits{writeTimeLimit(length, ctx.baudRate), {}});
}

int writePort(Host& host, const std::uint8_t* bytes, std::size_t length) {
    DownloadContext* ctx = host.downloadContext();
    return ctx ? writePort(*ctx, bytes, length) : 0;
}

std::size_t offerPortBytes(DownloadContext& ctx, const std::uint8_t* bytes, std::size_t length) {
    const std::shared_ptr<SerialLink> link = ctx.serialLink;
    if (!link || !bytes || length == 0)
        return 0;
    WriterLease lease(*link);
    if (!lease)
        return 0;
    for (;;) {
        const ssize_t n = ::write(link->fd, bytes, length);
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
    if (link->cancelFd >= 0) {
        // Level-triggered: stays readable, so every writer now and later sees it.
        const std::uint64_t one = 1;
        (void)!::write(link->cancelFd, &one, sizeof one);
    }
}

} // namespace pexo
