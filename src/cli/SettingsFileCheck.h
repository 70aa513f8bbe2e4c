#pragma once

#include "core/settings/AtomicFile.h"

#include <optional>
#include <string>

namespace pexo::cli {

// Why a settings file cannot serve, found by reading it through: the settings reader takes a
// file it cannot read as an empty one, and a download with the built-in addresses instead of
// the intended ones is worse than none. `missing`: there is no such file.
std::optional<std::string> unreadableBecause(const std::string& file, bool& missing);

// The wording both platforms share.
inline std::string tooLargeForSettings() {
    return "is larger than the " + std::to_string(kMaxSettingsFileSize >> 20) +
           " MiB a settings file may hold";
}

} // namespace pexo::cli
