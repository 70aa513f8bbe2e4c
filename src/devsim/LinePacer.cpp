#include "devsim/LinePacer.h"

#include <algorithm>
#include <limits>

namespace pexo::devsim {

LinePacer::LinePacer(std::uint32_t bitsPerSecond) {
    if (bitsPerSecond > 0)
        byteTime_ = std::chrono::nanoseconds(10'000'000'000LL / bitsPerSecond);
    // A rate above 10 Gbit/s rounds to 0 ns a byte; keep it paced, at the finest step.
    if (bitsPerSecond > 0 && byteTime_.count() == 0)
        byteTime_ = std::chrono::nanoseconds(1);
}

void LinePacer::startBurst(Clock::time_point now) {
    if (limited())
        readyAt_ = std::max(readyAt_, now + byteTime_);
}

std::size_t LinePacer::allowance(Clock::time_point now) const {
    if (!limited())
        return std::numeric_limits<std::size_t>::max();
    if (now < readyAt_)
        return 0;
    return 1 + static_cast<std::size_t>((now - readyAt_) / byteTime_);
}

LinePacer::Clock::time_point LinePacer::readyAt(std::size_t count) const {
    if (!limited() || count <= 1)
        return readyAt_;
    // Past a day of line time the wait is no different in practice, and the product stays
    // far inside the clock's range.
    const auto extra = static_cast<std::int64_t>(
        std::min<std::size_t>(count - 1, std::chrono::hours(24) / byteTime_));
    return readyAt_ + byteTime_ * extra;
}

std::size_t LinePacer::bytesIn(std::chrono::nanoseconds span) const {
    if (!limited() || span <= byteTime_)
        return 1;
    return static_cast<std::size_t>(span / byteTime_);
}

void LinePacer::moved(std::size_t count) {
    if (limited())
        readyAt_ += byteTime_ * static_cast<std::int64_t>(count);
}

} // namespace pexo::devsim
