#include "cli/Platform.h"
#include "core/app/Utf16.h"

#include <windows.h>

#include <io.h>
#include <shellapi.h>

namespace pexo::cli {

std::vector<std::string> startProcess(int argc, char** argv) {
    // What we print is UTF-8; so is what the console shows.
    ::SetConsoleOutputCP(CP_UTF8);
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!wide)
        return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> args;
    for (int i = 0; i < count; ++i) {
        // An argument that is not valid UTF-16 cannot name anything; it passes as the system
        // gave it in its code page, and whatever takes it refuses it.
        std::optional<std::string> utf8 = toUtf8(wide[i]);
        args.push_back(utf8 ? *utf8 : (i < argc ? std::string(argv[i]) : std::string()));
    }
    ::LocalFree(wide);
    return args;
}

const PlatformHelp& platformHelp() {
    static const PlatformHelp help{
        "settings file (default: the program folder's INI\\PexoUDef.INI, or "
        "%APPDATA%\\Pexo\\PexoUDef.INI when the program folder is not writable)",
        "COMn (COM1 to COM255) or \\\\.\\COMn; repeat it to flash several devices at once",
        "list the serial ports found and exit",
        "Ctrl-C, Ctrl-Break"};
    return help;
}

bool isLiveTerminal(std::FILE* stream) {
    const HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
    DWORD mode = 0;
    // A console redraws the progress line in place; a file or a pipe gets plain lines.
    return handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode) != 0;
}

} // namespace pexo::cli
