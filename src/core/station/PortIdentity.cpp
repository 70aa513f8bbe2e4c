#include "core/station/PortIdentity.h"

namespace pexo {
namespace {

std::optional<std::string> unlessEmpty(const std::string& text) {
    return text.empty() ? std::nullopt : std::optional(text);
}

} // namespace

PortIdentity describeDevicePath(const std::string& path, const DeviceTree& tree) {
    PortIdentity identity;
    const std::optional<PortDescription> description = describePort(path, tree);
    if (!description) {
        identity.device = path;
        return identity;
    }
    identity.device = description->path;
    identity.byId = unlessEmpty(description->byId);
    identity.byPath = unlessEmpty(description->byPath);
    identity.usb = description->usb;
    return identity;
}

} // namespace pexo
