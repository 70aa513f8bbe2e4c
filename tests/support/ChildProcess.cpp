#include "support/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace pexo::test {
namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Re-checks at a short period: a child's exit or output gives this process no event to wait on
// short of SIGCHLD, which would disturb the code under test.
template <typename Condition>
bool pollUntil(Condition condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

} // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args) {
    char pattern[] = "/tmp/pexo-child-XXXXXX";
    if (!::mkdtemp(pattern))
        return;
    folder_ = pattern;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, (folder_ + "/out").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, (folder_ + "/err").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    // The child starts with no signal blocked, whatever this thread's mask.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);

    std::vector<std::string> all{program};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ) == 0)
        pid_ = pid;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !status_) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    if (!folder_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
}

std::optional<int> ChildProcess::wait(std::chrono::milliseconds timeout) {
    if (status_ || pid_ <= 0)
        return status_;
    pollUntil(
        [&] {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) != pid_)
                return false;
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
            return true;
        },
        timeout);
    return status_;
}

void ChildProcess::signal(int number) {
    if (pid_ > 0 && !status_)
        ::kill(pid_, number);
}

std::string ChildProcess::standardOutput() const {
    return readFile(folder_ + "/out");
}

std::string ChildProcess::standardError() const {
    return readFile(folder_ + "/err");
}

std::optional<std::string> ChildProcess::firstLine(std::chrono::milliseconds timeout) const {
    std::string text;
    if (!pollUntil(
            [&] {
                text = standardOutput();
                return text.find('\n') != std::string::npos;
            },
            timeout))
        return std::nullopt;
    return text.substr(0, text.find('\n'));
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace pexo::test
