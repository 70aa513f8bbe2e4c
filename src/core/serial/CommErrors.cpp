#include "core/serial/CommErrors.h"

#include <cstdio>

namespace pexo {

std::uint32_t commErrorBits(const std::optional<LineErrorCounts>& before,
                            const std::optional<LineErrorCounts>& after, bool ioError) {
    std::uint32_t bits = ioError ? kCeIoError : 0;
    if (before && after) {
        // Counters only grow; a driver that reset them is not reporting new errors.
        if (after->frame > before->frame)
            bits |= kCeFrame;
        if (after->overrun > before->overrun)
            bits |= kCeOverrun;
        if (after->parity > before->parity)
            bits |= kCeRxParity;
        if (after->breaks > before->breaks)
            bits |= kCeBreak;
    }
    return bits;
}

std::string commErrorText(std::uint32_t bits) {
    char text[32];
    std::snprintf(text, sizeof text, "<CE-%u>", static_cast<unsigned>(bits));
    return text;
}

std::string writeTimeoutText(long bytesSent) {
    char text[64];
    std::snprintf(text, sizeof text, "Write Timeout: Total of %ld bytes sent", bytesSent);
    return text;
}

} // namespace pexo
