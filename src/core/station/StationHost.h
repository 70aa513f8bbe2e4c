#pragma once

#include <string>

namespace pexo {

// What the station asks of the system it runs on (StationHostPosix.cpp,
// StationHostWindows.cpp).

// This machine's name as the network knows it; empty when it cannot be had.
std::string hostName();

// Whether a port device is there now (a USB adapter may come and go): a device path on Linux,
// a COM name ("COM3", "\\.\COM3") on Windows.
bool portDevicePresent(const std::string& device);

} // namespace pexo
