#pragma once

#include <string>

namespace pexo {

// The device paths behind the operator's port names, kept in the settings file's section
// "RS232C Devices" (keys "COM1", "COM2").
struct PortDevices {
    std::string com1 = "/dev/ttyS0";
    std::string com2 = "/dev/ttyS1";

    // The path for port number 1 or 2 (any other number gives COM1's path).
    const std::string& pathFor(int portNumber) const { return portNumber == 2 ? com2 : com1; }
};

// Reads the section from the settings file; missing keys (or file) keep the built-in paths.
bool LoadPortDevices(PortDevices& devices);
// Writes both keys to the section, with the settings file's usual semantics.
bool SavePortDevices(const PortDevices& devices);

} // namespace pexo
