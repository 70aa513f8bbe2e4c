#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace pexo::test {

// A program run by a test, its output caught in files (so a chatty child never blocks on a
// full pipe). The destructor kills and reaps a child that is still running.
class ChildProcess {
public:
    ChildProcess(const std::string& program, const std::vector<std::string>& args);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    // The exit status, or -(signal) when a signal ended it; empty when `timeout` passed first.
    std::optional<int> wait(std::chrono::milliseconds timeout);
    void signal(int number);

    std::string standardOutput() const;
    std::string standardError() const;
    // Waits until standard output holds a whole line; returns it without the line end.
    std::optional<std::string> firstLine(std::chrono::milliseconds timeout) const;

private:
    int pid_ = -1;
    std::optional<int> status_;
    std::string folder_;
};

std::vector<std::string> splitLines(const std::string& text);

} // namespace pexo::test
