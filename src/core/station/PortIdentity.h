#pragma once

#include "core/serial/PortDescription.h"

#include <functional>
#include <optional>
#include <string>

namespace pexo {

// What a record says of the port a device was flashed on.
struct PortIdentity {
    std::string device;                // the resolved device path
    std::optional<std::string> byId;   // the /dev/serial/by-id name that points at it
    std::optional<std::string> byPath; // the /dev/serial/by-path name that points at it
    std::optional<UsbIdentity> usb;
};

using DescribePort = std::function<PortIdentity(const std::string& path)>;

// The port at `path` as the system describes it; a path that names nothing now keeps its
// own name as the device.
PortIdentity describeDevicePath(const std::string& path, const DeviceTree& tree = {});

} // namespace pexo
