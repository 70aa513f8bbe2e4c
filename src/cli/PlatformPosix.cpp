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

const PlatformHelp& platformHelp() {
    static const PlatformHelp help{
        "settings file (default: the program folder's INI/PexoUDef.INI, or "
        "~/.config/pexo/PexoUDef.INI when the program folder is not writable)",
        "COM1, COM2 or a device path; repeat it to flash several devices at once",
        "list the serial ports found (path, by-id and by-path names, driver, USB identity) and "
        "exit",
        "SIGINT, SIGTERM"};
    return help;
}

bool isLiveTerminal(std::FILE* stream) {
    return ::isatty(::fileno(stream)) == 1;
}

} // namespace pexo::cli
