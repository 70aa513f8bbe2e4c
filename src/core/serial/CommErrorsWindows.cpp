#include "core/serial/CommErrors.h"
#include "core/serial/PortHandlesWindows.h"

namespace pexo {

// Windows reports the error bits themselves (ClearCommError); there are no counters.
std::optional<LineErrorCounts> readLineErrorCounts(int) {
    return std::nullopt;
}

DWORD takeCommErrors(HANDLE port) {
    DWORD errors = 0;
    COMSTAT status{};
    return ::ClearCommError(port, &errors, &status) ? errors : 0;
}

DWORD withdrawIo(HANDLE port, OVERLAPPED& ov) {
    // Wine misses a cancel that meets a write between two of its pieces (CancelIoEx finds
    // nothing, and the write goes on): cancel again until it has ended. Windows ends it at the
    // first, or it had ended already.
    constexpr DWORD kCancelRetryMs = 20;
    do
        ::CancelIoEx(port, &ov);
    while (::WaitForSingleObject(ov.hEvent, kCancelRetryMs) == WAIT_TIMEOUT);
    DWORD bytes = 0;
    ::GetOverlappedResult(port, &ov, &bytes, FALSE);
    return bytes;
}

std::size_t driverOutputPending(HANDLE port) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(port, &errors, &status))
        return 0;
    return status.cbOutQue;
}

} // namespace pexo
