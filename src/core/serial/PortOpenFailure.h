#pragma once

#include <string>
#include <vector>

namespace pexo {

// Why a port could not be had. The two walls people meet with serial ports on Linux (no
// permission, another program holding the port) are told apart so that the message can say
// what to do.
enum class PortProblem { Other, Missing, NotPermitted, InUse, NotSerial };

struct PortOpenFailure {
    PortProblem problem = PortProblem::Other;
    std::string port; // as the operator named it (a by-id link stays one)
    int error = 0;    // the system's error number; 0 when there is none

    // NotPermitted: the group the device belongs to, and what this user has of it.
    std::string group;
    bool userInGroup = false;    // the group database lists the user
    bool sessionInGroup = false; // this process has the group

    // InUse: the holder a UUCP lock file names, "minicom (PID 4711)"; empty when none does.
    std::string holder;

    // Other: the whole line, when the failure has words of its own ("no serial device is
    // configured", a line setting the driver refused).
    std::string detail;

    // The line under "RS232C connection failed.": the port, the reason, what to do.
    std::string text() const;
};

// The system's wording of its error number `error` (errno; a Win32 error code on Windows).
std::string systemErrorText(int error);

// What the system says about `port` after open() or locking it failed with `error`: the
// device's group and the user's membership for EACCES/EPERM, the lock file's holder for
// EBUSY/EWOULDBLOCK.
PortOpenFailure explainPortOpenFailure(const std::string& port, int error);

// The folders searched for UUCP lock files ("LCK..ttyUSB0"): /var/lock and /run/lock.
// Tests put in their own; returns the previous list.
std::vector<std::string> setLockFolders(std::vector<std::string> folders);

// "name (PID n)" of a live process that a lock file for the device at `port` names (the
// device's own name, symlinks resolved); empty when there is none or it is stale.
std::string lockFileHolder(const std::string& port);

} // namespace pexo
