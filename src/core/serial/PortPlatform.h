#pragma once

#include <memory>
#include <string>

namespace pexo {

struct DownloadContext;
struct PortHandles;
struct PortOpenFailure;

// The platform's side of openPort and closePort (PortOpenPosix.cpp, PortOpenWindows.cpp); what
// happens around it, and in which order, is the same everywhere (PortOpen.cpp).

// Opens `path` for this program alone, with empty queues, ready for the line settings. Null,
// with the reason in `failure` when given, on failure.
std::unique_ptr<PortHandles> openPortDevice(const DownloadContext& ctx, const std::string& path,
                                            PortOpenFailure* failure);
// The number DownloadContext::commHandle keeps for the open port.
int portHandleNumber(const PortHandles& handles);
// Raises DTR (and RTS where no handshake drives it), once the reader runs.
void raiseModemLines(const DownloadContext& ctx, PortHandles& handles);
// Makes the reader and every writer leave, for good. Under the link's mutex.
void wakeForClose(PortHandles& handles);
// Clears DTR and discards what either direction holds.
void dropLine(PortHandles& handles);
// Gives the device back and closes every handle.
void closePortDevice(PortHandles& handles);

} // namespace pexo
