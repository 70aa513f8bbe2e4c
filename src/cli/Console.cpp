#include "cli/Console.h"

#include "cli/Platform.h"

namespace pexo::cli {

Console::Console(std::FILE* out, std::FILE* err, bool quiet)
    : out_(out), err_(err), quiet_(quiet), live_(isLiveTerminal(err)) {}

void Console::clearLiveLine() {
    if (live_ && lineShown_) {
        std::fputs("\r\033[K", err_);
        lineShown_ = false;
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
        std::fprintf(err_, "\r\033[K%.*s", static_cast<int>(line.size()), line.data());
        lineShown_ = true;
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
        std::fflush(err_);
    }
}

void Console::result(std::string_view line) {
    std::lock_guard lock(mutex_);
    std::fprintf(out_, "%.*s\n", static_cast<int>(line.size()), line.data());
    std::fflush(out_);
}

} // namespace pexo::cli
