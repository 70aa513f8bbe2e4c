#include "core/protocol/TickClock.h"

#include <chrono>

namespace pexo {

std::uint32_t steadyTickMs() {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<std::uint32_t>(ms.count());
}

} // namespace pexo
