// A station's load: one pexo-cli flashing the same image into N simulated devices at once, each
// device its own pexo-devsim process at a real line rate; once, then three devices in a row per
// port. Prints the run's wall time against a lone port's and the CPU each side used, as a share
// of one core over the run's wall time.
#include "devsim/SampleArchive.h"

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kRate = 115200;
constexpr std::uint32_t kWriteFirst = 0x6000;
constexpr std::uint32_t kBlock = 1024;

double cpuSeconds(const rusage& usage) {
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::vector<char*> argvOf(std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    return argv;
}

// One pexo-devsim, started and read up to its path line.
struct Device {
    pid_t pid = -1;
    std::string path;
};

std::optional<Device> startDevice(const std::vector<std::string>& extra) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return std::nullopt;
    std::vector<std::string> args{PEXO_BIN_DIR "/pexo-devsim", "--rate", std::to_string(kRate)};
    args.insert(args.end(), extra.begin(), extra.end());
    auto argv = argvOf(args);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    Device device;
    const int spawned = posix_spawn(&device.pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (spawned != 0) {
        ::close(out[0]);
        return std::nullopt;
    }
    char c = 0;
    while (::read(out[0], &c, 1) == 1 && c != '\n')
        device.path += c;
    ::close(out[0]);
    if (device.path.empty()) {
        ::waitpid(device.pid, nullptr, 0);
        return std::nullopt;
    }
    return device;
}

// One table: the same download on 1 port (the reference) and on each count of ports.
struct Figure {
    std::string title;
    std::uint32_t imageBytes = 0;
    std::vector<std::size_t> portCounts;
    std::vector<std::string> deviceArgs; // added to pexo-devsim's
    std::vector<std::string> cliArgs;    // added to pexo-cli's
};

std::string archivePath(const std::string& folder, std::uint32_t imageBytes) {
    return folder + "/image" + std::to_string(imageBytes) + ".lzh";
}

struct Run {
    int status = -1;
    double wallSeconds = 0;
    double hostCpuSeconds = 0;
    double deviceCpuSeconds = 0;
};

Run station(const Figure& figure, std::size_t ports, const std::string& folder) {
    Run run;
    const std::string archive = archivePath(folder, figure.imageBytes);
    std::vector<Device> devices;
    for (std::size_t i = 0; i < ports; ++i) {
        auto device = startDevice(figure.deviceArgs);
        if (!device)
            break;
        devices.push_back(*device);
    }
    char writeLast[16];
    std::snprintf(writeLast, sizeof writeLast, "%X", kWriteFirst + figure.imageBytes - 1);
    std::vector<std::string> args{PEXO_BIN_DIR "/pexo-cli",
                                  "--settings",
                                  folder + "/settings.ini",
                                  "--baud",
                                  std::to_string(kRate),
                                  "--tx-wait",
                                  "1",
                                  "--write-last",
                                  writeLast,
                                  "--quiet"};
    args.insert(args.end(), figure.cliArgs.begin(), figure.cliArgs.end());
    for (const Device& device : devices) {
        args.push_back("--port");
        args.push_back(device.path);
    }
    args.push_back(archive);
    auto argv = argvOf(args);

    if (devices.size() == ports) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        const auto start = Clock::now();
        pid_t pid = -1;
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
            int status = 0;
            rusage usage{};
            ::wait4(pid, &status, 0, &usage);
            run.wallSeconds = std::chrono::duration<double>(Clock::now() - start).count();
            run.hostCpuSeconds = cpuSeconds(usage);
            run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        posix_spawn_file_actions_destroy(&actions);
    } else {
        std::fprintf(stderr, "station: only %zu of %zu simulators started\n", devices.size(),
                     ports);
    }
    for (const Device& device : devices)
        ::kill(device.pid, SIGTERM);
    for (const Device& device : devices) {
        rusage usage{};
        ::wait4(device.pid, nullptr, 0, &usage);
        run.deviceCpuSeconds += cpuSeconds(usage);
    }
    return run;
}

double share(double cpu, double wall) {
    return wall > 0 ? 100.0 * cpu / wall : 0;
}

// Prints the figure's table; false when a run did not end normally.
bool report(const Figure& figure, const std::string& folder) {
    std::printf("%s\n", figure.title.c_str());
    std::printf("  %5s  %6s  %9s  %8s  %11s  %12s  %14s\n", "ports", "status", "wall", "vs lone",
                "host CPU", "per port", "devsim CPU");
    const Run lone = station(figure, 1, folder);
    auto row = [&](std::size_t ports, const Run& run) {
        const double host = share(run.hostCpuSeconds, run.wallSeconds);
        std::printf("  %5zu  %6d  %7.3f s  %+7.2f %%  %9.2f %%  %10.3f %%  %12.2f %%\n", ports,
                    run.status, run.wallSeconds,
                    lone.wallSeconds > 0 ? 100.0 * (run.wallSeconds / lone.wallSeconds - 1) : 0,
                    host, host / static_cast<double>(ports),
                    share(run.deviceCpuSeconds, run.wallSeconds));
    };
    row(1, lone);
    bool ok = lone.status == 0;
    for (std::size_t ports : figure.portCounts) {
        const Run run = station(figure, ports, folder);
        row(ports, run);
        ok = ok && run.status == 0;
    }
    std::printf("  (CPU as a share of one core over the run's wall time; host: pexo-cli)\n");
    return ok;
}

void writeArchive(const std::string& folder, std::uint32_t imageBytes) {
    const auto image = pexo::devsim::sampleImage(kWriteFirst + imageBytes);
    const auto bytes = pexo::devsim::storedLhaArchive("IMAGE.BIN", image, 0);
    std::ofstream(archivePath(folder, imageBytes), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

} // namespace

int main(int argc, char** argv) {
    // --quick: small images on 8 ports, some seconds; otherwise 256 KiB on 8, 16 and 64.
    const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
    const std::vector<std::size_t> counts =
        quick ? std::vector<std::size_t>{8} : std::vector<std::size_t>{8, 16, 64};

    char folder[] = "/tmp/pexo-bench-XXXXXX";
    if (!::mkdtemp(folder))
        return 1;
    std::ofstream(std::string(folder) + "/settings.ini").flush();

    Figure once{"", (quick ? 32 : 256) * kBlock, counts, {}, {}};
    once.title = "Station: " + std::to_string(once.imageBytes / kBlock) +
                 " KiB into each pexo-devsim --rate " + std::to_string(kRate) + ", --tx-wait 1";
    // Three devices in a row on each port, each plugged in a second after the last has gone.
    Figure loop{"",
                (quick ? 8 : 256) * kBlock,
                counts,
                {"--replug", "1", "--linger", "0.1", "--sessions", "3"},
                {"--loop", "--count", "3", "--gone-after", "200"}};
    loop.title =
        "Station, 3 devices in a row per port: " + std::to_string(loop.imageBytes / kBlock) +
        " KiB each, pexo-devsim --replug 1 --linger 0.1, pexo-cli --loop --count 3 "
        "--gone-after 200";
    bool ok = true;
    for (const Figure* figure : {&once, &loop}) {
        writeArchive(folder, figure->imageBytes);
        ok = report(*figure, folder) && ok;
        std::remove(archivePath(folder, figure->imageBytes).c_str());
    }
    std::remove((std::string(folder) + "/settings.ini").c_str());
    ::rmdir(folder);
    return ok ? 0 : 1;
}
