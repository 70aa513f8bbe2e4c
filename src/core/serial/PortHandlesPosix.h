#pragma once

#include "core/serial/CommErrors.h"

#include <optional>

namespace pexo {

struct PortHandles {
    int fd = -1;       // the port
    int wakeFd = -1;   // eventfd, made readable by closePort to release the reader and writers
    int cancelFd = -1; // eventfd, made readable by cancelPortWrites to release writers only
    // Error counters when they were last reported (null: the driver keeps none). Under the
    // link's mutex.
    std::optional<LineErrorCounts> reportedCounts;
};

} // namespace pexo
