#include "core/protocol/DownloadContext.h"
#include "core/serial/LineSettingsWindows.h"
#include "core/serial/PortFailure.h"
#include "core/serial/PortHandlesWindows.h"
#include "core/serial/PortOpenFailure.h"
#include "core/serial/SerialLink.h"
#include "core/serial/SerialPort.h"

namespace pexo {
namespace {

int win32Failure(std::string* failure, const std::string& what, DWORD err) {
    return portFailure(failure, what + ": " + systemErrorText(static_cast<int>(err)));
}

} // namespace

int configurePort(DownloadContext& ctx, std::string* failure) {
    const std::shared_ptr<SerialLink> link = ctx.serialLink;
    HANDLE port = INVALID_HANDLE_VALUE;
    std::string path;
    if (link) {
        std::lock_guard lock(link->mutex);
        if (link->isOpen())
            port = link->handles->port;
        path = link->path;
    }
    if (port == INVALID_HANDLE_VALUE)
        return portFailure(failure, "the serial port is not open");

    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(port, &dcb))
        return win32Failure(failure, "cannot read the line settings of " + path, ::GetLastError());
    std::string why;
    if (!applyLineSettings(dcb, lineSettingsOf(ctx), &why))
        return portFailure(failure, path + ": " + why);
    if (!::SetCommState(port, &dcb))
        return win32Failure(failure, "line settings rejected by " + path, ::GetLastError());
    return 1;
}

} // namespace pexo
