#include "core/serial/PortDescription.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace pexo {
namespace {

namespace fs = std::filesystem;

// Unix98 pseudo-terminal slaves (linux/major.h).
constexpr unsigned kPtySlaveMajorFirst = 136;
constexpr unsigned kPtySlaveMajorLast = 143;

std::string firstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
        line.pop_back();
    return line;
}

fs::path canonicalOrEmpty(const fs::path& path) {
    std::error_code ec;
    fs::path resolved = fs::canonical(path, ec);
    return ec ? fs::path{} : resolved;
}

// The last part of where a sysfs link leads: a driver's or a subsystem's name.
std::string linkName(const fs::path& link) {
    return canonicalOrEmpty(link).filename().string();
}

std::string lowerHex4(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Walks up from `device` while `stop` says no, never leaving the sysfs tree.
template <typename Stop> fs::path findUpwards(fs::path device, const fs::path& sysRoot, Stop stop) {
    for (int level = 0; level < 8 && !device.empty(); ++level) {
        if (stop(device))
            return device;
        fs::path parent = device.parent_path();
        if (parent == device || parent == sysRoot ||
            parent.string().rfind(sysRoot.string(), 0) != 0)
            break;
        device = std::move(parent);
    }
    return {};
}

// Fills the driver and USB identity from /sys/class/tty/<name>. False when the tty has no
// device behind it (a virtual console, a pseudo-terminal).
bool describeFromSysfs(PortDescription& port, const std::string& name, const fs::path& sysRoot) {
    const fs::path entry = sysRoot / "class" / "tty" / name;
    const fs::path device = canonicalOrEmpty(entry / "device");
    if (device.empty())
        return false;
    // Since Linux 6.5 the tty hangs off a serial-base port device whose driver is the
    // generic "port"; the UART's own driver sits above it.
    const fs::path driven = findUpwards(device, sysRoot, [](const fs::path& dir) {
        return linkName(dir / "subsystem") != "serial-base";
    });
    port.driver = linkName((driven.empty() ? device : driven) / "driver");
    const fs::path usb = findUpwards(
        device, sysRoot, [](const fs::path& dir) { return fs::exists(dir / "idVendor"); });
    if (!usb.empty()) {
        UsbIdentity id;
        id.vid = lowerHex4(firstLine(usb / "idVendor"));
        id.pid = lowerHex4(firstLine(usb / "idProduct"));
        id.serial = firstLine(usb / "serial");
        id.manufacturer = firstLine(usb / "manufacturer");
        id.product = firstLine(usb / "product");
        port.usb = std::move(id);
    }
    return true;
}

// The 8250 driver registers ttyS0..ttySn whether or not a UART answers; those without one
// report type 0 (PORT_UNKNOWN) and cannot be opened.
bool placeholderUart(const std::string& name, const fs::path& sysRoot) {
    const fs::path type = sysRoot / "class" / "tty" / name / "type";
    return fs::exists(type) && firstLine(type) == "0";
}

// The first link in `folder` (natural order) that leads to `node`.
std::string linkTo(const fs::path& node, const fs::path& folder) {
    std::error_code ec;
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end(), naturalLess);
    for (const std::string& name : names)
        if (canonicalOrEmpty(folder / name) == node)
            return (folder / name).string();
    return {};
}

// The sysfs class name of a node under devRoot: "ttyUSB0"; a node in a sub-folder has its
// slashes as "!" (the kernel's spelling), so /dev/pts/3 never meets a real tty's entry.
std::string sysfsName(const fs::path& node, const fs::path& devRoot) {
    const std::string root = devRoot.string() + "/";
    const std::string text = node.string();
    if (text.compare(0, root.size(), root) != 0)
        return {};
    std::string name = text.substr(root.size());
    std::replace(name.begin(), name.end(), '/', '!');
    return name;
}

bool isPseudoTerminal(const fs::path& node) {
    struct stat st {};
    if (::stat(node.c_str(), &st) != 0 || !S_ISCHR(st.st_mode))
        return false;
    const unsigned major = ::major(st.st_rdev);
    return major >= kPtySlaveMajorFirst && major <= kPtySlaveMajorLast;
}

PortDescription describeNode(const fs::path& node, const std::string& name,
                             const DeviceTree& tree) {
    PortDescription port;
    port.path = node.string();
    const fs::path devRoot = canonicalOrEmpty(tree.devRoot);
    const fs::path sysRoot = canonicalOrEmpty(tree.sysRoot);
    if (!name.empty() && !sysRoot.empty())
        describeFromSysfs(port, name, sysRoot);
    port.byId = linkTo(node, devRoot / "serial" / "by-id");
    port.byPath = linkTo(node, devRoot / "serial" / "by-path");
    port.pseudoTerminal = port.driver.empty() && isPseudoTerminal(node);
    return port;
}

} // namespace

std::vector<PortDescription> listSerialPorts(const DeviceTree& tree) {
    std::vector<PortDescription> ports;
    const fs::path devRoot = canonicalOrEmpty(tree.devRoot);
    if (devRoot.empty())
        return ports;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(fs::path(tree.sysRoot) / "class" / "tty", ec)) {
        const std::string name = entry.path().filename().string();
        if (!fs::exists(entry.path() / "device") || placeholderUart(name, tree.sysRoot))
            continue;
        // uevent names the node; a node in a sub-folder has its "/" spelt "!" in sysfs.
        std::string node = name;
        std::ifstream uevent(entry.path() / "uevent");
        for (std::string line; std::getline(uevent, line);)
            if (line.rfind("DEVNAME=", 0) == 0)
                node = line.substr(8);
        const fs::path path = canonicalOrEmpty(devRoot / node);
        if (!path.empty())
            ports.push_back(describeNode(path, name, tree));
    }
    std::sort(ports.begin(), ports.end(), [](const PortDescription& a, const PortDescription& b) {
        return naturalLess(a.path, b.path);
    });
    return ports;
}

std::optional<PortDescription> describePort(const std::string& pathAsGiven,
                                            const DeviceTree& tree) {
    if (pathAsGiven.empty())
        return std::nullopt;
    const fs::path node = canonicalOrEmpty(pathAsGiven);
    if (node.empty())
        return std::nullopt;
    return describeNode(node, sysfsName(node, canonicalOrEmpty(tree.devRoot)), tree);
}

} // namespace pexo
