#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pexo {

// What the USB device behind an adapter says about itself (its sysfs attributes).
struct UsbIdentity {
    std::string vid, pid; // 4 lower-case hex digits each
    std::string serial, manufacturer, product;
};

// A serial port as a person tells it apart from the others.
struct PortDescription {
    std::string path;   // the device node, e.g. /dev/ttyUSB0 (symlinks resolved)
    std::string byId;   // /dev/serial/by-id/... name pointing at it, or empty
    std::string byPath; // /dev/serial/by-path/... name, or empty
    std::string driver; // e.g. ftdi_sio, cdc_acm, serial8250; empty when unknown
    std::optional<UsbIdentity> usb;
    // A pseudo-terminal (no hardware: the simulator, a terminal program's pty).
    bool pseudoTerminal = false;

    // One line a person recognises: "FTDI FT232R USB UART (A5XK3RJT), 0403:6001, ftdi_sio,
    // by-id usb-FTDI_FT232R_USB_UART_A5XK3RJT-if00-port0". Never names `path` itself.
    std::string summary() const;
    // The same without the by-id or by-path name: what the device is.
    std::string identity() const;
};

// Where the kernel's views are mounted; tests point these at a fake tree.
struct DeviceTree {
    std::string sysRoot = "/sys";
    std::string devRoot = "/dev";
};

// Every serial port with hardware behind it (a `device` in sysfs and a node in devRoot),
// naturally sorted by path (ttyS2 before ttyS10). Ports whose UART type is 0 (the 8250
// driver's placeholders for UARTs that are not there) are left out.
std::vector<PortDescription> listSerialPorts(const DeviceTree& tree = {});

// The port at `pathAsGiven` (a node, a by-id/by-path link, any symlink to one). A node
// without a sysfs entry (a pseudo-terminal) gets its path only; a placeholder ttyS is
// described all the same. Empty when nothing is there.
std::optional<PortDescription> describePort(const std::string& pathAsGiven,
                                            const DeviceTree& tree = {});

// Orders names with digit runs compared by value: ttyS2 before ttyS10.
bool naturalLess(const std::string& a, const std::string& b);

} // namespace pexo
