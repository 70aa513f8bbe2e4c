#include "core/protocol/DownloadContext.h"
#include "core/serial/CommErrors.h"
#include "core/serial/PortHandlesWindows.h"
#include "core/serial/SerialLink.h"
#include "core/serial/SerialPort.h"
#include "core/serial/WriteSupport.h"

#include <algorithm>

namespace pexo {
namespace {

using std::chrono::milliseconds;

// While a write is held, how often the driver's queue is looked at for progress (the stall
// limit restarts when it shrinks).
constexpr milliseconds kProgressLookInterval{50};
// The largest piece handed to one WriteFile.
constexpr std::size_t kMaxPiece = 1u << 30;

// A failed write means the line itself failed: the I/O bit is always set, with whatever else
// the driver reports.
void recordDriverFailure(DownloadContext& ctx, HANDLE port) {
    recordCommError(ctx, takeCommErrors(port) | kCeIoError);
}

std::size_t outputPending(SerialLink& link) {
    PortHandles& h = *link.handles;
    return link.outputPending ? link.outputPending(handleNumber(h.port))
                              : driverOutputPending(h.port);
}

// An event for one write's OVERLAPPED, closed with it.
class WriteEvent {
public:
    WriteEvent() : event_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~WriteEvent() {
        if (event_)
            ::CloseHandle(event_);
    }
    WriteEvent(const WriteEvent&) = delete;
    WriteEvent& operator=(const WriteEvent&) = delete;
    HANDLE get() const { return event_; }

private:
    HANDLE event_;
};

enum class End { Done, Limit, Closed, Cancelled, Failed };

struct Finished {
    End end = End::Done;
    DWORD bytes = 0; // what the driver took of this piece
};

// Takes back a pending write: what the driver took until now is in `bytes`.
Finished withdraw(HANDLE port, OVERLAPPED& ov, End end) {
    return {end, withdrawIo(port, ov)};
}

// Waits for a started write to complete, or for a limit, closePort or cancelPortWrites.
Finished awaitWrite(SerialLink& link, OVERLAPPED& ov, WriteClock& clock) {
    PortHandles& h = *link.handles;
    std::size_t queued = outputPending(link);
    for (;;) {
        const std::optional<milliseconds> left = clock.left();
        if (left && left->count() == 0)
            return withdraw(h.port, ov, End::Limit);
        const milliseconds nap = left ? std::min(*left, kProgressLookInterval) : kProgressLookInterval;
        const HANDLE waits[3] = {ov.hEvent, h.wake, h.cancel};
        const DWORD woke = ::WaitForMultipleObjects(3, waits, FALSE, static_cast<DWORD>(nap.count()));
        if (woke == WAIT_OBJECT_0) {
            DWORD bytes = 0;
            if (::GetOverlappedResult(h.port, &ov, &bytes, FALSE))
                return {End::Done, bytes};
            return {End::Failed, bytes};
        }
        if (woke == WAIT_OBJECT_0 + 1)
            return withdraw(h.port, ov, End::Closed);
        if (woke == WAIT_OBJECT_0 + 2)
            return withdraw(h.port, ov, End::Cancelled);
        if (woke != WAIT_TIMEOUT)
            return withdraw(h.port, ov, End::Failed);
        const std::size_t now = outputPending(link);
        if (now < queued)
            clock.progressed();
        queued = now;
    }
}

// Waits until the driver's queue is empty, so that what is timed after the write starts at
// the end of transmission; the limits still hold, and a queue that shrinks is progress.
End awaitDrain(SerialLink& link, WriteClock& clock, std::uint32_t baudRate, std::size_t& pending) {
    PortHandles& h = *link.handles;
    pending = outputPending(link);
    while (pending > 0) {
        const std::optional<milliseconds> left = clock.left();
        if (left && left->count() == 0)
            return End::Limit;
        milliseconds nap = drainTime(pending, baudRate);
        if (left)
            nap = std::min(nap, *left);
        const HANDLE waits[2] = {h.wake, h.cancel};
        const DWORD woke = ::WaitForMultipleObjects(2, waits, FALSE, static_cast<DWORD>(nap.count()));
        if (woke == WAIT_OBJECT_0)
            return End::Closed;
        if (woke == WAIT_OBJECT_0 + 1)
            return End::Cancelled;
        const std::size_t now = outputPending(link);
        if (now < pending)
            clock.progressed();
        pending = now;
    }
    return End::Done;
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
    const HANDLE port = link->handles->port;
    WriteEvent event;
    if (!event.get())
        return 0;

    WriteClock clock(limits);
    std::size_t taken = 0;
    while (taken < length) {
        OVERLAPPED ov{};
        ov.hEvent = event.get();
        ::ResetEvent(ov.hEvent);
        const DWORD piece = static_cast<DWORD>(std::min(length - taken, kMaxPiece));
        Finished result;
        if (::WriteFile(port, bytes + taken, piece, nullptr, &ov)) {
            ::GetOverlappedResult(port, &ov, &result.bytes, FALSE);
        } else if (::GetLastError() == ERROR_IO_PENDING) {
            result = awaitWrite(*link, ov, clock);
        } else {
            recordDriverFailure(ctx, port);
            return taken > 0 ? 1 : 0;
        }
        taken += result.bytes;
        if (result.bytes > 0)
            clock.progressed();
        switch (result.end) {
        case End::Done:
            if (result.bytes < piece) {
                // The driver's own write time-out ended it.
                recordShortWrite(ctx, taken - std::min(taken, outputPending(*link)));
                return 1;
            }
            continue;
        case End::Limit:
            recordShortWrite(ctx, taken - std::min(taken, outputPending(*link)));
            return 1;
        case End::Closed:
            recordShortWrite(ctx, taken); // what was not taken stays unsent
            return 1;
        case End::Cancelled:
            return 1; // a stop: the run ends, nothing to report
        case End::Failed:
            recordDriverFailure(ctx, port);
            return 1;
        }
    }

    std::size_t pending = 0;
    switch (awaitDrain(*link, clock, ctx.baudRate, pending)) {
    case End::Done:
    case End::Cancelled:
        return 1;
    case End::Limit:
    case End::Closed:
        recordShortWrite(ctx, length - std::min(length, pending));
        return 1;
    case End::Failed:
        recordDriverFailure(ctx, port);
        return 1;
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
    const HANDLE port = link->handles->port;
    WriteEvent event;
    if (!event.get())
        return 0;
    OVERLAPPED ov{};
    ov.hEvent = event.get();
    DWORD taken = 0;
    const DWORD piece = static_cast<DWORD>(std::min(length, kMaxPiece));
    if (::WriteFile(port, bytes, piece, nullptr, &ov)) {
        ::GetOverlappedResult(port, &ov, &taken, FALSE);
        return taken;
    }
    if (::GetLastError() != ERROR_IO_PENDING) {
        recordDriverFailure(ctx, port);
        return 0;
    }
    // Held by the line: take it back at once, keeping what the driver already took.
    return withdraw(port, ov, End::Cancelled).bytes;
}

void cancelPortWrites(DownloadContext& ctx) {
    const std::shared_ptr<SerialLink> link = ctx.serialLink;
    if (!link)
        return;
    std::lock_guard lock(link->mutex);
    link->writesCancelled = true;
    // Manual-reset: stays set, so every writer now and later sees it.
    if (link->isOpen())
        ::SetEvent(link->handles->cancel);
}

} // namespace pexo
