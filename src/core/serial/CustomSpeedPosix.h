#pragma once

#include <cstdint>
#include <optional>

namespace pexo {

// Sets a rate termios has no name for (14400, 56000, 128000, 256000 among the ones the
// operator can pick) through the kernel's BOTHER interface; the driver picks its nearest
// divisor. Returns false when the driver refuses it.
bool setCustomSpeed(int fd, std::uint32_t baudRate);

// The output rate the driver runs the line at, whatever the rate was set by; none when it
// cannot be read.
std::optional<std::uint32_t> readLineSpeed(int fd);

} // namespace pexo
