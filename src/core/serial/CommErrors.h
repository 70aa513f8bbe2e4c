#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace pexo {

// The communication-error bits of the texts shown with result 10, in the values the
// operators' documentation has always listed.
inline constexpr std::uint32_t kCeOverrun = 0x2;
inline constexpr std::uint32_t kCeRxParity = 0x4;
inline constexpr std::uint32_t kCeFrame = 0x8;
inline constexpr std::uint32_t kCeBreak = 0x10;
inline constexpr std::uint32_t kCeIoError = 0x400;

// The driver's running error counts (TIOCGICOUNT).
struct LineErrorCounts {
    long frame = 0;
    long overrun = 0; // hardware and buffer overruns together
    long parity = 0;
    long breaks = 0;
};

// The port's counts, or none when its driver keeps none (pseudo-terminals, some adapters).
std::optional<LineErrorCounts> readLineErrorCounts(int fd);

// The bits for the errors counted between `before` and `after`, plus kCeIoError when the
// failure was an I/O error or hang-up. Without both counts only the I/O bit can be known.
std::uint32_t commErrorBits(const std::optional<LineErrorCounts>& before,
                            const std::optional<LineErrorCounts>& after, bool ioError);

// "<CE-%u>"
std::string commErrorText(std::uint32_t bits);
// "Write Timeout: Total of %ld bytes sent"
std::string writeTimeoutText(long bytesSent);

} // namespace pexo
