#pragma once

#include <string>

namespace pexo::devsim {

// A USB serial adapter as the kernel shows it: ttyUSBn under a usb-serial driver, or ttyACMn
// on the interface itself (cdc_acm).
struct FakeUsbPort {
    std::string tty;    // "ttyUSB0", "ttyACM0"
    std::string driver; // "ftdi_sio", "cdc_acm"
    std::string vid, pid, manufacturer, product, serial;
    std::string byId;   // name in serial/by-id, or empty
    std::string byPath; // name in serial/by-path, or empty
    int busPort = 1;    // the hub port it hangs on: 1-<busPort>
};

// A built-in UART: ttySn under `driver`. `uartType` 0 is the 8250 driver's placeholder for a
// UART that is not there. `serialBase`: the layout of Linux 6.5 on, where the tty hangs off
// a serial-base port device whose own driver is the generic "port".
struct FakeUart {
    std::string tty;
    std::string driver;
    int uartType = 4;
    bool serialBase = false;
};

// sys/ and dev/ under a folder of its own, laid out as sysfs and udev lay them out, with
// regular files for device nodes. For tests and pictures of the port lists without the
// hardware.
class FakeDeviceTree {
public:
    explicit FakeDeviceTree(std::string root);

    void addUsb(const FakeUsbPort& port);
    void addUart(const FakeUart& uart);
    // A tty without a device (a virtual console): never a serial port.
    void addVirtual(const std::string& tty);

    std::string sysRoot() const { return root_ + "/sys"; }
    std::string devRoot() const { return root_ + "/dev"; }

private:
    void addClassEntry(const std::string& tty, const std::string& ttyFolder);
    void addNode(const std::string& tty, const std::string& byId, const std::string& byPath);

    std::string root_;
};

} // namespace pexo::devsim
