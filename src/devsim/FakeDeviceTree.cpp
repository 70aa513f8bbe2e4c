#include "devsim/FakeDeviceTree.h"

#include <filesystem>
#include <fstream>

namespace pexo::devsim {
namespace {

namespace fs = std::filesystem;

void writeFile(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text << '\n';
}

// A relative link, as sysfs and udev make them, so the tree can be moved or copied.
void link(const fs::path& at, const fs::path& target) {
    fs::create_directories(at.parent_path());
    fs::create_directories(target);
    std::error_code ec;
    fs::remove(at, ec);
    fs::create_directory_symlink(fs::relative(target, at.parent_path()), at);
}

} // namespace

FakeDeviceTree::FakeDeviceTree(std::string root) : root_(std::move(root)) {
    fs::create_directories(sysRoot() + "/class/tty");
    fs::create_directories(devRoot());
}

void FakeDeviceTree::addClassEntry(const std::string& tty, const std::string& ttyFolder) {
    writeFile(fs::path(ttyFolder) / "uevent", "MAJOR=188\nMINOR=0\nDEVNAME=" + tty);
    link(fs::path(sysRoot()) / "class/tty" / tty, ttyFolder);
}

void FakeDeviceTree::addNode(const std::string& tty, const std::string& byId,
                             const std::string& byPath) {
    const fs::path node = fs::path(devRoot()) / tty;
    writeFile(node, "");
    for (const auto& [folder, name] :
         {std::pair{"serial/by-id", byId}, {"serial/by-path", byPath}}) {
        if (name.empty())
            continue;
        const fs::path at = fs::path(devRoot()) / folder / name;
        fs::create_directories(at.parent_path());
        fs::create_symlink(fs::relative(node, at.parent_path()), at);
    }
}

void FakeDeviceTree::addUsb(const FakeUsbPort& port) {
    const fs::path sys = sysRoot();
    const std::string busPort = "1-" + std::to_string(port.busPort);
    const fs::path usb = sys / "devices/pci0000:00/0000:00:14.0/usb1" / busPort;
    writeFile(usb / "idVendor", port.vid);
    writeFile(usb / "idProduct", port.pid);
    if (!port.manufacturer.empty())
        writeFile(usb / "manufacturer", port.manufacturer);
    if (!port.product.empty())
        writeFile(usb / "product", port.product);
    if (!port.serial.empty())
        writeFile(usb / "serial", port.serial);
    const fs::path interface = usb / (busPort + ":1.0");
    const bool acm = port.driver == "cdc_acm";
    link(interface / "driver", sys / "bus/usb/drivers" / port.driver);
    link(interface / "subsystem", sys / "bus/usb");
    // cdc_acm's tty hangs off the interface; usb-serial drivers put a port device between.
    fs::path device = interface;
    if (!acm) {
        device = interface / port.tty;
        link(device / "driver", sys / "bus/usb-serial/drivers" / port.driver);
        link(device / "subsystem", sys / "bus/usb-serial");
    }
    const fs::path ttyFolder = device / "tty" / port.tty;
    link(ttyFolder / "device", device);
    addClassEntry(port.tty, ttyFolder.string());
    addNode(port.tty, port.byId, port.byPath);
}

void FakeDeviceTree::addUart(const FakeUart& uart) {
    const fs::path sys = sysRoot();
    fs::path device;
    if (uart.serialBase) {
        const fs::path pnp = sys / "devices/pnp0" / ("00:0" + uart.tty.substr(4));
        link(pnp / "driver", sys / "bus/pnp/drivers" / uart.driver);
        link(pnp / "subsystem", sys / "bus/pnp");
        const fs::path controller = pnp / (pnp.filename().string() + ":0");
        link(controller / "driver", sys / "bus/serial-base/drivers/ctrl");
        link(controller / "subsystem", sys / "bus/serial-base");
        device = controller / (controller.filename().string() + ".0");
        link(device / "driver", sys / "bus/serial-base/drivers/port");
        link(device / "subsystem", sys / "bus/serial-base");
    } else {
        device = sys / "devices/platform" / uart.driver;
        link(device / "driver", sys / "bus/platform/drivers" / uart.driver);
        link(device / "subsystem", sys / "bus/platform");
    }
    const fs::path ttyFolder = device / "tty" / uart.tty;
    link(ttyFolder / "device", device);
    writeFile(ttyFolder / "type", std::to_string(uart.uartType));
    addClassEntry(uart.tty, ttyFolder.string());
    addNode(uart.tty, {}, {});
}

void FakeDeviceTree::addVirtual(const std::string& tty) {
    const fs::path ttyFolder = fs::path(sysRoot()) / "devices/virtual/tty" / tty;
    fs::create_directories(ttyFolder);
    addClassEntry(tty, ttyFolder.string());
    addNode(tty, {}, {});
}

} // namespace pexo::devsim
