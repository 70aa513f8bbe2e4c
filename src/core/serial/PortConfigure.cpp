#include "core/app/Host.h"
#include "core/protocol/DownloadContext.h"
#include "core/serial/CustomSpeed.h"
#include "core/serial/LineSettings.h"
#include "core/serial/PortFailure.h"
#include "core/serial/SerialLink.h"
#include "core/serial/SerialPort.h"

#include <termios.h>

#include <cerrno>

namespace pexo {

int configurePort(DownloadContext& ctx, std::string* failure) {
    const std::shared_ptr<SerialLink> link = ctx.serialLink;
    int fd = -1;
    std::string path;
    if (link) {
        std::lock_guard lock(link->mutex);
        fd = link->fd;
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
    // What the driver makes of the settings is not read back: pseudo-terminals, for one,
    // quietly keep 8 data bits without parity.
    if (::tcsetattr(fd, TCSANOW, &t) != 0)
        return portFailure(failure, "line settings rejected by " + path, errno);
    if (!standardSpeed(settings.baudRate) && !setCustomSpeed(fd, settings.baudRate))
        return portFailure(failure, path + ": unsupported baud rate " +
                                        std::to_string(settings.baudRate));
    return 1;
}

int configurePort(Host& host, std::string* failure) {
    DownloadContext* ctx = host.downloadContext();
    if (!ctx)
        return portFailure(failure, "there is no download context");
    return configurePort(*ctx, failure);
}

} // namespace pexo
