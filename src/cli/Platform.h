#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace pexo::cli {

// Readies the process for a run and gives its arguments as UTF-8 (on Windows the console's
// code page would lose what it cannot show: a path in Cyrillic, say).
std::vector<std::string> startProcess(int argc, char** argv);

// The parts of --help that name platform things.
struct PlatformHelp {
    const char* settings;  // --settings
    const char* port;      // --port
    const char* listPorts; // --list-ports
    const char* stops;     // what stops a --loop run
};
const PlatformHelp& platformHelp();

// `stream` is a terminal on which a progress line can be redrawn in place.
bool isLiveTerminal(std::FILE* stream);

} // namespace pexo::cli
