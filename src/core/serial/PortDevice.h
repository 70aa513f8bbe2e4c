#pragma once

#include <string>

namespace pexo {

struct DownloadContext;

// The device path to open: the context's explicit path when it has one, otherwise the
// device of its port number ("COM1" for any number but 2): on Linux the "RS232C Devices"
// entry of the settings file, on Windows the port of that name.
std::string resolvePortDevice(const DownloadContext& ctx);

} // namespace pexo
