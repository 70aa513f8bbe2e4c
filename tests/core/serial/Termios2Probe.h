#pragma once

#include <cstdint>

namespace pexo::test {

// The output rate the kernel keeps for the tty, in bits per second (0 when unreadable).
std::uint32_t kernelOutputRate(int fd);

} // namespace pexo::test
