#include "archiver/MemberName.h"

namespace pexo::archiver {

std::optional<std::string> flatMemberName(std::string_view storedPath) {
    constexpr std::size_t kMaxNameLength = 255;
    const auto separator = storedPath.find_last_of("/\\");
    const std::string_view name =
        separator == std::string_view::npos ? storedPath : storedPath.substr(separator + 1);
    if (name.empty() || name == "." || name == ".." || name.size() > kMaxNameLength)
        return std::nullopt;
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F)
            return std::nullopt;
    }
    return std::string(name);
}

} // namespace pexo::archiver
