#include "core/serial/PortOpenFailure.h"

namespace pexo {
namespace {

// Debian gives serial devices to this group; a device of root's names no group to join.
constexpr char kSerialGroup[] = "dialout";

} // namespace

std::string PortOpenFailure::text() const {
    const std::string reason = error ? systemErrorText(error) : std::string{};
    switch (problem) {
    case PortProblem::NotPermitted: {
        const std::string& g = group.empty() ? std::string(kSerialGroup) : group;
        std::string line = port + ": " + reason + ".";
        if (sessionInGroup)
            return line + " This session is in the " + g +
                   " group already: ask the administrator for read and write access to it.";
        if (userInGroup)
            return line + " Your user is in the " + g +
                   " group, but this session started before it was added: log in again.";
        return line + " Add your user to the " + g + " group: sudo usermod -aG " + g +
               " $USER, then log in again.";
    }
    case PortProblem::InUse:
        return port + " is in use by another program" + (holder.empty() ? "" : ": " + holder);
    case PortProblem::NotSerial:
        return port + " is not a serial device";
    case PortProblem::Missing:
    case PortProblem::Other:
        break;
    }
    if (!detail.empty())
        return detail;
    return "cannot open " + port + (reason.empty() ? "" : ": " + reason);
}

} // namespace pexo
