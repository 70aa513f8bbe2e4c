#include "core/serial/PortDevice.h"

#include "core/protocol/DownloadContext.h"

namespace pexo {

// Windows names its ports itself: COM1 and COM2 are the devices of those names, as the
// command line has them, and the settings file's device paths are the Linux build's.
std::string resolvePortDevice(const DownloadContext& ctx) {
    if (!ctx.devicePath.empty())
        return ctx.devicePath;
    return ctx.portNumber == 2 ? "COM2" : "COM1";
}

} // namespace pexo
