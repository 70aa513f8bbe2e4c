#pragma once

#include <windows.h>

#include <string>

namespace pexo {

struct PortHandles {
    HANDLE port = INVALID_HANDLE_VALUE; // opened for overlapped I/O
    HANDLE wake = nullptr;   // manual-reset event set by closePort: the reader and writers leave
    HANDLE cancel = nullptr; // manual-reset event set by cancelPortWrites: writers leave
    HANDLE claim = nullptr;  // named event that marks the port as ours (PortOpenWindows.cpp)
};

// The driver's error bits (CE_*), cleared; 0 when there are none or they cannot be read.
DWORD takeCommErrors(HANDLE port);

// Cancels the pending I/O of `ov` and waits until it has ended; returns the bytes it moved.
// The OVERLAPPED may be reused or dropped afterwards.
DWORD withdrawIo(HANDLE port, OVERLAPPED& ov);

// What the driver still holds of what was written; 0 when it cannot say.
std::size_t driverOutputPending(HANDLE port);

// The port number as DownloadContext::commHandle keeps it. Kernel handles fit 32 bits (Windows
// keeps them so for 32-bit programs), and are positive multiples of 4.
inline int handleNumber(HANDLE h) {
    return static_cast<int>(reinterpret_cast<INT_PTR>(h));
}

// Win32 errors after which the port will not read or write again: the device was unplugged
// or its driver gave up. ERROR_OPERATION_ABORTED counts only when we did not cancel.
inline bool portVanished(DWORD error) {
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_BAD_COMMAND:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_GEN_FAILURE:
    case ERROR_INVALID_HANDLE:
    case ERROR_NOT_READY:
    case ERROR_OPERATION_ABORTED:
    case ERROR_FILE_NOT_FOUND:
        return true;
    default:
        return false;
    }
}

} // namespace pexo
