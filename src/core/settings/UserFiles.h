#pragma once

#include <string>
#include <string_view>

namespace pexo {

// The user's own folders and the few file questions the settings location asks, as each
// platform answers them (UserFilesPosix.cpp, UserFilesWindows.cpp).

// Pexo's settings file below the user's configuration folder: "/pexo/PexoUDef.INI" on Linux,
// "\Pexo\PexoUDef.INI" on Windows.
extern const std::string_view kUserSettingsFile;

// $XDG_CONFIG_HOME when absolute, else $HOME/.config; on Windows the roaming application data
// folder. Empty when unknown.
std::string userConfigFolder();

// Whether this process may write `path` (a folder or a file).
bool mayWrite(const std::string& path);

bool pathExists(const std::string& path);

// Every missing folder on the way to `folder`, private to the user.
bool makePrivateFolders(const std::string& folder);

} // namespace pexo
