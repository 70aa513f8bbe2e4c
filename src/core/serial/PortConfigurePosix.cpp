#include "core/protocol/DownloadContext.h"
#include "core/serial/CustomSpeedPosix.h"
#include "core/serial/LineSettingsPosix.h"
#include "core/serial/PortHandlesPosix.h"
#include "core/serial/PortFailure.h"
#include "core/serial/SerialLink.h"
#include "core/serial/SerialPort.h"

#include <termios.h>

#include <cerrno>

namespace pexo {
namespace {

// A driver refuses a change it cannot make at all with EINVAL. Pseudo-terminals have no
// character framing: the first time they take the rest of the settings and keep 8N1 quietly,
// but once the line already holds everything else, asking again for parity is such a change.
// That is the same outcome as the first time, not a failure.
bool onlyUnsupportedFramingDiffers(int fd, const termios& wanted) {
    termios now{};
    if (::tcgetattr(fd, &now) != 0)
        return false;
    constexpr tcflag_t kFraming = CSIZE | CSTOPB | PARENB | PARODD;
    return (now.c_cflag & ~kFraming) == (wanted.c_cflag & ~kFraming) &&
           (now.c_iflag & ~INPCK) == (wanted.c_iflag & ~INPCK) &&
           now.c_oflag == wanted.c_oflag && now.c_lflag == wanted.c_lflag &&
           cfgetispeed(&now) == cfgetispeed(&wanted) && cfgetospeed(&now) == cfgetospeed(&wanted);
}

// A UART runs within a few per cent of its rate; a driver that could not come near it
// (a rate above its clock's reach) answers with the rate it kept instead.
bool runsAt(std::uint32_t actual, std::uint32_t wanted) {
    const std::uint64_t diff = actual > wanted ? actual - wanted : wanted - actual;
    return diff * 100 <= std::uint64_t{wanted} * 3;
}

} // namespace

int configurePort(DownloadContext& ctx, std::string* failure) {
    const std::shared_ptr<SerialLink> link = ctx.serialLink;
    int fd = -1;
    std::string path;
    if (link) {
        std::lock_guard lock(link->mutex);
        fd = link->isOpen() ? link->handles->fd : -1;
        path = link->path;
    }
    if (fd < 0)
        return portFailure(failure, "the serial port is not open");

    termios t{};
    if (::tcgetattr(fd, &t) != 0)
        return portFailure(failure, "cannot read the line settings of " + path, errno);
    const LineSettings settings = lineSettingsOf(ctx);
    std::string why;
    if (!applyLineSettings(t, settings, &why))
        return portFailure(failure, path + ": " + why);
    // The framing the driver makes of the settings is not read back: pseudo-terminals, for
    // one, quietly keep 8 data bits without parity. The rate is, below.
    if (::tcsetattr(fd, TCSANOW, &t) != 0) {
        const int err = errno;
        if (err != EINVAL || !onlyUnsupportedFramingDiffers(fd, t))
            return portFailure(failure, "line settings rejected by " + path, err);
    }
    if (!standardSpeed(settings.baudRate) && !setCustomSpeed(fd, settings.baudRate))
        return portFailure(failure, path + ": unsupported baud rate " +
                                        std::to_string(settings.baudRate));
    // Drivers take a rate they cannot run without complaint and keep another.
    if (const auto actual = readLineSpeed(fd); actual && !runsAt(*actual, settings.baudRate))
        return portFailure(failure, path + " cannot run at " + std::to_string(settings.baudRate) +
                                        " baud (it runs at " + std::to_string(*actual) + ")");
    return 1;
}

} // namespace pexo
