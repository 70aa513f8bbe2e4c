#include "cli/CliRequest.h"

#include "cli/ExitStatus.h"
#include "cli/Platform.h"
#include "core/app/Version.h"
#include "core/settings/SettingsLocation.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace pexo::cli {
namespace {

// A week is longer than any production line waits, and keeps the deadline far inside what
// the clock can hold.
constexpr double kMaxConnectTimeoutSeconds = 7 * 24 * 60 * 60;

std::optional<std::string> takeConnectTimeout(const std::string& text,
                                              std::chrono::milliseconds& timeout) {
    char* end = nullptr;
    const double seconds = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0')
        return "--connect-timeout: \"" + text + "\" is not a number of seconds.";
    if (std::isnan(seconds) || seconds > kMaxConnectTimeoutSeconds)
        return "--connect-timeout: give at most " +
               std::to_string(static_cast<long>(kMaxConnectTimeoutSeconds)) + " seconds (7 days).";
    if (seconds <= 0)
        return std::string("--connect-timeout: give a number of seconds above 0.");
    // Rounded up, so that a fraction of a millisecond still waits.
    timeout = std::chrono::milliseconds(static_cast<std::int64_t>(std::ceil(seconds * 1000.0)));
    return std::nullopt;
}

// A whole number from `low` to `high`, or the message that refuses it.
std::optional<std::string> takeWhole(const char* name, const std::string& text, unsigned long low,
                                     unsigned long high, const char* unit, unsigned long& value) {
    char* end = nullptr;
    errno = 0;
    const unsigned long long parsed = std::strtoull(text.c_str(), &end, 10);
    const bool digits = !text.empty() && std::isdigit(static_cast<unsigned char>(text.front()));
    if (!digits || *end != '\0' || errno == ERANGE || parsed < low || parsed > high)
        return std::string(name) + ": \"" + text + "\" is not a whole number of " + unit +
               " from " + std::to_string(low) + " to " + std::to_string(high) + ".";
    value = static_cast<unsigned long>(parsed);
    return std::nullopt;
}

// Generous bounds that keep every count and deadline far inside what the program holds.
constexpr unsigned long kMaxCount = 1'000'000'000;
constexpr unsigned long kMaxRetries = 1000;
constexpr unsigned long kMaxGoneAfterMs = 24ul * 60 * 60 * 1000;
// Shorter than a few polls, a device still on the fixture would pass for gone and be flashed
// again; the station window keeps the same floor.
constexpr unsigned long kMinGoneAfterMs = 100;

std::optional<std::string> takeStation(const std::optional<std::string>& count,
                                       const std::optional<std::string>& goneAfter,
                                       const std::optional<std::string>& retries,
                                       StationRequest& station) {
    unsigned long value = 0;
    if (count) {
        if (!station.loop)
            return std::string("--count: give it with --loop.");
        if (auto refused = takeWhole("--count", *count, 1, kMaxCount, "devices", value))
            return refused;
        station.count = static_cast<unsigned>(value);
    }
    if (goneAfter) {
        if (auto refused = takeWhole("--gone-after", *goneAfter, kMinGoneAfterMs, kMaxGoneAfterMs,
                                     "milliseconds", value))
            return refused;
        station.goneAfter = std::chrono::milliseconds(value);
    }
    if (retries) {
        if (auto refused = takeWhole("--retries", *retries, 0, kMaxRetries, "retries", value))
            return refused;
        station.retries = static_cast<unsigned>(value);
    }
    if (station.logFile && station.logFile->empty())
        return std::string("--log: give a file name.");
    return std::nullopt;
}

// The options, bound to `request` and to the texts checked after the parse.
struct Parser {
    CLI::App app{"Downloads the image in an LHA archive into a device over a serial line.",
                 "pexo-cli"};
    std::optional<std::string> connectTimeout;
    std::optional<std::string> count, goneAfter, retries;

    explicit Parser(CliRequest& request);
};

Parser::Parser(CliRequest& request) {
    SettingOverrides& o = request.overrides;
    // A setting given twice takes the last, so a script can override its own defaults.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    // Not required by the parser: --list-ports needs none.
    app.add_option("ARCHIVE", request.archive, "the .lzh archive; its last member is the image")
        ->type_name("");
    const PlatformHelp& platform = platformHelp();
    app.add_option("--settings", request.settingsFile, platform.settings)
        ->type_name("FILE");
    app.add_option("--port", request.ports, platform.port)
        ->type_name("PORT")
        ->expected(1)
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    app.add_option("--connect-timeout", connectTimeout,
                   "give up polling the device after SECONDS, above 0 and at most 604800 "
                   "(7 days) (default: poll until interrupted)")
        ->type_name("SECONDS");
    app.add_flag("-q,--quiet", request.quiet, "no progress on stderr");
    app.add_flag("--list-ports", request.listPorts, platform.listPorts);
    app.set_version_flag("-V,--version", versionText,
                         "show the version and the settings file "
                         "in force, and exit");

    const char* line = "Production line";
    StationRequest& station = request.station;
    app.add_flag("--loop", station.loop,
                 std::string("flash device after device on every port until stopped (") +
                     platform.stops + ") or --count")
        ->group(line);
    app.add_option("--count", count, "with --loop: end after N devices passed on each port")
        ->group(line)
        ->type_name("N");
    app.add_option("--gone-after", goneAfter,
                   "a device that has not echoed the poll for MS milliseconds has gone "
                   "(default 2000)")
        ->group(line)
        ->type_name("MS");
    app.add_option("--retries", retries,
                   "try a download that failed (result 1-7, 9-11) again on the same device, up "
                   "to N more times (default 0)")
        ->group(line)
        ->type_name("N");
    app.add_option("--log", station.logFile,
                   "append a record of every download try to FILE: JSON Lines, or CSV when it "
                   "ends in .csv")
        ->group(line)
        ->type_name("FILE");

    const char* group = "Settings (override the settings file)";
    auto text = [&](const char* name, std::optional<std::string>& target, const char* type,
                    const char* help) {
        return app.add_option(name, target, help)->type_name(type)->group(group);
    };
    text("--baud", o.baud, "RATE", "line rate, one of the RS232C dialog's rates");
    text("--data-bits", o.dataBits, "BITS", "5..8");
    text("--parity", o.parity, "PARITY", "none|even|odd");
    text("--stop-bits", o.stopBits, "BITS", "1|1.5|2");
    text("--flow", o.flow, "LIST", "comma list of dtr, rts, xon, or none");
    text("--tx-interval", o.txInterval, "MS", "connect poll interval, ms (Code30)");
    text("--tx-wait", o.txWait, "MS", "pause between blocks, ms (Code31)");
    text("--timeout-write", o.timeoutWrite, "MS", "write completion time-out, ms (Code51)");
    text("--timeout-sector", o.timeoutSector, "MS", "sector size time-out, ms (Code52)");
    text("--timeout-erase", o.timeoutErase, "MS", "erase time-out, ms (Code53)");
    text("--timeout-checksum", o.timeoutChecksum, "MS", "checksum time-out, ms (Code54)");
    text("--sector-size", o.sectorSize, "BYTES", "128..8192 bytes (Code61)");
    text("--erase-first", o.eraseFirst, "HEX", "first address to erase, hex (Code62)");
    text("--erase-sectors", o.eraseSectors, "HEX", "number of sectors to erase, hex (Code62)");
    text("--write-first", o.writeFirst, "HEX", "first address written, hex (Code63)");
    text("--write-last", o.writeLast, "HEX", "last address written, hex (Code63)");
    CLI::Option* fullChecksum = text("--full-checksum", o.fullChecksum, "HEX",
                                     "the device compares this full checksum, hex (Code72)");
    app.add_flag("--no-full-checksum", o.noFullChecksum,
                 "no full checksum comparison, whatever the settings file says (Code72)")
        ->group(group)
        ->excludes(fullChecksum);
}

} // namespace

std::string versionText() {
    std::string text = "pexo-cli " + std::string(pexoVersion());
    if (const auto files = settingsFiles())
        text += "\n" + files->describe();
    return text;
}

std::vector<std::string> commandLineOptions() {
    CliRequest request;
    Parser parser(request);
    std::vector<std::string> names;
    for (const CLI::Option* option : parser.app.get_options())
        for (const std::string& name : option->get_lnames())
            names.push_back("--" + name);
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

std::variant<CliRequest, CliExit> parseCommandLine(int argc, const char* const* argv) {
    CliRequest request;
    Parser parser(request);
    CLI::App& app = parser.app;
    std::optional<std::string>& connectTimeout = parser.connectTimeout;

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        return CliExit{kExitNormalEnd, app.help(), true};
    } catch (const CLI::CallForVersion& version) {
        return CliExit{kExitNormalEnd, version.what(), true};
    } catch (const CLI::ParseError& e) {
        std::ostringstream out;
        out << e.what() << "\nRun with --help for the options.";
        return CliExit{kExitSetupFailed, out.str(), false};
    }
    if (request.archive.empty() && !request.listPorts)
        return CliExit{kExitSetupFailed, "ARCHIVE is required\nRun with --help for the options.",
                       false};
    if (connectTimeout) {
        request.connectTimeout.emplace();
        if (auto refused = takeConnectTimeout(*connectTimeout, *request.connectTimeout))
            return CliExit{kExitSetupFailed, *refused, false};
    }
    if (auto refused = takeStation(parser.count, parser.goneAfter, parser.retries, request.station))
        return CliExit{kExitSetupFailed, *refused, false};
    return request;
}

} // namespace pexo::cli
