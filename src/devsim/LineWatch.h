#pragma once

#include <string>

namespace pexo::devsim {

// Tells when a host opens or closes the line. The device holds the slave open itself, so the
// master never reports a hang-up; the opens and closes of the slave device node (inotify)
// are how it learns that one host has gone and the next one has come.
class LineWatch {
public:
    LineWatch() = default;
    LineWatch(const LineWatch&) = delete;
    LineWatch& operator=(const LineWatch&) = delete;
    ~LineWatch();

    // Call after the device's own slave descriptor is open, so that it is not counted.
    bool start(const std::string& slavePath, std::string& error);
    void stop();
    int fd() const { return fd_; }

    struct Change {
        bool any = false;      // an open or close happened since the last drain
        bool hostOpen = false; // the line is open on the host side now
        unsigned openers = 0;  // descriptors the hosts hold on the line now
        // Some host held the line throughout: the opens and closes were other programs'
        // (one refused because the port is in use, say), and the session goes on.
        bool held = false;
    };
    // Reads every pending event without blocking.
    Change drain();

private:
    int fd_ = -1;
    long opens_ = 0; // host opens minus host closes
};

} // namespace pexo::devsim
