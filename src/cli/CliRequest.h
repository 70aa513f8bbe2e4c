#pragma once

#include "cli/SettingOverrides.h"

#include <chrono>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace pexo::cli {

// The production-line options: device after device, retries, a record of every try.
struct StationRequest {
    bool loop = false;
    std::optional<unsigned> count; // with loop: end after this many devices passed on each port
    std::chrono::milliseconds goneAfter{2000};
    unsigned retries = 0;
    std::optional<std::string> logFile;

    // The ports then run as a station rather than as one download each.
    bool wanted() const { return loop || retries > 0 || logFile.has_value(); }
};

// What the operator asked for on the command line.
struct CliRequest {
    std::string archive;
    std::optional<std::string> settingsFile;
    std::vector<std::string> ports; // empty: the settings file's port
    SettingOverrides overrides;
    std::optional<std::chrono::milliseconds> connectTimeout; // above 0, at most 7 days
    bool quiet = false;
    StationRequest station;
    bool listPorts = false; // list the serial ports instead of downloading
};

// The parse either gives a request or ends the program: `status` with `text` for stdout
// (help) or stderr (an error).
struct CliExit {
    int status = 0;
    std::string text;
    bool toStdout = false;
};

std::variant<CliRequest, CliExit> parseCommandLine(int argc, const char* const* argv);

// Every long option the parser takes ("--port", ...), --help and --version among them: what
// the manual page, the completion and the README must list.
std::vector<std::string> commandLineOptions();

// What --version prints: the program, its version and the settings file in force.
std::string versionText();

} // namespace pexo::cli
