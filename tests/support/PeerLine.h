#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace pexo::test {

// The far end of a serial line, driven by the test as the device. The port the code under
// test opens is portName(). On Linux a pseudo-terminal pair (PtyPair); on Windows under Wine
// the second COM port of the pair the test runner joins (PEXO_WINE_PTY_PAIR=COM7:COM8: the
// port is COM7, the device COM8).
class PeerLine {
public:
    PeerLine();
    ~PeerLine();
    PeerLine(const PeerLine&) = delete;
    PeerLine& operator=(const PeerLine&) = delete;

    bool ok() const;
    const std::string& portName() const;

    // Writes all of `bytes` as the device. False when the device side is closed or fails.
    bool sendFromDevice(const std::vector<std::uint8_t>& bytes);
    // Reads exactly `count` bytes the port sent, or fewer when `timeout` passes first.
    std::vector<std::uint8_t> receiveOnDevice(std::size_t count, std::chrono::milliseconds timeout);

private:
    struct Device;
    std::unique_ptr<Device> device_;
};

// Bytes that reached the open port (ctx.commHandle) and are not read yet.
std::size_t bytesQueuedAtPort(int commHandle);

// Descriptors or handles this process holds, to show a failed open leaves none behind.
int openHandleCount();

// Re-checks `condition` until it holds or `timeout` passes; true when it held. For states
// the system changes without telling anyone (flow control taking effect, bytes arriving).
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

} // namespace pexo::test
