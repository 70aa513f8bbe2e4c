// End-to-end download of a 2 MiB image: pexo-cli over a pseudo-terminal to the simulated
// device, as an operator would run it. Prints wall time, the time the protocol itself asks
// for, the host's overhead per block, its CPU time per MiB and, with a line rate, how much
// of the line the data used.
#include "devsim/SampleArchive.h"
#include "devsim/Simulator.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kWriteFirst = 0x6000;
constexpr std::uint32_t kWriteEnd = 0x200000; // one past the default last address
constexpr std::uint32_t kBlock = 1024;
constexpr double kTxWaitMs = 1.0;

struct Run {
    double wallSeconds = 0;
    double cpuSeconds = 0;
    int status = -1;
};

Run download(const std::string& archive, const std::string& settings, std::uint32_t rate) {
    pexo::devsim::Options options;
    options.rate = rate;
    options.linger = std::chrono::milliseconds(0);
    options.frameHistory = 16;
    pexo::devsim::Simulator device(options);
    if (!device.start()) {
        std::fprintf(stderr, "simulator: %s\n", device.error().c_str());
        return {};
    }
    const std::string cli = PEXO_BIN_DIR "/pexo-cli";
    std::vector<std::string> args{cli,         "--settings", settings, "--tx-wait", "1", "--quiet",
                                  "--port",    device.slavePath(), archive};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    Run run;
    const auto start = Clock::now();
    pid_t pid = -1;
    if (posix_spawn(&pid, cli.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
        std::perror("posix_spawn");
        return run;
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    run.wallSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

void report(const char* title, const Run& run, std::uint32_t rate) {
    const double blocks = (kWriteEnd - kWriteFirst) / kBlock;
    const double dataBytes = kWriteEnd - kWriteFirst;
    const double frameBytes = blocks * (kBlock + 4);
    double demanded = blocks * kTxWaitMs / 1000.0;
    if (rate != 0) // the line itself: every block frame at 10 bits a byte
        demanded = std::max(demanded, frameBytes * 10.0 / rate);
    std::printf("%s\n", title);
    std::printf("  exit status                 %d\n", run.status);
    std::printf("  wall time                   %.3f s\n", run.wallSeconds);
    std::printf("  protocol demands            %.3f s (%d blocks, %.0f ms pacing%s)\n", demanded,
                static_cast<int>(blocks), kTxWaitMs, rate ? ", line time" : "");
    std::printf("  host overhead per block     %.3f ms\n",
                (run.wallSeconds - demanded) / blocks * 1000.0);
    std::printf("  host CPU per MiB            %.4f s\n", run.cpuSeconds / (dataBytes / 1048576.0));
    std::printf("  host CPU share of one core  %.2f %%\n", 100.0 * run.cpuSeconds / run.wallSeconds);
    if (rate != 0)
        std::printf("  line utilisation            %.1f %% (data bytes / (s x %u))\n",
                    100.0 * dataBytes / (run.wallSeconds * rate / 10.0), rate / 10);
}

} // namespace

int main(int argc, char** argv) {
    // --quick leaves out the run at a real line rate (three minutes for 2 MiB at 115200).
    const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
    char folder[] = "/tmp/pexo-bench-XXXXXX";
    if (!::mkdtemp(folder))
        return 1;
    const std::string archive = std::string(folder) + "/image.lzh";
    const std::string settings = std::string(folder) + "/settings.ini";
    {
        const auto image = pexo::devsim::sampleImage(kWriteEnd);
        const auto bytes = pexo::devsim::storedLhaArchive("IMAGE.BIN", image, 0);
        std::ofstream(archive, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        std::ofstream touch(settings);
    }
    report("2 MiB, --tx-wait 1, unlimited pty", download(archive, settings, 0), 0);
    if (!quick)
        report("2 MiB, --tx-wait 1, simulator at 115200 baud",
               download(archive, settings, 115200), 115200);
    std::remove(archive.c_str());
    std::remove(settings.c_str());
    ::rmdir(folder);
    return 0;
}
