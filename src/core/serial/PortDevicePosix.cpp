#include "core/serial/PortDevice.h"

#include "core/protocol/DownloadContext.h"
#include "core/settings/PortDevices.h"

namespace pexo {

std::string resolvePortDevice(const DownloadContext& ctx) {
    if (!ctx.devicePath.empty())
        return ctx.devicePath;
    PortDevices devices;
#ifdef PEXO_HAVE_PORT_DEVICES
    // A missing file or key keeps the built-in path, which is what we want here too.
    LoadPortDevices(devices);
#endif
    return devices.pathFor(ctx.portNumber);
}

} // namespace pexo
