#include "core/protocol/DownloadContext.h"
#include "core/serial/PortDevice.h"
#include "core/serial/PortHandlesPosix.h"
#include "core/serial/PortOpenFailure.h"
#include "core/serial/ReaderThread.h"
#include "core/serial/SerialLink.h"
#include "core/serial/SerialPort.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace pexo {
namespace {

int failed(PortOpenFailure* failure, std::string detail) {
    if (failure) {
        *failure = PortOpenFailure{};
        failure->detail = std::move(detail);
    }
    return 0;
}

int failed(PortOpenFailure* failure, const std::string& path, int err) {
    if (failure)
        *failure = explainPortOpenFailure(path, err);
    return 0;
}

// Opens the device for this program alone. Root passes TIOCEXCL, so the flock is what
// keeps a second instance out; TIOCEXCL keeps out programs that do not flock.
int openExclusive(const std::string& path, PortOpenFailure* failure) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        failed(failure, path, errno);
        return -1;
    }
    int err = 0;
    if (!::isatty(fd)) {
        ::close(fd);
        if (failure) {
            *failure = PortOpenFailure{};
            failure->problem = PortProblem::NotSerial;
            failure->port = path;
        }
        return -1;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ioctl(fd, TIOCEXCL) != 0)
        err = errno;
    else
        return fd;
    ::close(fd);
    failed(failure, path, err);
    return -1;
}

// Gives the device back: no longer exclusive (the tty outlives us when others hold it
// open), lock and descriptors released.
void releaseDevice(DownloadContext& ctx, SerialLink& link) {
    std::unique_ptr<PortHandles> handles;
    {
        std::lock_guard lock(link.mutex);
        handles = std::move(link.handles);
        link.closing = false;
    }
    ::ioctl(handles->fd, TIOCNXCL);
    ::close(handles->fd);
    ::close(handles->wakeFd);
    ::close(handles->cancelFd);
    ctx.commHandle = -1;
}

void setModemLines(int fd, unsigned long request, int lines) {
    // Pseudo-terminals and some adapters have no modem lines; that is no failure.
    (void)::ioctl(fd, request, &lines);
}

} // namespace

SerialLink::SerialLink() = default;
SerialLink::~SerialLink() = default;

int openPort(DownloadContext& ctx, ReceiveSink sink, PortOpenFailure* failure) {
    if (!ctx.serialLink)
        ctx.serialLink = std::make_shared<SerialLink>();
    const std::shared_ptr<SerialLink> link = ctx.serialLink;
    {
        std::lock_guard lock(link->mutex);
        if (link->isOpen())
            return failed(failure, link->path + " is already open");
    }
    // A port left open by an earlier run would make this one's thread look like it.
    if (ctx.readerThread.joinable())
        return failed(failure, "the previous reader thread is still attached");

    const std::string path = resolvePortDevice(ctx);
    if (path.empty())
        return failed(failure, "no serial device is configured");
    const int fd = openExclusive(path, failure);
    if (fd < 0)
        return 0;
    const int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    const int cancelFd = wakeFd < 0 ? -1 : ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (cancelFd < 0) {
        const int err = errno;
        if (wakeFd >= 0)
            ::close(wakeFd);
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        return failed(failure, path, err);
    }
    ::tcflush(fd, TCIOFLUSH);
    {
        std::lock_guard lock(link->mutex);
        link->handles = std::make_unique<PortHandles>();
        link->handles->fd = fd;
        link->handles->wakeFd = wakeFd;
        link->handles->cancelFd = cancelFd;
        link->handles->reportedCounts = readLineErrorCounts(fd);
        link->path = path;
        link->closing = false;
        link->writesCancelled = false;
    }
    link->sink = std::move(sink);
    ctx.commHandle = fd;

    std::string refused;
    if (!configurePort(ctx, &refused)) {
        ctx.connected = false;
        releaseDevice(ctx, *link);
        link->sink = nullptr;
        return failed(failure, refused);
    }
    ctx.connected = true;
    if (!startReaderThread(ctx, link)) {
        ctx.connected = false;
        releaseDevice(ctx, *link);
        link->sink = nullptr;
        return failed(failure, "cannot start the serial reader thread");
    }
    // RTS follows CTS under the handshake; otherwise it is held on, as DTR always is.
    setModemLines(fd, TIOCMBIS, TIOCM_DTR | ((ctx.flowControl & 0x02) ? 0 : TIOCM_RTS));
    ctx.closeOpenPort = [](DownloadContext& open) { closePort(open); };
    return 1;
}

int closePort(DownloadContext& ctx) {
    ctx.connected = false;
    ctx.closeOpenPort = nullptr;
    const std::shared_ptr<SerialLink> link = ctx.serialLink;
    if (!link)
        return 1;
    bool open = false;
    {
        std::lock_guard lock(link->mutex);
        open = link->isOpen();
        if (open) {
            link->closing = true;
            // Level-triggered: stays readable, so the reader and every writer see it.
            const std::uint64_t one = 1;
            (void)!::write(link->handles->wakeFd, &one, sizeof one);
        }
    }
    if (!open) {
        joinReaderThread(ctx);
        return 1;
    }
    const bool joined = joinReaderThread(ctx);
    {
        // Woken writers leave at once; the descriptor must outlive them.
        std::unique_lock lock(link->mutex);
        link->writersGone.wait(lock, [&] { return link->activeWriters == 0; });
    }
    setModemLines(link->handles->fd, TIOCMBIC, TIOCM_DTR);
    ::tcflush(link->handles->fd, TCIOFLUSH);
    releaseDevice(ctx, *link);
    if (joined)
        link->sink = nullptr;
    return 1;
}

} // namespace pexo
