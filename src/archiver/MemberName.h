#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pexo::archiver {

// The name a member is written under: the last part of its stored path, whichever separator the
// archiving system used ('/' or '\'), so that directory parts, ".." and absolute paths never
// lead out of the extraction folder. Nothing when that part is empty, "." or "..", longer than a
// file name may be, holds control characters (a name must be safe to show as it is) or is the
// extraction lock's name (PEXOARC_LOCK_FILE_NAME), or one the platform cannot store as it is
// (ExtractFolder::canHold).
std::optional<std::string> flatMemberName(std::string_view storedPath);

// Whether Windows stores a file under exactly this name (no separators) inside a folder. It
// refuses rather than alters: a device name (CON, PRN, AUX, NUL, COM0-9, LPT0-9, CONIN$,
// CONOUT$, with any extension) would open the device, a trailing dot or blank is dropped by
// the system, ':' names a drive or another stream of a file, and <>"|?* are wildcards or not
// allowed; a '~' name with the extension LOC could be the 8.3 alias of the lock file. Such
// names cannot come from a Windows archiver, and a changed name would not be the name the
// archive gives.
bool windowsCanHold(std::string_view name);

} // namespace pexo::archiver
