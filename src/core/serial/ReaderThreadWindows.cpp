#include "core/serial/ReaderThread.h"

#include "core/protocol/DownloadContext.h"
#include "core/serial/PortHandlesWindows.h"
#include "core/serial/SerialLink.h"
#include "core/serial/SerialPort.h"

#include <array>

namespace pexo {
namespace {

// After a read error that is not a vanished device, the pause before the next read, so that
// a driver failing every read at once is not spun on.
constexpr DWORD kErrorPauseMs = 10;

enum class Read { Bytes, Failed, Closing, Gone };

// One read of up to a chunk. The port's time-outs end it a few milliseconds after the line
// falls quiet, or with nothing after a while; closePort ends it at once.
Read readChunk(SerialLink& link, OVERLAPPED& ov, std::uint8_t* chunk, DWORD& count) {
    PortHandles& h = *link.handles;
    count = 0;
    ::ResetEvent(ov.hEvent);
    if (!::ReadFile(h.port, chunk, static_cast<DWORD>(kReadChunkSize), nullptr, &ov)) {
        const DWORD err = ::GetLastError();
        if (err != ERROR_IO_PENDING)
            return portVanished(err) ? Read::Gone : Read::Failed;
        const HANDLE waits[2] = {ov.hEvent, h.wake};
        if (::WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
            // Bytes that arrive once closing has begun are not handed over.
            count = withdrawIo(h.port, ov);
            return Read::Closing;
        }
    }
    if (::GetOverlappedResult(h.port, &ov, &count, FALSE))
        return Read::Bytes;
    const DWORD err = ::GetLastError();
    return portVanished(err) ? Read::Gone : Read::Failed;
}

} // namespace

void readPortUntilClosed(DownloadContext& ctx, SerialLink& link) {
    OVERLAPPED ov{};
    ov.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!ov.hEvent)
        return;
    std::array<std::uint8_t, kReadChunkSize> chunk;
    while (ctx.connected.load()) {
        DWORD count = 0;
        const Read read = readChunk(link, ov, chunk.data(), count);
        if (read == Read::Closing || read == Read::Gone)
            break; // a device that is gone: the writer's next write reports it
        if (read == Read::Failed) {
            // Receive errors are cleared and otherwise ignored.
            (void)takeCommErrors(link.handles->port);
            ::WaitForSingleObject(link.handles->wake, kErrorPauseMs);
            continue;
        }
        if (count > 0) {
            if (link.sink)
                link.sink(std::span<const std::uint8_t>(chunk.data(), count));
            continue; // the sink may have closed the port: only `connected` is looked at
        }
        // Nothing came before the time-out: read again.
    }
    ::CloseHandle(ov.hEvent);
}

std::uint32_t currentThreadNumber() {
    return static_cast<std::uint32_t>(::GetCurrentThreadId());
}

} // namespace pexo
