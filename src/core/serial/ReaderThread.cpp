#include "core/serial/ReaderThread.h"

#include "core/protocol/DownloadContext.h"
#include "core/serial/SerialLink.h"

#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <future>
#include <system_error>

namespace pexo {
namespace {

enum class Drain { Empty, Closing, Gone };

// Hands over everything waiting, a chunk at a time. `connected` is checked before each
// read so that a device flooding the line cannot keep the thread from closing.
Drain drainPort(DownloadContext& ctx, SerialLink& link) {
    std::array<std::uint8_t, kReadChunkSize> chunk;
    while (ctx.connected.load()) {
        const ssize_t n = ::read(link.fd, chunk.data(), chunk.size());
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
    pollfd fds[2] = {{link.fd, POLLIN, 0}, {link.wakeFd, POLLIN, 0}};
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

void runReader(DownloadContext& ctx, std::shared_ptr<SerialLink> link,
               std::promise<void>& started) {
    ctx.readerThreadId.store(static_cast<std::uint32_t>(::gettid()));
    started.set_value();
    readerLoop(ctx, *link);
    // The last action: closePort and the owner learn from it that the thread is over.
    ctx.readerThreadId.store(0);
}

} // namespace

bool startReaderThread(DownloadContext& ctx, const std::shared_ptr<SerialLink>& link) {
    std::promise<void> started;
    std::future<void> running = started.get_future();
    try {
        ctx.readerThread = std::thread(runReader, std::ref(ctx), link, std::ref(started));
    } catch (const std::system_error&) {
        return false;
    }
    running.wait();
    return true;
}

bool joinReaderThread(DownloadContext& ctx) {
    if (!ctx.readerThread.joinable())
        return true;
    if (ctx.readerThread.get_id() == std::this_thread::get_id()) {
        // Closed from within the sink: the loop ends as soon as the sink returns.
        ctx.readerThread.detach();
        return false;
    }
    ctx.readerThread.join();
    return true;
}

} // namespace pexo
