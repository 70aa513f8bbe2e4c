#include "core/serial/CommErrors.h"
#include "core/serial/PortHandlesWindows.h"

namespace pexo {

// Windows reports the error bits themselves (ClearCommError); there are no counters.
std::optional<LineErrorCounts> readLineErrorCounts(int) {
    return std::nullopt;
}

std::wstring widen(const std::string& text) {
    if (text.empty())
        return {};
    const int size = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                           static_cast<int>(text.size()), nullptr, 0);
    if (size <= 0)
        return {};
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                          static_cast<int>(text.size()), wide.data(), size);
    return wide;
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
