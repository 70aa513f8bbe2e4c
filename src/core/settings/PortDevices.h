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

// Reads the section from the settings file; missing or empty keys (or file) give the
// built-in paths. Always true.
bool LoadPortDevices(PortDevices& devices);
bool LoadPortDevices(PortDevices& devices, const std::string& file);
// Writes both keys to the section, with the settings file's usual semantics. False when the
// file could not be written or a path cannot be stored so that it reads back (a line break or
// NUL in it, blanks at either end, or a pair of quotes around it).
bool SavePortDevices(const PortDevices& devices);
bool SavePortDevices(const PortDevices& devices, const std::string& file);

} // namespace pexo
