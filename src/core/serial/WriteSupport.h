#pragma once

#include "core/serial/SerialLink.h"
#include "core/serial/SerialPort.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace pexo {

struct DownloadContext;

inline constexpr std::int32_t kSerialError = 10;

// Holds the port open for one write: closePort waits for every lease to end before it
// releases the handles, so a woken writer never touches a reused descriptor or handle.
class WriterLease {
public:
    explicit WriterLease(SerialLink& link);
    ~WriterLease();
    WriterLease(const WriterLease&) = delete;
    WriterLease& operator=(const WriterLease&) = delete;
    explicit operator bool() const { return held_; }

private:
    SerialLink& link_;
    bool held_ = false;
};

// The two limits as one moving deadline: the total one is fixed, the stall one restarts
// whenever the line makes progress.
class WriteClock {
public:
    using Clock = std::chrono::steady_clock;
    explicit WriteClock(WriteLimits limits);
    void progressed() { lastProgress_ = Clock::now(); }
    // Time left before a limit passes; none when there is no limit.
    std::optional<std::chrono::milliseconds> left() const;

private:
    WriteLimits limits_;
    Clock::time_point start_;
    Clock::time_point lastProgress_;
};

// How long `pending` bytes take on the line, 10 bits each; at least a millisecond and at
// most the interval between looks at a queue that cannot be waited on.
std::chrono::milliseconds drainTime(std::size_t pending, std::uint32_t baudRate);

// Result 10 with "Write Timeout: Total of %ld bytes sent".
void recordShortWrite(DownloadContext& ctx, std::size_t sent);
// Result 10 with "<CE-%u>".
void recordCommError(DownloadContext& ctx, std::uint32_t bits);

} // namespace pexo
