#include "core/serial/CommErrors.h"

#include <linux/serial.h>
#include <sys/ioctl.h>

namespace pexo {

std::optional<LineErrorCounts> readLineErrorCounts(int fd) {
    serial_icounter_struct raw{};
    if (::ioctl(fd, TIOCGICOUNT, &raw) != 0)
        return std::nullopt;
    LineErrorCounts counts;
    counts.frame = raw.frame;
    counts.overrun = static_cast<long>(raw.overrun) + raw.buf_overrun;
    counts.parity = raw.parity;
    counts.breaks = raw.brk;
    return counts;
}

} // namespace pexo
