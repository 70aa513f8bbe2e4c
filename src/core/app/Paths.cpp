#include "core/app/Paths.h"

#include "core/app/PathLayout.h"

#include <mutex>
#include <utility>

namespace pexo {
namespace {

std::mutex envMutex;
PathEnvironment& currentEnv() {
    static PathEnvironment env = systemPathEnvironment();
    return env;
}

PathEnvironment snapshot() {
    std::lock_guard lock(envMutex);
    return currentEnv();
}

std::string withTrailingSeparator(std::string s) {
    if (!s.empty() && kPathLayout.separators.find(s.back()) == std::string_view::npos)
        s.push_back(kPathLayout.separators.front());
    return s;
}

} // namespace

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
        out = withTrailingSeparator(std::move(base)).append(kPathLayout.extractFolder);
        return true;
    }
    case PathKind::ArchiverLibrary:
    case PathKind::SettingsFile: {
        std::string exe = env.executablePath ? env.executablePath() : std::string{};
        if (exe.empty())
            return false;
        const auto slash = exe.find_last_of(kPathLayout.separators);
        std::string folder = slash == std::string::npos
                                 ? std::string(".").append(1, kPathLayout.separators.front())
                                 : exe.substr(0, slash + 1);
        out = folder.append(kind == PathKind::ArchiverLibrary ? kPathLayout.archiverLibrary
                                                              : kPathLayout.settingsFile);
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
