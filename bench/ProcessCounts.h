#pragma once

namespace pexo::soak {

// Open descriptors and threads of this process, from /proc/self; -1 when unreadable.
struct ProcessCounts {
    int fds = -1;
    int tasks = -1;

    bool operator==(const ProcessCounts&) const = default;
};

ProcessCounts processCounts();

} // namespace pexo::soak
