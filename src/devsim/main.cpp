// pexo-devsim: a simulated device on a pseudo-terminal, for trying Pexo without hardware.

#include "core/app/Version.h"
#include "devsim/Simulator.h"

#include <CLI/CLI.hpp>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

using pexo::devsim::Options;
using pexo::devsim::parseStep;
using pexo::devsim::Step;

const std::vector<std::string> kFaultSteps = {"sector", "erase", "write", "checksum"};
const std::vector<std::string> kAllSteps = {"connect", "sector", "erase", "write", "checksum"};

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"A simulated download device on a pseudo-terminal. It prints the terminal's "
                 "path, answers the download protocol and keeps what it is written in a sparse "
                 "16 MiB memory.",
                 "pexo-devsim"};
    Options options;
    unsigned sectorCode = 0;
    std::string fail;
    std::vector<std::string> silent;
    std::string garbage;
    std::uint64_t hangupAfter = 0;
    std::uint64_t xoffAfter = 0;
    std::uint64_t completeEarly = 0;
    unsigned replyDelayMs = 0;
    bool verbose = false;

    app.add_option("--link", options.linkPath, "Make a symbolic link PATH to the terminal")
        ->type_name("PATH");
    auto* sectorOption =
        app.add_option("--sector-code", sectorCode,
                       "Answer every sector size request with this code (default: the code "
                       "requested)")
            ->check(CLI::Range(1, 7));
    app.add_option("--fail", fail, "Answer this step with a failure")
        ->check(CLI::IsMember(kFaultSteps))
        ->type_name("STEP");
    app.add_option("--silent", silent, "Never answer these steps (repeat, or separate by commas)")
        ->check(CLI::IsMember(kAllSteps))
        ->delimiter(',')
        ->type_name("STEP");
    auto* garbageOption =
        app.add_option("--garbage", garbage,
                       "Answer with bytes that fit no reply: every step after the connect poll, "
                       "or only STEP")
            ->expected(0, 1)
            ->check(CLI::IsMember(kAllSteps))
            ->type_name("[STEP]");
    auto* hangupOption = app.add_option("--hangup-after", hangupAfter,
                                        "Take the line down once N bytes have been received")
                             ->check(CLI::PositiveNumber)
                             ->type_name("N");
    auto* xoffOption =
        app.add_option("--xoff-after", xoffAfter,
                       "Once N write blocks of a session have arrived, send XOFF and read no "
                       "more")
            ->check(CLI::PositiveNumber)
            ->type_name("N");
    auto* completeEarlyOption =
        app.add_option("--complete-early", completeEarly,
                       "Answer the write step's completion once N blocks of a download are "
                       "stored, and take no more of that step")
            ->check(CLI::PositiveNumber)
            ->type_name("N");
    app.add_option("--reply-delay", replyDelayMs,
                   "Send every answer this many milliseconds after its request has arrived")
        ->check(CLI::Range(0u, 3'600'000u))
        ->type_name("MS");
    app.add_option("--deaf-polls", options.deafPolls,
                   "Leave the first K connect polls of each session unechoed")
        ->check(CLI::NonNegativeNumber)
        ->type_name("K");
    app.add_option("--rate", options.rate,
                   "Move bytes no faster than this line rate, 10 bits a byte (default: no limit)")
        ->check(CLI::Range(1u, 100'000'000u))
        ->type_name("BAUD");
    app.add_option("--dump", options.dumpPath,
                   "Write memory from the lowest to the highest address written to FILE at the "
                   "end of each session")
        ->type_name("FILE");
    app.add_option("--sessions", options.sessions,
                   "Serve N sessions, then exit (default: until stopped)")
        ->check(CLI::PositiveNumber)
        ->type_name("N");
    double replugSeconds = 0;
    double lingerSeconds = 0;
    auto* replugOption =
        app.add_option("--replug", replugSeconds,
                       "Device after device: after each download, go silent for SECONDS "
                       "(unplugged), then answer as a fresh device with its memory cleared")
            ->check(CLI::Range(0.0, 86400.0))
            ->type_name("SECONDS");
    app.add_option("--linger", lingerSeconds,
                   "With --replug: keep answering for SECONDS after each download before going "
                   "silent (left on the fixture)")
        ->check(CLI::Range(0.0, 86400.0))
        ->type_name("SECONDS")
        ->needs(replugOption);
    app.add_flag("--verbose", verbose, "Describe every request on stderr");

    app.set_version_flag("-V,--version", "pexo-devsim " + std::string(pexo::pexoVersion()),
                         "show the version and exit");
    CLI11_PARSE(app, argc, argv);

    if (sectorOption->count() > 0)
        options.sectorCode = static_cast<std::uint8_t>(sectorCode);
    if (!fail.empty())
        options.fail = parseStep(fail);
    for (const std::string& step : silent)
        options.silent.add(*parseStep(step));
    if (garbageOption->count() > 0) {
        if (garbage.empty())
            options.garbage = pexo::devsim::StepSet::afterConnect();
        else
            options.garbage.add(*parseStep(garbage));
    }
    if (hangupOption->count() > 0)
        options.hangupAfter = hangupAfter;
    if (xoffOption->count() > 0)
        options.xoffAfterBlocks = xoffAfter;
    if (completeEarlyOption->count() > 0)
        options.completeEarlyAfter = completeEarly;
    options.replyDelay = std::chrono::milliseconds(replyDelayMs);
    const auto milliseconds = [](double seconds) {
        return std::chrono::milliseconds(std::llround(seconds * 1000.0));
    };
    if (replugOption->count() > 0)
        options.replug = milliseconds(replugSeconds);
    options.onFixture = milliseconds(lingerSeconds);
    if (verbose)
        options.log = [](std::string_view line) { std::cerr << "pexo-devsim: " << line << '\n'; };

    // Signals arrive as readable data on a descriptor the device polls: nothing runs in a
    // handler, and the device ends its session and writes its dump before exiting.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    if (sigprocmask(SIG_BLOCK, &stopSignals, nullptr) != 0) {
        std::perror("pexo-devsim: sigprocmask");
        return 1;
    }
    options.stopFd = signalfd(-1, &stopSignals, SFD_CLOEXEC | SFD_NONBLOCK);
    if (options.stopFd < 0) {
        std::perror("pexo-devsim: signalfd");
        return 1;
    }

    pexo::devsim::Simulator device(std::move(options));
    if (!device.open()) {
        std::cerr << "pexo-devsim: " << device.error() << '\n';
        return 1;
    }
    std::cout << device.slavePath() << std::endl;
    const int status = device.run();
    if (status != 0)
        std::cerr << "pexo-devsim: " << device.error() << '\n';
    return status;
}
