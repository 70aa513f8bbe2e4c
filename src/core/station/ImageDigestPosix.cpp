#include "core/station/ImageDigest.h"

#include <nettle/sha2.h>

namespace pexo {

static_assert(SHA256_DIGEST_SIZE == Sha256{}.size());

std::optional<Sha256> sha256(std::span<const std::uint8_t> bytes) {
    sha256_ctx ctx;
    sha256_init(&ctx);
    sha256_update(&ctx, bytes.size(), bytes.data());
    Sha256 digest;
    sha256_digest(&ctx, digest.size(), digest.data());
    return digest;
}

} // namespace pexo
