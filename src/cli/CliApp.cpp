#include "cli/CliApp.h"

#include "cli/ArchiveProgress.h"
#include "cli/CliRequest.h"
#include "cli/Console.h"
#include "cli/ExitStatus.h"
#include "cli/PortDownload.h"
#include "cli/PortHost.h"
#include "cli/PortList.h"
#include "cli/PortReport.h"
#include "cli/StationRun.h"
#include "cli/SettingsFileCheck.h"
#include "cli/StopSignals.h"
#include "core/image/ArchiverModule.h"
#include "core/image/ImageDocument.h"
#include "core/image/OpenArchive.h"
#include "core/settings/AtomicFile.h"
#include "core/settings/ParameterChecks.h"
#include "core/settings/SettingsFile.h"
#include "core/station/RecordLog.h"

#include <algorithm>
#include <memory>
#include <thread>

namespace pexo::cli {
namespace {

using Clock = std::chrono::steady_clock;

struct Settings {
    CommSettings comm;
    ProtocolParameters params;
    PortDevices devices;
    std::string source = "The built-in settings"; // where a refusal says the values came from
};

// The user sections in force, as the desktop program copies them: unchecked. A file that
// exists but cannot be read ends the run; only a missing program settings file gives the
// built-in settings, as in the desktop program.
std::optional<Settings> loadSettings(const CliRequest& request, Console& console) {
    Settings settings;
    std::optional<std::string> file = request.settingsFile;
    if (file)
        settings.source = "--settings: " + *file;
    else if (const std::string inForce = settingsReadPath(); !inForce.empty())
        settings.source = "The settings file " + *(file = inForce);
    bool missing = false;
    if (file) {
        const std::optional<std::string> why = unreadableBecause(*file, missing);
        if (why && (!missing || request.settingsFile)) {
            console.message(settings.source + " " + *why);
            return std::nullopt;
        }
    }
    if (file && !missing) {
        LoadCommSettings(settings.comm, SettingsSection::User, *file);
        LoadProtocolParameters(settings.params, SettingsSection::User, *file);
        LoadPortDevices(settings.devices, *file);
    }
    return settings;
}

bool signalPending(StopSignals& signals) {
    return signals.pending() && signals.take();
}

std::string progressLine(const std::vector<std::unique_ptr<PortDownload>>& runs,
                         const std::vector<PortChoice>& ports) {
    if (runs.size() == 1)
        return runs.front()->progressText();
    std::string line;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        if (!line.empty())
            line += " | ";
        line += ports[i].name + ": " + runs[i]->progressText();
    }
    return line;
}

// Runs every port's download on its own thread until all have ended, showing progress once
// a second and turning SIGINT/SIGTERM/SIGHUP into Cancel on every port. True when interrupted.
bool runPorts(std::vector<std::unique_ptr<PortDownload>>& runs,
              const std::vector<PortChoice>& ports, StopSignals& signals, EndBell& bell,
              Console& console) {
    std::vector<std::thread> threads;
    threads.reserve(runs.size());
    for (auto& run : runs)
        threads.emplace_back([&run] { run->run(); });

    bool interrupted = false;
    auto nextProgress = Clock::now() + std::chrono::seconds(1);
    auto allEnded = [&] {
        for (const auto& run : runs)
            if (run->phase() != PortDownload::Phase::Ended)
                return false;
        return true;
    };
    while (!allEnded()) {
        // Nothing else to do between a stop, a port's end and the next progress line: without
        // progress shown, the loop sleeps until one of the first two.
        int timeout = -1;
        if (console.showsProgress()) {
            const auto wait =
                std::chrono::ceil<std::chrono::milliseconds>(nextProgress - Clock::now());
            timeout = static_cast<int>(std::max<std::int64_t>(0, wait.count()));
        }
        const Wake wake = waitForWake(signals, bell, timeout);
        if (wake.stop && signals.take() && !interrupted) {
            interrupted = true;
            console.message("Interrupted: stopping the download and closing the port.");
            for (auto& run : runs)
                run->interrupt();
        }
        if (console.showsProgress() && Clock::now() >= nextProgress) {
            if (!allEnded())
                console.progress(progressLine(runs, ports));
            nextProgress = Clock::now() + std::chrono::seconds(1);
        }
    }
    for (std::thread& thread : threads)
        thread.join();
    console.endProgress();
    return interrupted;
}

} // namespace

int runCli(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
    // Before any thread exists, so that no thread but the main loop ever sees the signals.
    StopSignals signals;

    auto parsed = parseCommandLine(argc, argv);
    if (auto* exit = std::get_if<CliExit>(&parsed)) {
        std::fprintf(exit->toStdout ? out : err, "%s\n", exit->text.c_str());
        return exit->status;
    }
    const CliRequest& request = std::get<CliRequest>(parsed);
    if (request.listPorts) {
        std::fputs(portReport(listSerialPorts()).c_str(), out);
        return kExitNormalEnd;
    }
    Console console(out, err, request.quiet);

    std::optional<Settings> settings = loadSettings(request, console);
    if (!settings)
        return kExitSetupFailed;
    if (auto refused = applyOverrides(request.overrides, settings->comm, settings->params)) {
        console.message(*refused);
        return kExitSetupFailed;
    }
    if (auto inverted = checkWriteRange(settings->params.Code63_1, settings->params.Code63_2)) {
        const bool typed = request.overrides.writeFirst || request.overrides.writeLast;
        console.message((typed ? std::string("--write-first/--write-last") : settings->source) +
                        ": " + *inverted);
        return kExitSetupFailed;
    }
    auto chosen = choosePorts(request.ports, settings->comm.Port, settings->devices);
    if (auto* refused = std::get_if<std::string>(&chosen)) {
        console.message(*refused);
        return kExitSetupFailed;
    }
    const std::vector<PortChoice>& ports = std::get<std::vector<PortChoice>>(chosen);

    // Before anything is sent: a run whose records cannot be kept must not start.
    RecordLog log;
    if (request.station.logFile) {
        if (auto refused = log.open(*request.station.logFile)) {
            console.message("--log " + *request.station.logFile + ": " + *refused);
            return kExitSetupFailed;
        }
    }

    // The archive, unpacked once for every port.
    std::unique_ptr<Archiver> archiver = loadArchiverLibrary();
    ImageDocument image;
    PortHost loader(console, "");
    ArchiveProgress unpacking(console);
    ArchiveOpenContext opening{loader, archiver.get(), &unpacking};
    // Waiting for another program's unpacking can take long; a stop must not wait for it.
    opening.lockWait.stopRequested = [&signals] { return signals.pending(); };
    const bool opened = openArchive(image, request.archive, opening);
    if (signalPending(signals)) {
        console.message("Interrupted before the download started.");
        return kExitInterrupted;
    }
    if (!opened)
        return kExitSetupFailed;

    if (request.station.wanted()) {
        const StationJob job{
            request,        settings->comm,     settings->params,   ports,
            image.buffer(), loader.imageSize(), loader.imageFile(), log.isOpen() ? &log : nullptr};
        return runStation(job, console, signals);
    }

    EndBell bell;
    std::vector<std::unique_ptr<PortHost>> hosts;
    std::vector<std::unique_ptr<PortDownload>> runs;
    PortDownload::Limits limits;
    limits.connectTimeout = request.connectTimeout; // bounded by the parser
    for (const PortChoice& port : ports) {
        auto host = std::make_unique<PortHost>(console, ports.size() > 1 ? port.name + ": " : "");
        host->setImage(image.buffer(), loader.imageSize(), loader.imageFile());
        host->downloadContext()->devicePath = port.devicePath;
        CommSettings comm = settings->comm;
        comm.Port = port.listPosition;
        runs.push_back(std::make_unique<PortDownload>(*host, settings->params, comm, limits,
                                                      [&bell] { bell.ring(); }));
        hosts.push_back(std::move(host));
    }

    runPorts(runs, ports, signals, bell, console);

    int status = kExitNormalEnd;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const PortOutcome& outcome = runs[i]->outcome();
        for (const std::string& line : outcome.lines)
            console.result(ports.size() > 1 ? ports[i].name + ": " + line : line);
        if (status == kExitNormalEnd)
            status = outcome.status;
    }
    return status;
}

} // namespace pexo::cli
