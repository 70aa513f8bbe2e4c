#include "cli/Console.h"

#include "cli/Platform.h"

namespace pexo::cli {

Console::Console(std::FILE* out, std::FILE* err, bool quiet)
    : out_(out), err_(err), quiet_(quiet), live_(isLiveTerminal(err)) {}

void Console::clearLiveLine() {
    if (live_ && lineShown_) {
        std::fprintf(err_, "\r%*s\r", static_cast<int>(shownLength_), "");
        lineShown_ = false;
        shownLength_ = 0;
    }
}

void Console::message(std::string_view text) {
    std::lock_guard lock(mutex_);
    clearLiveLine();
    std::fprintf(err_, "%.*s\n", static_cast<int>(text.size()), text.data());
    std::fflush(err_);
}

void Console::progress(std::string_view line) {
    if (quiet_)
        return;
    std::lock_guard lock(mutex_);
    if (live_) {
        // Blanks over what a longer line left, not an erase sequence: every console knows
        // a carriage return, not every one (Wine's, an old Windows one) the sequences.
        const int pad = shownLength_ > line.size() ? static_cast<int>(shownLength_ - line.size()) : 0;
        std::fprintf(err_, "\r%.*s%*s", static_cast<int>(line.size()), line.data(), pad, "");
        lineShown_ = true;
        shownLength_ = line.size();
    } else {
        std::fprintf(err_, "%.*s\n", static_cast<int>(line.size()), line.data());
    }
    std::fflush(err_);
}

void Console::endProgress() {
    std::lock_guard lock(mutex_);
    if (live_ && lineShown_) {
        std::fputc('\n', err_);
        lineShown_ = false;
        shownLength_ = 0;
        std::fflush(err_);
    }
}

void Console::result(std::string_view line) {
    std::lock_guard lock(mutex_);
    std::fprintf(out_, "%.*s\n", static_cast<int>(line.size()), line.data());
    std::fflush(out_);
}

} // namespace pexo::cli
