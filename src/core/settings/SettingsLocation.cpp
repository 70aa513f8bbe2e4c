#include "core/settings/SettingsLocation.h"

#include "core/app/Paths.h"
#include "core/settings/AtomicFile.h"

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace pexo {
namespace {

constexpr char kUserFile[] = "/pexo/PexoUDef.INI";

std::string userConfigFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    // The XDG rules ignore a relative value.
    if (xdg && xdg[0] == '/')
        return xdg;
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return std::string(home) + "/.config";
    return {};
}

bool mayWrite(const std::string& path) {
    return ::access(path.c_str(), W_OK) == 0;
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

std::mutex envMutex;
SettingsEnvironment& currentEnv() {
    static SettingsEnvironment env = systemSettingsEnvironment();
    return env;
}

// Every missing folder on the way, each 0700: a user's configuration is nobody else's.
bool makeFolders(const std::string& folder) {
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            break;
    }
    struct stat st {};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

std::string SettingsFiles::readFrom() const {
    return !user.empty() && exists(user) ? user : program;
}

std::string SettingsFiles::saveTo() const {
    return user.empty() ? program : user;
}

std::string SettingsFiles::describe() const {
    std::string text = "Settings file: " + saveTo();
    if (!user.empty() && !exists(user))
        text += " (made at the first save; until then the settings come from " + program + ")";
    return text;
}

SettingsEnvironment systemSettingsEnvironment() {
    return SettingsEnvironment{userConfigFolder, mayWrite};
}

SettingsEnvironment setSettingsEnvironment(SettingsEnvironment env) {
    std::lock_guard lock(envMutex);
    return std::exchange(currentEnv(), std::move(env));
}

std::optional<SettingsFiles> settingsFiles() {
    SettingsEnvironment env;
    {
        std::lock_guard lock(envMutex);
        env = currentEnv();
    }
    const auto program = resolvePath(PathKind::SettingsFile);
    if (!program)
        return std::nullopt;
    SettingsFiles files{*program, {}};
    const std::string folder = program->substr(0, program->rfind('/') + 1);
    const bool writable =
        env.writable && env.writable(folder) && (!exists(*program) || env.writable(*program));
    const std::string config = !writable && env.configFolder ? env.configFolder() : std::string{};
    // Without a folder of the user's, the program folder's file is all there is.
    if (!config.empty())
        files.user = config + kUserFile;
    return files;
}

bool prepareSettingsSave(const SettingsFiles& files) {
    if (files.user.empty() || exists(files.user))
        return true;
    if (!makeFolders(files.user.substr(0, files.user.rfind('/'))))
        return false;
    const FileBytes seed = readWholeFile(files.program);
    // Without a readable program file the first write starts the file, as it would there.
    if (seed.status != FileReadStatus::Read)
        return true;
    return replaceWholeFile(files.user, seed.bytes);
}

} // namespace pexo
