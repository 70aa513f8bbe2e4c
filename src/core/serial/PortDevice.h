#pragma once

#include <string>

namespace pexo {

struct DownloadContext;

// The device path to open: the context's explicit path when it has one, otherwise the
// "RS232C Devices" entry of its port number ("COM1" for any number but 2).
std::string resolvePortDevice(const DownloadContext& ctx);

} // namespace pexo
