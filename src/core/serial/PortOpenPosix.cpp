#include "core/protocol/DownloadContext.h"
#include "core/serial/PortHandlesPosix.h"
#include "core/serial/PortOpenFailure.h"
#include "core/serial/PortPlatform.h"
#include "core/serial/SerialLink.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace pexo {
namespace {

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

void setModemLines(int fd, unsigned long request, int lines) {
    // Pseudo-terminals and some adapters have no modem lines; that is no failure.
    (void)::ioctl(fd, request, &lines);
}

} // namespace

SerialLink::SerialLink() = default;
SerialLink::~SerialLink() = default;

std::unique_ptr<PortHandles> openPortDevice(const DownloadContext&, const std::string& path,
                                            PortOpenFailure* failure) {
    const int fd = openExclusive(path, failure);
    if (fd < 0)
        return nullptr;
    const int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    const int cancelFd = wakeFd < 0 ? -1 : ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (cancelFd < 0) {
        const int err = errno;
        if (wakeFd >= 0)
            ::close(wakeFd);
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        failed(failure, path, err);
        return nullptr;
    }
    ::tcflush(fd, TCIOFLUSH);
    auto handles = std::make_unique<PortHandles>();
    handles->fd = fd;
    handles->wakeFd = wakeFd;
    handles->cancelFd = cancelFd;
    handles->reportedCounts = readLineErrorCounts(fd);
    return handles;
}

int portHandleNumber(const PortHandles& handles) {
    return handles.fd;
}

void raiseModemLines(const DownloadContext& ctx, PortHandles& handles) {
    // RTS follows CTS under the handshake; otherwise it is held on, as DTR always is.
    setModemLines(handles.fd, TIOCMBIS, TIOCM_DTR | ((ctx.flowControl & 0x02) ? 0 : TIOCM_RTS));
}

void wakeForClose(PortHandles& handles) {
    // Level-triggered: stays readable, so the reader and every writer see it.
    const std::uint64_t one = 1;
    (void)!::write(handles.wakeFd, &one, sizeof one);
}

void dropLine(PortHandles& handles) {
    setModemLines(handles.fd, TIOCMBIC, TIOCM_DTR);
    ::tcflush(handles.fd, TCIOFLUSH);
}

// No longer exclusive (the tty outlives us when others hold it open), lock and descriptors
// released.
void closePortDevice(PortHandles& handles) {
    ::ioctl(handles.fd, TIOCNXCL);
    ::close(handles.fd);
    ::close(handles.wakeFd);
    ::close(handles.cancelFd);
}

} // namespace pexo
