#include "support/PeerLine.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>

namespace pexo::test {
namespace {

// The pair the test runner joined: "COM7:COM8" gives the port COM7 and the device COM8.
std::pair<std::string, std::string> joinedPair() {
    const char* pair = std::getenv("PEXO_WINE_PTY_PAIR");
    const std::string text = pair ? pair : "";
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos)
        return {};
    return {text.substr(0, colon), text.substr(colon + 1)};
}

HANDLE openDevice(const std::string& name) {
    const std::wstring wide = L"\\\\.\\" + std::wstring(name.begin(), name.end());
    const HANDLE h = ::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return h;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ::GetCommState(h, &dcb);
    dcb.BaudRate = 115200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = dcb.fOutX = dcb.fInX = FALSE;
    ::SetCommState(h, &dcb);
    // Short reads that the receiver repeats until its deadline.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 5;
    timeouts.ReadTotalTimeoutConstant = 20;
    ::SetCommTimeouts(h, &timeouts);
    ::PurgeComm(h, PURGE_RXCLEAR | PURGE_TXCLEAR);
    return h;
}

} // namespace

struct PeerLine::Device {
    std::string port;
    HANDLE handle = INVALID_HANDLE_VALUE;
};

PeerLine::PeerLine() : device_(std::make_unique<Device>()) {
    const auto [port, device] = joinedPair();
    if (port.empty() || device.empty())
        return;
    device_->port = port;
    device_->handle = openDevice(device);
}

PeerLine::~PeerLine() {
    if (device_->handle != INVALID_HANDLE_VALUE)
        ::CloseHandle(device_->handle);
}

bool PeerLine::ok() const {
    return device_->handle != INVALID_HANDLE_VALUE;
}

const std::string& PeerLine::portName() const {
    return device_->port;
}

bool PeerLine::sendFromDevice(const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (ok() && done < bytes.size()) {
        DWORD n = 0;
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 65536));
        if (!::WriteFile(device_->handle, bytes.data() + done, piece, &n, nullptr))
            return false;
        done += n;
    }
    return done == bytes.size();
}

std::vector<std::uint8_t> PeerLine::receiveOnDevice(std::size_t count,
                                                    std::chrono::milliseconds timeout) {
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + timeout;
    std::vector<std::uint8_t> out;
    while (ok() && out.size() < count && clock::now() < deadline) {
        std::uint8_t buf[4096];
        const DWORD want = static_cast<DWORD>(std::min(sizeof buf, count - out.size()));
        DWORD n = 0;
        if (!::ReadFile(device_->handle, buf, want, &n, nullptr))
            break;
        out.insert(out.end(), buf, buf + n);
    }
    return out;
}

std::size_t bytesQueuedAtPort(int commHandle) {
    DWORD errors = 0;
    COMSTAT status{};
    const HANDLE port = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(commHandle));
    return commHandle >= 0 && ::ClearCommError(port, &errors, &status) ? status.cbInQue : 0;
}

int openHandleCount() {
    DWORD count = 0;
    ::GetProcessHandleCount(::GetCurrentProcess(), &count);
    return static_cast<int>(count);
}

} // namespace pexo::test
