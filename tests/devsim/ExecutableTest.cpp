#include "HostLine.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace pexo::devsim::test {
namespace {

using Clock = std::chrono::steady_clock;

// Reads the child's stdout until a whole line, or end of file, or the deadline.
std::string readUntil(int fd, bool wholeOutput) {
    const auto end = Clock::now() + kDeadline;
    std::string out;
    char buf[256];
    while (wholeOutput || out.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            break;
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    return out;
}

TEST(DevsimProgram, PrintsItsLineAnswersAndExitsCleanlyOnSigterm) {
    const std::string program = PEXO_BIN_DIR "/pexo-devsim";
    const std::string dump = (std::filesystem::temp_directory_path() /
                              ("pexo-devsim-" + std::to_string(::getpid()) + ".bin"))
                                 .string();
    int out[2];
    ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::vector<std::string> args = {program, "--dump", dump};
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned =
        ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ASSERT_EQ(spawned, 0) << program;

    const std::string line = readUntil(out[0], false);
    ASSERT_FALSE(line.empty()) << "no path printed";
    EXPECT_EQ(line.back(), '\n');
    const std::string path = line.substr(0, line.find('\n'));
    EXPECT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
    {
        HostLine host(path);
        host.send({0xD6});
        EXPECT_EQ(host.receive(1), (Bytes{0xD6}));

        ASSERT_EQ(::kill(pid, SIGTERM), 0);
        EXPECT_TRUE(host.waitHangup());
    }
    readUntil(out[0], true); // end of file: the program has exited
    ::close(out[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    // The session was cut short by the signal; memory is dumped all the same (empty here).
    EXPECT_TRUE(std::filesystem::exists(dump));
    EXPECT_EQ(std::filesystem::file_size(dump), 0u);
    std::filesystem::remove(dump);
}

} // namespace
} // namespace pexo::devsim::test
