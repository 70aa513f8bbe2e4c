// Apart from the tests: the kernel's termios2 and glibc's termios.h clash.
#include "Termios2Probe.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace pexo::test {

std::uint32_t kernelOutputRate(int fd) {
    termios2 t{};
    return ::ioctl(fd, TCGETS2, &t) == 0 ? t.c_ospeed : 0;
}

} // namespace pexo::test
