#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pexo::archiver {

struct ExtractCommand {
    std::string archive;
    std::string folder;
};

// Parses "e [-switches] ARCHIVE FOLDER". A path may be enclosed in double quotes; inside quotes
// \" stands for a quote and \\ for a backslash, outside them every character is literal.
// Switch letters n (no progress window), y (yes to all) and c (no time-stamp check) are
// accepted and have nothing to do here; any other switch, command or argument count is refused.
std::optional<ExtractCommand> parseCommandLine(std::string_view line);

} // namespace pexo::archiver
