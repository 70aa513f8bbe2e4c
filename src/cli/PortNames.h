#pragma once

#include "core/settings/PortDevices.h"

#include <optional>
#include <string>

namespace pexo::cli {

// How the command line names ports on this platform.

// The device behind COM1 or COM2 (`number`).
std::string comDevicePath(int number, const PortDevices& devices);

struct NamedPort {
    std::string name;       // as messages show it
    std::string devicePath; // what is opened
    int comNumber = 0;      // n of COMn, 0 for a device path
};
// A name other than COM1/COM2: a device path on Linux, COMn or \\.\COMn on Windows.
std::optional<NamedPort> otherPort(const std::string& name);

// The end of the refusal of a name that is no port: "--port: \"x\" <this>".
const char* portNameRule();

} // namespace pexo::cli
