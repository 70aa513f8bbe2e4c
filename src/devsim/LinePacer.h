#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace pexo::devsim {

// Paces one direction of an emulated serial line: 10 bits a byte at the given rate, so the
// n-th byte of a burst moves no sooner than n byte times after the burst began.
// Time is passed in, so the arithmetic is testable without a clock.
class LinePacer {
public:
    using Clock = std::chrono::steady_clock;

    // A rate of 0 paces nothing.
    explicit LinePacer(std::uint32_t bitsPerSecond);

    bool limited() const { return byteTime_.count() > 0; }
    std::chrono::nanoseconds byteTime() const { return byteTime_; }

    // Bytes became available at `now` after the line had been idle: the first of them takes
    // one byte time on the line, and a pause earns no burst.
    void startBurst(Clock::time_point now);
    // How many bytes may move at `now` (0: none before readyAt()); unlimited lines allow any.
    std::size_t allowance(Clock::time_point now) const;
    Clock::time_point readyAt() const { return readyAt_; }
    // When `count` bytes (at least one) may have moved.
    Clock::time_point readyAt(std::size_t count) const;
    // How many bytes the line carries in `span` (at least one); unlimited lines: one.
    std::size_t bytesIn(std::chrono::nanoseconds span) const;
    void moved(std::size_t count);

private:
    std::chrono::nanoseconds byteTime_{0};
    Clock::time_point readyAt_{};
};

} // namespace pexo::devsim
