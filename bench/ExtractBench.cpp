// Unpacking one archive with the archiver module (loaded as an outside program would, by its
// exported names) against Debian's lhasa doing the same. Usage: pexo_bench_extract ARCHIVE
// [TINY_ARCHIVE]; the tiny one measures what lhasa spends on starting up alone.
#include "archiver/PexoArc.h"

#include <dlfcn.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRounds = 15;

double seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

int runLhasa(const std::string& archive, const std::string& folder) {
    std::string program = "/usr/bin/lhasa", mode = "-xqw=" + folder, path = archive;
    char* argv[] = {program.data(), mode.data(), path.data(), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0)
        return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: %s ARCHIVE [TINY_ARCHIVE]\n", argv[0]);
        return 2;
    }
    const std::string archive = std::filesystem::absolute(argv[1]).string();
    void* module = ::dlopen(PEXO_BIN_DIR "/DLL/UNLHA32.DLL", RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        std::fprintf(stderr, "%s\n", ::dlerror());
        return 1;
    }
    auto run = reinterpret_cast<int (*)(void*, const char*, char*, unsigned long)>(
        ::dlsym(module, "PexoArcRun"));
    if (!run)
        return 1;

    char pattern[] = "/tmp/pexo-extract-XXXXXX";
    const std::string folder = ::mkdtemp(pattern);
    const std::string command = "e -nyc \"" + archive + "\" \"" + folder + "/\"";
    char output[512];

    double best = 1e9, bestLhasa = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        auto start = Clock::now();
        if (run(nullptr, command.c_str(), output, sizeof output) != 0) {
            std::fprintf(stderr, "module: %s\n", output);
            return 1;
        }
        best = std::min(best, seconds(start));
        start = Clock::now();
        if (runLhasa(archive, folder) != 0) {
            std::fprintf(stderr, "lhasa failed (is the lhasa package installed?)\n");
            return 1;
        }
        bestLhasa = std::min(bestLhasa, seconds(start));
    }
    double startup = 0;
    if (argc == 3) {
        const std::string tiny = std::filesystem::absolute(argv[2]).string();
        startup = 1e9;
        for (int round = 0; round < kRounds; ++round) {
            const auto start = Clock::now();
            if (runLhasa(tiny, folder) != 0)
                return 1;
            startup = std::min(startup, seconds(start));
        }
    }
    std::filesystem::remove_all(folder);
    ::dlclose(module);
    std::printf("extract %s (best of %d)\n", archive.c_str(), kRounds);
    std::printf("  archiver module  %.2f ms\n", best * 1000);
    std::printf("  lhasa            %.2f ms (a process of its own)\n", bestLhasa * 1000);
    std::printf("  ratio            %.2f (module / lhasa; below 1 is faster)\n", best / bestLhasa);
    if (startup > 0 && bestLhasa > startup)
        std::printf("  without lhasa's start-up (%.2f ms): ratio %.2f\n", startup * 1000,
                    best / (bestLhasa - startup));
    return 0;
}
