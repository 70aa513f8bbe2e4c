#pragma once

#include "core/settings/IniDocument.h"

#include <span>
#include <string>
#include <string_view>

namespace pexo {

struct ProfileEntry {
    std::string_view key;
    std::string value;
};

// The settings file as a whole: a missing or unreadable file reads as an empty one.
IniDocument readProfile(const std::string& path);

// Writes the entries, in order, to `section` in one read-modify-write; the result is the same
// as writing them one by one. A missing file is created (its folder never is). Returns false,
// leaving the file as it was, when the file exists but cannot be read, when it cannot be
// replaced (missing or read-only folder, read-only file), or when an entry cannot be stored.
bool writeProfileStrings(const std::string& path, std::string_view section,
                         std::span<const ProfileEntry> entries);

} // namespace pexo
