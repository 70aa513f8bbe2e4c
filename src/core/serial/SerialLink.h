#pragma once

#include "core/serial/CommErrors.h"
#include "core/serial/SerialPort.h"

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace pexo {

// What serial/ keeps of one context's port between openPort and closePort.
//
// fd and wakeFd are set before the reader thread starts and closed only after it has been
// joined and every writer has left, so the reader and a registered writer use them freely.
struct SerialLink {
    std::mutex mutex;
    std::condition_variable writersGone;
    int fd = -1;      // the port; -1 when closed
    int wakeFd = -1;  // eventfd, made readable by closePort to release the reader and writers
    int cancelFd = -1; // eventfd, made readable by cancelPortWrites to release writers only
    std::string path; // the device, for failure texts
    bool closing = false;
    int activeWriters = 0;
    bool writesCancelled = false; // until the next open
    ReceiveSink sink; // used by the reader thread only
    // Error counters when they were last reported (null: the driver keeps none).
    std::optional<LineErrorCounts> reportedCounts;
    // Bytes written but not yet gone out on the line. Empty: ask the driver. A test puts its
    // own count here to stand for a UART that drains at the line rate (a pseudo-terminal
    // reports an empty queue at once). Set before the port opens; called by writers.
    std::function<std::size_t(int fd)> outputPending;
};

} // namespace pexo
