#include "core/settings/SettingsLocation.h"

#include "core/app/PathLayout.h"
#include "core/app/Paths.h"
#include "core/settings/AtomicFile.h"
#include "core/settings/UserFiles.h"

#include <mutex>
#include <utility>

namespace pexo {
namespace {

std::mutex envMutex;
SettingsEnvironment& currentEnv() {
    static SettingsEnvironment env = systemSettingsEnvironment();
    return env;
}

} // namespace

std::string SettingsFiles::readFrom() const {
    return !user.empty() && pathExists(user) ? user : program;
}

std::string SettingsFiles::saveTo() const {
    return user.empty() ? program : user;
}

std::string SettingsFiles::describe() const {
    std::string text = "Settings file: " + saveTo();
    if (!user.empty() && !pathExists(user))
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
    const std::string folder =
        program->substr(0, program->find_last_of(kPathLayout.separators) + 1);
    const bool writable =
        env.writable && env.writable(folder) && (!pathExists(*program) || env.writable(*program));
    const std::string config = !writable && env.configFolder ? env.configFolder() : std::string{};
    // Without a folder of the user's, the program folder's file is all there is.
    if (!config.empty())
        files.user = userSettingsFile(config);
    return files;
}

std::string userSettingsFile(const std::string& configFolder) {
    return configFolder + std::string(kUserSettingsFile);
}

bool prepareSettingsSave(const SettingsFiles& files) {
    if (files.user.empty() || pathExists(files.user))
        return true;
    if (!makePrivateFolders(files.user.substr(0, files.user.find_last_of(kPathLayout.separators))))
        return false;
    const FileBytes seed = readWholeFile(files.program);
    // Without a readable program file the first write starts the file, as it would there.
    if (seed.status != FileReadStatus::Read)
        return true;
    return replaceWholeFile(files.user, seed.bytes);
}

} // namespace pexo
