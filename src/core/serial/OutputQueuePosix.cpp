#include "core/serial/OutputQueuePosix.h"

#include <sys/ioctl.h>
#include <termios.h>

namespace pexo {

std::size_t driverOutputPending(int fd) {
    int queued = 0;
    if (::ioctl(fd, TIOCOUTQ, &queued) != 0 || queued < 0)
        queued = 0;
    if (queued > 0)
        return static_cast<std::size_t>(queued);
    // The queue empties into the UART's FIFO some bytes before they have gone. USB adapters
    // and pseudo-terminals do not answer this; then the queue is all that is known.
    int lsr = 0;
    if (::ioctl(fd, TIOCSERGETLSR, &lsr) == 0 && (lsr & TIOCSER_TEMT) == 0)
        return 1;
    return 0;
}

} // namespace pexo
