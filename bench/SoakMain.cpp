// Fault soak: many small downloads through DownloadSession against an in-process simulated
// device that misbehaves in one way per run (every fault it knows, and none), with random
// reply delays and line rates. Every run must end by itself within a bound worked out from
// its parameters, with the result its fault implies, the port closed and no descriptor or
// thread left behind. Prints a table per fault; exits 1 on any wrong ending, late ending,
// hang or leak.
//
//   pexo_bench_soak [RUNS] [--seed S] [--run N] [--fault NAME] [--verbose]
#include "SoakJudge.h"
#include "SoakPlan.h"
#include "SoakRun.h"
#include "SoakTable.h"
#include "SoakWatchdog.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>
#include <string_view>

namespace {

using namespace pexo::soak;
using Clock = std::chrono::steady_clock;

struct Arguments {
    std::uint64_t runs = 1000;
    std::optional<std::uint64_t> seed;
    std::optional<std::uint64_t> only;
    std::optional<Fault> fault;
    bool verbose = false;
};

bool parseNumber(const char* text, std::uint64_t& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtoull(text, &end, 0);
    return errno == 0 && end != text && *end == '\0' && text[0] != '-';
}

std::optional<Arguments> parse(int argc, char** argv) {
    Arguments a;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        std::uint64_t n = 0;
        if (arg == "--seed" && hasValue && parseNumber(argv[i + 1], n)) {
            a.seed = n;
            ++i;
        } else if (arg == "--run" && hasValue && parseNumber(argv[i + 1], n)) {
            a.only = n;
            ++i;
        } else if (arg == "--fault" && hasValue && parseFault(argv[i + 1])) {
            a.fault = parseFault(argv[++i]);
        } else if (arg == "--verbose") {
            a.verbose = true;
        } else if (parseNumber(argv[i], n) && n > 0) {
            a.runs = n;
        } else {
            return std::nullopt;
        }
    }
    return a;
}

std::string replayLine(const Arguments& a, std::uint64_t seed, std::uint64_t run) {
    std::string line =
        "bench/soak --seed " + std::to_string(seed) + " --run " + std::to_string(run);
    if (a.fault)
        line += " --fault " + std::string(faultName(*a.fault));
    return line;
}

} // namespace

int main(int argc, char** argv) {
    const std::optional<Arguments> parsed = parse(argc, argv);
    if (!parsed) {
        std::fprintf(stderr,
                     "usage: %s [RUNS] [--seed S] [--run N] [--fault NAME] [--verbose]\n"
                     "faults:",
                     argv[0]);
        for (std::size_t i = 0; i < kFaultCount; ++i)
            std::fprintf(stderr, " %s", std::string(faultName(static_cast<Fault>(i))).c_str());
        std::fprintf(stderr, "\n");
        return 2;
    }
    const Arguments& args = *parsed;
    const std::uint64_t seed =
        args.seed ? *args.seed
                  : (std::uint64_t{std::random_device{}()} << 32 | std::random_device{}());
    const std::uint64_t first = args.only ? *args.only : 0;
    const std::uint64_t count = args.only ? 1 : args.runs;
    std::printf("Fault soak: %llu run%s, seed %llu\n", static_cast<unsigned long long>(count),
                count == 1 ? "" : "s", static_cast<unsigned long long>(seed));
    std::fflush(stdout);

    Watchdog watchdog;
    SoakTable table;
    const auto started = Clock::now();
    for (std::uint64_t run = first; run < first + count; ++run) {
        const RunPlan plan = drawPlan(seed, run, args.fault);
        watchdog.arm(Clock::now() + plan.hangLimit + std::chrono::seconds(30),
                     "run " + std::to_string(run) + ": " + plan.describe() +
                         "\n  replay: " + replayLine(args, seed, run));
        const Observation o = runOnce(plan, blocksKept(plan));
        watchdog.disarm();
        const Judgement j = judge(plan, o);
        table.add(plan, o, j);
        if (!j.right()) {
            std::printf("PROBLEM run %llu: %s\n", static_cast<unsigned long long>(run),
                        plan.describe().c_str());
            std::printf("  expected %s\n", j.expected.describe().c_str());
            std::printf("  got      %s\n", describeOutcome(o).c_str());
            for (const std::string& p : j.problems)
                std::printf("  - %s\n", p.c_str());
            std::printf("  replay: %s\n", replayLine(args, seed, run).c_str());
            std::fflush(stdout);
        } else if (args.verbose) {
            std::printf("run %llu: %s\n  %s\n", static_cast<unsigned long long>(run),
                        plan.describe().c_str(), describeOutcome(o).c_str());
        }
        const std::uint64_t done = run - first + 1;
        if (count >= 100 && done % (count / 10) == 0 && done != count)
            std::fprintf(stderr, "  %llu/%llu runs\n", static_cast<unsigned long long>(done),
                         static_cast<unsigned long long>(count));
    }
    const auto seconds = std::chrono::duration<double>(Clock::now() - started).count();

    std::printf("\n");
    table.print(stdout);
    std::printf("\nseed %llu, %llu runs in %.1f s%s\n", static_cast<unsigned long long>(seed),
                static_cast<unsigned long long>(count), seconds,
                table.clean() ? "" : " -- FAILED (replay a run with the line printed above)");
    return table.clean() ? 0 : 1;
}
