#pragma once

#include "cli/CliRequest.h"
#include "cli/PortList.h"
#include "core/settings/CommSettings.h"
#include "core/settings/ProtocolParameters.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace pexo {
class RecordLog;
}

namespace pexo::cli {

class Console;
class StopSignals;

// What the command line hands the station: the request, the settings in force, the ports
// and the image, unpacked once for every port.
struct StationJob {
    const CliRequest& request;
    const CommSettings& comm;
    const ProtocolParameters& params;
    const std::vector<PortChoice>& ports;
    std::span<const std::uint8_t> buffer; // the image and its zero tail
    std::uint32_t imageSize = 0;
    std::string imageFile;
    RecordLog* log = nullptr; // opened before anything was sent; none without --log
};

// Runs the ports as a production line (--loop, --retries, --log): each try's result lines as
// it ends, progress on stderr, a summary line per port at the end. Returns the exit status.
int runStation(const StationJob& job, Console& console, StopSignals& signals);

} // namespace pexo::cli
