#pragma once

#include "core/serial/CommErrors.h"
#include "core/serial/SerialPort.h"

#include <condition_variable>
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
    std::string path; // the device, for failure texts
    bool closing = false;
    int activeWriters = 0;
    ReceiveSink sink; // used by the reader thread only
    // Error counters when they were last reported (null: the driver keeps none).
    std::optional<LineErrorCounts> reportedCounts;
};

} // namespace pexo
