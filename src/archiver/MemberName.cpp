#include "archiver/MemberName.h"

#include "archiver/ExtractFolder.h"
#include "archiver/PexoArc.h"

#include <algorithm>

namespace pexo::archiver {
namespace {

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, {}, asciiLower, asciiLower);
}

// Ignoring case, so that the rule also holds on a file system that ignores it.
bool isLockFileName(std::string_view name) {
    return equalsIgnoringCase(name, PEXOARC_LOCK_FILE_NAME);
}

bool isDeviceName(std::string_view base) {
    for (std::string_view device : {"con", "prn", "aux", "nul", "conin$", "conout$"}) {
        if (equalsIgnoringCase(base, device))
            return true;
    }
    if (base.size() < 4 || (!equalsIgnoringCase(base.substr(0, 3), "com") &&
                            !equalsIgnoringCase(base.substr(0, 3), "lpt")))
        return false;
    const std::string_view number = base.substr(3);
    // A digit, or the superscripts 1, 2, 3 that Windows also takes for port numbers.
    return (number.size() == 1 && number[0] >= '0' && number[0] <= '9') || number == "\xC2\xB9" ||
           number == "\xC2\xB2" || number == "\xC2\xB3";
}

} // namespace

std::optional<std::string> flatMemberName(std::string_view storedPath) {
    constexpr std::size_t kMaxNameLength = 255;
    const auto separator = storedPath.find_last_of("/\\");
    const std::string_view name =
        separator == std::string_view::npos ? storedPath : storedPath.substr(separator + 1);
    if (name.empty() || name == "." || name == ".." || name.size() > kMaxNameLength ||
        isLockFileName(name))
        return std::nullopt;
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F)
            return std::nullopt;
    }
    if (!ExtractFolder::canHold(name))
        return std::nullopt;
    return std::string(name);
}

bool windowsCanHold(std::string_view name) {
    if (name.empty() || name.back() == '.' || name.back() == ' ')
        return false;
    if (name.find_first_of("<>:\"|?*\\/") != std::string_view::npos)
        return false;
    for (unsigned char c : name) {
        if (c < 0x20)
            return false;
    }
    // The system looks at the part before the first dot, blanks at its end ignored.
    std::string_view base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ')
        base.remove_suffix(1);
    if (isDeviceName(base))
        return false;
    const auto dot = name.rfind('.');
    return !(name.find('~') != std::string_view::npos && dot != std::string_view::npos &&
             equalsIgnoringCase(name.substr(dot), ".loc"));
}

} // namespace pexo::archiver
