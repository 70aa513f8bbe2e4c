#include "core/settings/CommLists.h"

namespace pexo {
namespace {

template <typename T, std::size_t N> bool inList(const std::array<T, N>&, std::int32_t position) {
    return position >= 0 && static_cast<std::size_t>(position) < N;
}

} // namespace

std::int32_t positionIn(std::span<const std::string_view> list, std::string_view entry) {
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i] == entry)
            return static_cast<std::int32_t>(i);
    return -1;
}

std::uint8_t portNumberFor(std::int32_t port) {
    return port == 1 ? 2 : 1;
}

std::uint32_t baudRateFor(std::int32_t position) {
    static constexpr std::array<std::uint32_t, kBaudRateList.size()> kRates{
        110,   300,   600,   1200,  2400,   4800,   9600,  14400,
        19200, 38400, 56000, 57600, 115200, 128000, 256000};
    return inList(kRates, position) ? kRates[static_cast<std::size_t>(position)] : 57600;
}

std::uint8_t dataBitsFor(std::int32_t position) {
    return position >= 0 && position <= 2 ? static_cast<std::uint8_t>(5 + position) : 8;
}

std::uint8_t parityCodeFor(std::int32_t position) {
    // The list reads None, Even, Odd; the port counts none, odd, even.
    switch (position) {
    case 1:
        return 2;
    case 2:
        return 1;
    default:
        return 0;
    }
}

std::uint8_t stopBitsCodeFor(std::int32_t position) {
    return position == 1 || position == 2 ? static_cast<std::uint8_t>(position) : 0;
}

std::uint8_t sectorSizeCodeFor(std::int32_t code61) {
    return inList(kSectorSizeList, code61) ? static_cast<std::uint8_t>(code61 + 1) : 4;
}

FlowChecks flowChecksFrom(std::int32_t flow) {
    return FlowChecks{(flow & 1) != 0, (flow & 2) != 0, (flow & 4) != 0};
}

std::int32_t flowFrom(FlowChecks checks) {
    return (checks.dtrDsr ? 1 : 0) + (checks.rtsCts ? 2 : 0) + (checks.xonXoff ? 4 : 0);
}

} // namespace pexo
