#include "archiver/MemberName.h"

#include "archiver/PexoArc.h"

#include <algorithm>

namespace pexo::archiver {
namespace {

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Ignoring case, so that the rule also holds on a file system that ignores it.
bool isLockFileName(std::string_view name) {
    constexpr std::string_view kLock = PEXOARC_LOCK_FILE_NAME;
    return std::ranges::equal(name, kLock, {}, asciiLower, asciiLower);
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
    return std::string(name);
}

} // namespace pexo::archiver
