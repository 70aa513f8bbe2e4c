#pragma once

#include "core/settings/PortDevices.h"

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace pexo::cli {

// A port as the command line names it and the device behind it.
struct PortChoice {
    std::string name;        // as given: "COM1", "COM2" or the device path
    std::string devicePath;  // what is opened
    std::int32_t listPosition = 0; // the settings' Port for COM1/COM2; kept for a path
};

// The ports to flash: the named ones, or the settings' own port when none is named. A
// message when a name is neither COM1, COM2 nor an absolute path, or a device is named twice.
std::variant<std::vector<PortChoice>, std::string>
choosePorts(const std::vector<std::string>& names, std::int32_t settingsPort,
            const PortDevices& devices);

} // namespace pexo::cli
