#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

namespace pexo::cli {

// The terminal as all threads share it: messages and progress on stderr, the result lines
// on stdout. On a terminal the progress is one line redrawn in place; otherwise plain
// lines. Every call may come from any thread.
class Console {
public:
    Console(std::FILE* out, std::FILE* err, bool quiet);

    bool progressIsLive() const { return live_; }
    bool showsProgress() const { return !quiet_; }

    void message(std::string_view text);
    void progress(std::string_view line);
    // Ends a live progress line, so that what follows starts on a line of its own.
    void endProgress();
    void result(std::string_view line);

private:
    void clearLiveLine();

    std::FILE* out_;
    std::FILE* err_;
    bool quiet_;
    bool live_;
    std::mutex mutex_;
    bool lineShown_ = false;
    std::size_t shownLength_ = 0; // of the live line, in bytes
};

} // namespace pexo::cli
