#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace pexo::devsim::test {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

// Generous: only a failing test ever waits this long.
inline constexpr std::chrono::milliseconds kDeadline = 5s;

// The host's end of the simulated line: the pty slave opened in raw mode, as the port is,
// with XON/XOFF flow control when asked.
class HostLine {
public:
    explicit HostLine(const std::string& path, bool xonXoff = false);
    HostLine(const HostLine&) = delete;
    HostLine& operator=(const HostLine&) = delete;
    ~HostLine();

    bool isOpen() const { return fd_ >= 0; }
    void close();

    void send(const Bytes& bytes);
    // Reads until `count` bytes have come or the deadline passes; returns what came.
    Bytes receive(std::size_t count, std::chrono::milliseconds deadline = kDeadline);
    // True once the device has taken the line down (hang-up, end of file or EIO).
    bool waitHangup(std::chrono::milliseconds deadline = kDeadline);
    // Writes `probe` now and then until the line refuses it, as it does once an XOFF has
    // stopped it; true when that happens before the deadline.
    bool waitWritesRefused(std::uint8_t probe, std::chrono::milliseconds deadline = kDeadline);

private:
    int fd_ = -1;
};

Bytes concat(std::initializer_list<Bytes> parts);
Bytes be32(std::uint32_t value);
std::uint32_t byteSum(const Bytes& bytes);

} // namespace pexo::devsim::test
