#include "core/app/Utf16.h"
#include "core/protocol/DownloadContext.h"
#include "core/serial/PortHandlesWindows.h"
#include "core/serial/PortOpenFailure.h"
#include "core/serial/PortPlatform.h"
#include "core/serial/SerialLink.h"

#include <cctype>

namespace pexo {
namespace {

// Queue sizes the driver is asked for (receive, transmit).
constexpr DWORD kReceiveQueue = 4096;
constexpr DWORD kTransmitQueue = 8208;
// The reader waits for bytes with finite time-outs: a read ends a few milliseconds after the
// line falls quiet, or after the constant when nothing came. (It does not use WaitCommEvent:
// Wine cannot wait for comm events on a pseudo-terminal, and the read does the same job.)
constexpr DWORD kReadIntervalMs = 5;
constexpr DWORD kReadTotalMs = 50;

std::unique_ptr<PortHandles> refused(PortOpenFailure* failure, const std::string& path,
                                     DWORD err) {
    if (failure)
        *failure = explainPortOpenFailure(path, static_cast<int>(err));
    return nullptr;
}

// "COM12" and "com12" become "\\.\COM12": above COM9 only the device namespace finds them.
std::string deviceName(const std::string& name) {
    if (name.rfind("\\\\.\\", 0) == 0)
        return name;
    if (name.size() > 3 && std::toupper(static_cast<unsigned char>(name[0])) == 'C' &&
        std::toupper(static_cast<unsigned char>(name[1])) == 'O' &&
        std::toupper(static_cast<unsigned char>(name[2])) == 'M' &&
        name.find_first_not_of("0123456789", 3) == std::string::npos)
        return "\\\\.\\COM" + name.substr(3);
    return name;
}

// Windows opens a port for one holder only; Wine lets a second CreateFileW of the same
// pseudo-terminal through. A named event per port, made by whoever holds it, keeps a second
// opening out there too (and costs nothing where the system already refuses it).
HANDLE claimPort(const std::string& device) {
    std::string name = device.rfind("\\\\.\\", 0) == 0 ? device.substr(4) : device;
    for (char& c : name)
        c = (c == '\\') ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::optional<std::wstring> wide = toUtf16("Local\\pexo-serial-port-" + name);
    if (!wide) {
        ::SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    const HANDLE claim = ::CreateEventW(nullptr, TRUE, FALSE, wide->c_str());
    if (claim && ::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(claim);
        ::SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return claim;
}

HANDLE manualResetEvent() {
    return ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

void closeHandles(PortHandles& h) {
    if (h.port != INVALID_HANDLE_VALUE)
        ::CloseHandle(h.port);
    if (h.wake)
        ::CloseHandle(h.wake);
    if (h.cancel)
        ::CloseHandle(h.cancel);
    if (h.claim)
        ::CloseHandle(h.claim);
    h = PortHandles{};
}

void purge(HANDLE port) {
    ::PurgeComm(port, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
}

} // namespace

SerialLink::SerialLink() = default;
SerialLink::~SerialLink() = default;

std::unique_ptr<PortHandles> openPortDevice(const DownloadContext& ctx, const std::string& path,
                                            PortOpenFailure* failure) {
    const std::string device = deviceName(path);
    const std::optional<std::wstring> wide = toUtf16(device);
    if (!wide)
        return refused(failure, path, ERROR_INVALID_NAME);
    PortHandles h;
    h.claim = claimPort(device);
    if (!h.claim)
        return refused(failure, path, ::GetLastError());
    // No sharing: the port is this program's alone until closePort.
    h.port = ::CreateFileW(wide->c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
    if (h.port == INVALID_HANDLE_VALUE) {
        const DWORD err = ::GetLastError();
        closeHandles(h);
        return refused(failure, path, err);
    }
    h.wake = manualResetEvent();
    h.cancel = manualResetEvent();
    if (!h.wake || !h.cancel) {
        const DWORD err = ::GetLastError();
        closeHandles(h);
        return refused(failure, path, err);
    }
    if (::GetFileType(h.port) != FILE_TYPE_CHAR) {
        closeHandles(h);
        if (failure) {
            *failure = PortOpenFailure{};
            failure->problem = PortProblem::NotSerial;
            failure->port = path;
        }
        return nullptr;
    }

    // Their results are ignored: a driver without queues of its own still carries the line.
    ::SetupComm(h.port, kReceiveQueue, kTransmitQueue);
    purge(h.port);
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = kReadIntervalMs;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = kReadTotalMs;
    // The driver's own limit for a write; writePort keeps the same one (and others) itself.
    timeouts.WriteTotalTimeoutMultiplier = ctx.baudRate ? 19200u / ctx.baudRate : 0;
    timeouts.WriteTotalTimeoutConstant = 0;
    ::SetCommTimeouts(h.port, &timeouts);
    (void)takeCommErrors(h.port);

    return std::make_unique<PortHandles>(h);
}

int portHandleNumber(const PortHandles& handles) {
    return handleNumber(handles.port);
}

void raiseModemLines(const DownloadContext&, PortHandles& handles) {
    // Some lines have no DTR to raise (Wine on a pseudo-terminal refuses it); that is no
    // failure, as on Linux.
    (void)::EscapeCommFunction(handles.port, SETDTR);
}

void wakeForClose(PortHandles& handles) {
    // Manual-reset: stays set, so the reader and every writer see it.
    ::SetEvent(handles.wake);
}

void dropLine(PortHandles& handles) {
    (void)::EscapeCommFunction(handles.port, CLRDTR);
    purge(handles.port);
}

void closePortDevice(PortHandles& handles) {
    closeHandles(handles);
}

} // namespace pexo
