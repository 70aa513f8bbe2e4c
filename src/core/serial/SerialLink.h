#pragma once

#include "core/serial/SerialPort.h"

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace pexo {

// The platform's handles of one open port (PortHandlesPosix.h, PortHandlesWindows.h).
struct PortHandles;

// What serial/ keeps of one context's port between openPort and closePort.
//
// handles are set before the reader thread starts and released only after it has been
// joined and every writer has left, so the reader and a registered writer use them freely.
struct SerialLink {
    SerialLink();
    ~SerialLink();
    SerialLink(const SerialLink&) = delete;
    SerialLink& operator=(const SerialLink&) = delete;

    std::mutex mutex;
    std::condition_variable writersGone;
    std::unique_ptr<PortHandles> handles; // null when closed
    std::string path; // the device, for failure texts
    bool closing = false;
    int activeWriters = 0;
    bool writesCancelled = false; // until the next open
    ReceiveSink sink; // used by the reader thread only
    // Bytes written but not yet gone out on the line. Empty: ask the driver. A test puts its
    // own count here to stand for a UART that drains at the line rate (a pseudo-terminal
    // reports an empty queue at once). Set before the port opens; called by writers with the
    // port's number as ctx.commHandle holds it.
    std::function<std::size_t(int port)> outputPending;

    bool isOpen() const { return handles != nullptr; } // under mutex
};

} // namespace pexo
