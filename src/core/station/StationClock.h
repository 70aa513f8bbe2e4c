#pragma once

#include <chrono>

namespace pexo {

// Time as the station reads it: the steady clock for its deadlines, the calendar for its
// records. Tests put a clock of their own here, so that nothing in them waits.
class StationClock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    using WallTime = std::chrono::system_clock::time_point;

    virtual ~StationClock() = default;
    virtual TimePoint now() const = 0;
    virtual WallTime wallNow() const = 0;
};

class SystemStationClock : public StationClock {
public:
    TimePoint now() const override { return std::chrono::steady_clock::now(); }
    WallTime wallNow() const override { return std::chrono::system_clock::now(); }
};

} // namespace pexo
