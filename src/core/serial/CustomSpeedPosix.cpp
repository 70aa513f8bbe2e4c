// Kept apart: the kernel's termios2 and glibc's termios.h cannot share a translation unit.
#include "core/serial/CustomSpeedPosix.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace pexo {

bool setCustomSpeed(int fd, std::uint32_t baudRate) {
    termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        return false;
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = baudRate;
    t.c_ospeed = baudRate;
    return ::ioctl(fd, TCSETS2, &t) == 0;
}

std::optional<std::uint32_t> readLineSpeed(int fd) {
    termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        return std::nullopt;
    return t.c_ospeed;
}

} // namespace pexo
