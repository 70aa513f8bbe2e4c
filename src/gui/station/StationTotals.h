#pragma once

#include "core/station/PortState.h"

#include <QString>
#include <chrono>
#include <optional>
#include <vector>

namespace pexo::gui {

// The station's figures over a session: devices passed and failed on every port, the yield
// and the pace.
struct StationTotals {
    unsigned passed = 0;
    unsigned failed = 0;
    std::chrono::steady_clock::duration session{};

    static StationTotals of(const std::vector<PortSnapshot>& ports,
                            std::chrono::steady_clock::duration session);
    // Empty until a device has ended.
    std::optional<double> yieldPercent() const;
    // Empty until a device has ended.
    std::optional<double> devicesPerHour() const;
    // "Passed: 7   Failed: 1   Yield: 87.5 %   Devices per hour: 41.3"
    QString text() const;
};

} // namespace pexo::gui
