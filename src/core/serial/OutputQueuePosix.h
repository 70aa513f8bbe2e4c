#pragma once

#include <cstddef>

namespace pexo {

// Bytes the driver holds that have not gone out on the line yet: its output queue, plus one
// while a UART's transmitter is still shifting (where the driver tells). 0 when the driver
// cannot say, so that a writer never waits on a count it will not get.
std::size_t driverOutputPending(int fd);

} // namespace pexo
