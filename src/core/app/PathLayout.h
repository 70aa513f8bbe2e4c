#pragma once

#include <string_view>

namespace pexo {

// How the platform spells the installation's fixed locations.
struct PathLayout {
    // Characters that end a folder in a path; the first is the one we append.
    std::string_view separators;
    // Below the program folder.
    std::string_view archiverLibrary;
    std::string_view settingsFile;
    // Below the extraction base; ends in a separator.
    std::string_view extractFolder;
};

// Defined by the platform's Paths file.
extern const PathLayout kPathLayout;

} // namespace pexo
