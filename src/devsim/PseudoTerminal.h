#pragma once

#include <string>

namespace pexo::devsim {

// The device's end of the line: a pseudo-terminal master, and a slave descriptor the
// device keeps open itself. Without it, every read on the master would fail with EIO
// while no host has the slave open, and a poll on it would never block.
class PseudoTerminal {
public:
    PseudoTerminal() = default;
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;
    ~PseudoTerminal();

    // Creates the pair, with the slave in raw mode so the host's bytes pass unchanged.
    bool create(std::string& error);
    // A symbolic link to the slave. A stale link is replaced; any other file is left alone.
    bool link(const std::string& path, std::string& error);

    bool isOpen() const { return master_ >= 0; }
    int master() const { return master_; }
    int ownSlave() const { return slave_; }
    const std::string& slavePath() const { return slavePath_; }

    // Closes both ends: the host sees a hang-up. Removes the link if it is still ours.
    void close();

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
    std::string linkPath_;
};

} // namespace pexo::devsim
