#pragma once

#include <functional>
#include <optional>
#include <string>

namespace pexo {

// The USB device behind a serial port, as the system names it.
struct UsbRecord {
    std::string vid, pid, serial, manufacturer, product;
};

// What a record says of the port a device was flashed on.
struct PortIdentity {
    std::string device;                // the resolved device path
    std::optional<std::string> byId;   // the /dev/serial/by-id name that points at it
    std::optional<std::string> byPath; // the /dev/serial/by-path name that points at it
    std::optional<UsbRecord> usb;
};

using DescribePort = std::function<PortIdentity(const std::string& path)>;

// The port's device path with every symbolic link resolved; the path itself when it cannot
// be resolved.
PortIdentity describeDevicePath(const std::string& path);

} // namespace pexo
