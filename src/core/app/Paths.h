#pragma once

#include <functional>
#include <optional>
#include <string>

namespace pexo {

// The three fixed locations of an installation.
enum class PathKind : int {
    ArchiverLibrary = 0,
    SettingsFile = 1,
    ExtractFolder = 2,
};

// Where the platform lookups come from; tests install their own.
struct PathEnvironment {
    // Full path of the running executable; empty when it cannot be had.
    std::function<std::string()> executablePath;
    // The base of the extraction folder, standing in for the Windows directory: one of the
    // user's own (the cache folder on Linux, the temporary folder on Windows); empty when
    // unknown.
    std::function<std::string()> windowsFolder;
};

PathEnvironment systemPathEnvironment();

// Replaces the lookups used by ResolvePath; returns the previous ones.
PathEnvironment setPathEnvironment(PathEnvironment env);

// Writes the location for `kind` into `out` and returns true. Returns false and leaves
// `out` untouched for an unknown kind or when the base folder cannot be determined.
bool ResolvePath(PathKind kind, std::string& out);

// Convenience form for callers that only need the value.
std::optional<std::string> resolvePath(PathKind kind);

} // namespace pexo
