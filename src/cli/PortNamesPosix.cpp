#include "cli/PortNames.h"

namespace pexo::cli {

std::string comDevicePath(int number, const PortDevices& devices) {
    return devices.pathFor(number);
}

std::optional<NamedPort> otherPort(const std::string& name) {
    if (name.empty() || name.front() != '/')
        return std::nullopt;
    return NamedPort{name, name, 0};
}

const char* portNameRule() {
    return "is not COM1, COM2 or a device path.";
}

} // namespace pexo::cli
