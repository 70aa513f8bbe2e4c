#include "core/station/ImageDigest.h"

namespace pexo {

std::string sha256Hex(std::span<const std::uint8_t> bytes) {
    const auto digest = sha256(bytes);
    if (!digest)
        return {};
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * digest->size());
    for (const std::uint8_t byte : *digest) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

} // namespace pexo
