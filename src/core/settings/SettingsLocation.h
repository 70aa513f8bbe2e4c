#pragma once

#include <functional>
#include <optional>
#include <string>

namespace pexo {

// Where the settings file of this installation is. The program folder's INI/PexoUDef.INI
// while the program may write it (a build folder, an unpacked copy); otherwise (an installed
// program) the user's own: $XDG_CONFIG_HOME/pexo/PexoUDef.INI, on Windows
// %APPDATA%\Pexo\PexoUDef.INI. That starts as a copy of the program folder's file at the first
// save, so that its default sections come along.
struct SettingsFiles {
    std::string program; // the program folder's file
    std::string user;    // the user's file; empty while the program folder's is in force

    // The file loads read: the user's once it exists, else the program folder's.
    std::string readFrom() const;
    // The file saves write: the user's when there is one, else the program folder's.
    std::string saveTo() const;
    // For --version: "Settings file: <saveTo>", and where the values come from until the first
    // save makes the user's file.
    std::string describe() const;
};

// What the rule asks of the system; tests install their own (running as root, they cannot
// make a folder unwritable by its mode).
struct SettingsEnvironment {
    // $XDG_CONFIG_HOME when absolute, else $HOME/.config; on Windows the roaming application
    // data folder. Empty when unknown.
    std::function<std::string()> configFolder;
    // Whether this process may write `path`: access(W_OK); on Windows by trying (a probe file
    // made and removed in a folder, a file opened for writing), since access rights decide.
    std::function<bool(const std::string& path)> writable;
};

SettingsEnvironment systemSettingsEnvironment();
// Replaces the environment used by settingsFiles(); returns the previous one.
SettingsEnvironment setSettingsEnvironment(SettingsEnvironment env);

// The rule applied now; empty when the program's folder cannot be determined. The program
// folder counts as writable when its INI folder is, and the file is too or is not there yet.
std::optional<SettingsFiles> settingsFiles();

// The user's file for a given configuration folder.
std::string userSettingsFile(const std::string& configFolder);

// Before the first write to the user's file: makes its folder (mode 0700, as the XDG rules
// ask; on Windows with the rights of the user's profile) and copies the program folder's file into
// it. Does nothing when the user's file exists or the program folder's is in force. False when the
// copy cannot be made.
bool prepareSettingsSave(const SettingsFiles& files);

} // namespace pexo
