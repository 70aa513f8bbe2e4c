#include "cli/Platform.h"

#include <csignal>
#include <unistd.h>

namespace pexo::cli {

std::vector<std::string> startProcess(int argc, char** argv) {
    // A log that reaches the file size limit must fail its write, not end the program with
    // the downloads in progress.
    std::signal(SIGXFSZ, SIG_IGN);
    return std::vector<std::string>(argv, argv + argc);
}

bool isLiveTerminal(std::FILE* stream) {
    return ::isatty(::fileno(stream)) == 1;
}

} // namespace pexo::cli
