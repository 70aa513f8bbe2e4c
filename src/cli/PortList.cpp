#include "cli/PortList.h"

#include "cli/PortNames.h"
#include "core/settings/CommLists.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace pexo::cli {
namespace {

bool sameName(const std::string& a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

std::string deviceOf(const std::string& path) {
    std::error_code ec;
    const auto resolved = std::filesystem::canonical(path, ec);
    return ec ? path : resolved.string();
}

} // namespace

std::variant<std::vector<PortChoice>, std::string>
choosePorts(const std::vector<std::string>& names, std::int32_t settingsPort,
            const PortDevices& devices) {
    std::vector<PortChoice> ports;
    if (names.empty()) {
        const std::uint8_t number = portNumberFor(settingsPort);
        ports.push_back({number == 2 ? "COM2" : "COM1", comDevicePath(number, devices),
                         number == 2 ? 1 : 0});
        return ports;
    }
    for (const std::string& name : names) {
        PortChoice choice;
        choice.name = name;
        if (sameName(name, "COM1")) {
            choice.name = "COM1";
            choice.devicePath = comDevicePath(1, devices);
            choice.listPosition = 0;
        } else if (sameName(name, "COM2")) {
            choice.name = "COM2";
            choice.devicePath = comDevicePath(2, devices);
            choice.listPosition = 1;
        } else if (std::optional<NamedPort> other = otherPort(name)) {
            choice.name = other->name;
            choice.devicePath = other->devicePath;
            // The settings know COM1 and COM2 by their place in the list.
            choice.listPosition = other->comNumber == 1   ? 0
                                  : other->comNumber == 2 ? 1
                                                          : settingsPort;
        } else {
            return "--port: \"" + name + "\" " + portNameRule();
        }
        // A by-id or by-path name is the same device as the node it leads to.
        const auto same = std::find_if(ports.begin(), ports.end(), [&](const PortChoice& p) {
            return deviceOf(p.devicePath) == deviceOf(choice.devicePath);
        });
        if (same != ports.end() && same->devicePath == choice.devicePath)
            return "--port: " + choice.devicePath + " is named twice.";
        if (same != ports.end())
            return "--port: " + choice.devicePath + " and " + same->devicePath +
                   " are the same device.";
        ports.push_back(std::move(choice));
    }
    return ports;
}

} // namespace pexo::cli
