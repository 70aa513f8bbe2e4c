#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pexo::archiver {

// The name a member is written under: the last part of its stored path, whichever separator the
// archiving system used ('/' or '\'), so that directory parts, ".." and absolute paths never
// lead out of the extraction folder. Nothing when that part is empty, "." or "..", longer than a
// file name may be, holds control characters (a name must be safe to show as it is) or is the
// extraction lock's name (PEXOARC_LOCK_FILE_NAME).
std::optional<std::string> flatMemberName(std::string_view storedPath);

} // namespace pexo::archiver
