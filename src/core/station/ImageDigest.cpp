#include "core/station/ImageDigest.h"

#include <nettle/sha2.h>

namespace pexo {

std::string sha256Hex(std::span<const std::uint8_t> bytes) {
    sha256_ctx ctx;
    sha256_init(&ctx);
    sha256_update(&ctx, bytes.size(), bytes.data());
    std::uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(&ctx, sizeof digest, digest);
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * sizeof digest);
    for (const std::uint8_t byte : digest) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

} // namespace pexo
