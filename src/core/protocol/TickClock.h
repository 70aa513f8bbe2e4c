#pragma once

#include <cstdint>
#include <functional>

namespace pexo {

// A millisecond tick counter that wraps at 32 bits; compare ticks by their difference.
using TickClock = std::function<std::uint32_t()>;

// The monotonic clock in milliseconds, truncated to 32 bits.
std::uint32_t steadyTickMs();

} // namespace pexo
