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

void LinePacer::moved(std::size_t count) {
    if (limited())
        readyAt_ += byteTime_ * static_cast<std::int64_t>(count);
}

} // namespace pexo::devsim
