#pragma once

#include "SoakPlan.h"

#include <cstdint>
#include <string>

namespace pexo::soak {

// How a run ended, as the front end sees it.
enum class Ending {
    SetupFailed,   // the simulator or the port could not be set up: no run at all
    NoEcho,        // the connect deadline passed without an echo; the soak gave up polling
    ConnectFailed, // the line failed under the connect poll (a result code was recorded)
    Success,       // completion: Success
    Failed,        // completion: Failed, the result code says why
    Aborted,       // completion: Aborted
    Hang,          // nothing ended it within the hang limit; the soak stopped it
};
std::string_view endingName(Ending ending);

// What a run did, on both sides of the line.
struct Observation {
    Ending ending = Ending::SetupFailed;
    std::string setupError;
    std::int32_t result = 0;
    std::string commError;
    Ms elapsed{0}; // from prepare() to the port closed
    int completions = 0;
    bool connectedAfter = false; // the context still marked connected after close()
    bool portOpenAfter = false;  // the session still holding its port after close()
    std::uint32_t pcChecksum = 0;
    std::uint32_t deviceChecksum = 0;

    // What the device received: the polls before the first other request, whether it took
    // the line down, write blocks and 0x84 frames that followed the checksum request, and
    // whether its memory holds the blocks it should.
    std::uint64_t pollsSeen = 0;
    bool hungUp = false;
    std::uint64_t bytesReceived = 0;
    int framesAfterChecksumRequest = 0;
    bool memoryMatches = true;

    // /proc/self entries before the run and after its simulator was destroyed.
    int fdsBefore = 0;
    int fdsAfter = 0;
    int tasksBefore = 0;
    int tasksAfter = 0;
};

// Runs one download as the plan says: device up, port opened, polled until the echo (or
// the deadline), protocol run to its completion (or the hang limit), port closed, device
// destroyed. `blocksToCheck` is how many leading blocks the device's memory must hold once
// the run succeeded.
Observation runOnce(const RunPlan& plan, std::uint32_t blocksToCheck);

} // namespace pexo::soak
