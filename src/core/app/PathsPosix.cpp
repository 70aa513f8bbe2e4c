#include "core/app/PathLayout.h"
#include "core/app/Paths.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace pexo {

const PathLayout kPathLayout{"/", "DLL/UNLHA32.DLL", "INI/PexoUDef.INI", "TEMP/PexoTEMP/"};

namespace {

std::string readExecutablePath() {
    std::error_code ec;
    auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string{} : p.string();
}

// The user's own cache folder rather than a machine-wide one that other users can write.
std::string userCacheFolder() {
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    // The XDG rules ignore a relative value.
    if (xdg && xdg[0] == '/')
        return std::string(xdg) + "/pexo/";
    const char* home = std::getenv("HOME");
    if (home && home[0] != '\0')
        return std::string(home) + "/.cache/pexo/";
    return {};
}

} // namespace

PathEnvironment systemPathEnvironment() {
    return PathEnvironment{readExecutablePath, userCacheFolder};
}

} // namespace pexo
