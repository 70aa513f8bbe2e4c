#include "gui/station/StationTotals.h"

namespace pexo::gui {

StationTotals StationTotals::of(const std::vector<PortSnapshot>& ports,
                                std::chrono::steady_clock::duration session) {
    StationTotals totals;
    for (const PortSnapshot& port : ports) {
        totals.passed += port.passed;
        totals.failed += port.failed;
    }
    totals.session = session;
    return totals;
}

std::optional<double> StationTotals::yieldPercent() const {
    const unsigned devices = passed + failed;
    if (devices == 0)
        return std::nullopt;
    return 100.0 * passed / devices;
}

std::optional<double> StationTotals::devicesPerHour() const {
    const unsigned devices = passed + failed;
    const double hours = std::chrono::duration<double, std::ratio<3600>>(session).count();
    if (devices == 0 || hours <= 0)
        return std::nullopt;
    return devices / hours;
}

QString StationTotals::text() const {
    const auto figure = [](std::optional<double> value, const char* unit) {
        return value ? QString::number(*value, 'f', 1) + QString::fromLatin1(unit)
                     : QStringLiteral("-");
    };
    return QStringLiteral("Passed: %1   Failed: %2   Yield: %3   Devices per hour: %4")
        .arg(passed)
        .arg(failed)
        .arg(figure(yieldPercent(), " %"), figure(devicesPerHour(), ""));
}

} // namespace pexo::gui
