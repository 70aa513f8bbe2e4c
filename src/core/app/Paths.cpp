#include "core/app/Paths.h"

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <utility>

namespace pexo {
namespace {

std::string readExecutablePath() {
    std::error_code ec;
    auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string{} : p.string();
}

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

std::mutex envMutex;
PathEnvironment& currentEnv() {
    static PathEnvironment env = systemPathEnvironment();
    return env;
}

PathEnvironment snapshot() {
    std::lock_guard lock(envMutex);
    return currentEnv();
}

std::string withTrailingSlash(std::string s) {
    if (!s.empty() && s.back() != '/')
        s.push_back('/');
    return s;
}

} // namespace

PathEnvironment systemPathEnvironment() {
    return PathEnvironment{readExecutablePath, userCacheFolder};
}

PathEnvironment setPathEnvironment(PathEnvironment env) {
    std::lock_guard lock(envMutex);
    return std::exchange(currentEnv(), std::move(env));
}

bool ResolvePath(PathKind kind, std::string& out) {
    const PathEnvironment env = snapshot();
    switch (kind) {
    case PathKind::ExtractFolder: {
        std::string base = env.windowsFolder ? env.windowsFolder() : std::string{};
        if (base.empty())
            return false;
        out = withTrailingSlash(std::move(base)) + "TEMP/PexoTEMP/";
        return true;
    }
    case PathKind::ArchiverLibrary:
    case PathKind::SettingsFile: {
        std::string exe = env.executablePath ? env.executablePath() : std::string{};
        if (exe.empty())
            return false;
        const auto slash = exe.rfind('/');
        const std::string folder = slash == std::string::npos ? "./" : exe.substr(0, slash + 1);
        out = folder + (kind == PathKind::ArchiverLibrary ? "DLL/UNLHA32.DLL" : "INI/PexoUDef.INI");
        return true;
    }
    }
    return false;
}

std::optional<std::string> resolvePath(PathKind kind) {
    std::string out;
    if (!ResolvePath(kind, out))
        return std::nullopt;
    return out;
}

} // namespace pexo
