#pragma once

#include "support/PeerLine.h" // waitUntil

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pexo::test {

// A pseudo-terminal standing in for a serial device. The port side (the slave) is what the
// code under test opens by path(); the device side (the master) is driven by the test.
// The slave starts raw, so bytes pass unchanged before the code under test configures it.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return master_ >= 0; }
    const std::string& path() const { return path_; }
    const std::string& portName() const { return path_; } // as PeerLine names it
    int masterFd() const { return master_; }
    // The test's own descriptor of the port side: it keeps the tty alive and lets the test
    // look at its state (queued bytes, settings) without taking bytes from it.
    int slaveFd() const { return slave_; }

    // Writes all of `bytes` as the device. False when the device side is closed.
    bool sendFromDevice(const std::vector<std::uint8_t>& bytes);
    // Reads exactly `count` bytes the port sent, or fewer when `timeout` passes first.
    std::vector<std::uint8_t> receiveOnDevice(std::size_t count, std::chrono::milliseconds timeout);
    // The device disappears: its side of the line closes.
    void closeDevice();

    // Bytes waiting to be read on the port side.
    std::size_t bytesWaitingForPort() const;
    // Bytes the port sent that the device has not read yet.
    std::size_t bytesWaitingForDevice() const;
    // Whether the port side could take a write now (false while stopped by XOFF or full).
    bool portWritable() const;

private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};

} // namespace pexo::test
