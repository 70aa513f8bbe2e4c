#include "core/serial/ReaderThread.h"

#include "core/protocol/DownloadContext.h"
#include "core/serial/PortHandlesPosix.h"
#include "core/serial/SerialLink.h"

#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace pexo {
namespace {

enum class Drain { Empty, Closing, Gone };

// Hands over everything waiting, a chunk at a time. `connected` is checked before each
// read so that a device flooding the line cannot keep the thread from closing.
Drain drainPort(DownloadContext& ctx, SerialLink& link) {
    std::array<std::uint8_t, kReadChunkSize> chunk;
    while (ctx.connected.load()) {
        const ssize_t n = ::read(link.handles->fd, chunk.data(), chunk.size());
        if (n > 0) {
            if (link.sink)
                link.sink(std::span<const std::uint8_t>(chunk.data(), static_cast<std::size_t>(n)));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return Drain::Empty;
        // End of file is a hang-up; anything else is a line that will not read again.
        return Drain::Gone;
    }
    return Drain::Closing;
}

void readerLoop(DownloadContext& ctx, SerialLink& link) {
    pollfd fds[2] = {{link.handles->fd, POLLIN, 0}, {link.handles->wakeFd, POLLIN, 0}};
    while (ctx.connected.load()) {
        fds[0].revents = fds[1].revents = 0;
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents != 0)
            return; // closePort
        if (fds[0].revents & POLLIN) {
            if (drainPort(ctx, link) != Drain::Empty)
                return;
            continue;
        }
        // A device that is gone keeps poll returning at once; stop rather than spin. The
        // writer's next write reports the failure.
        if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL))
            return;
    }
}

} // namespace

void readPortUntilClosed(DownloadContext& ctx, SerialLink& link) {
    readerLoop(ctx, link);
}

std::uint32_t currentThreadNumber() {
    return static_cast<std::uint32_t>(::gettid());
}

} // namespace pexo
