#include "core/station/ImageDigest.h"

#include <algorithm>
#include <windows.h>

// After windows.h, which it needs.
#include <bcrypt.h>

namespace pexo {
namespace {

class Algorithm {
public:
    Algorithm() {
        if (!BCRYPT_SUCCESS(
                ::BCryptOpenAlgorithmProvider(&handle_, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
            handle_ = nullptr;
    }
    ~Algorithm() {
        if (handle_)
            ::BCryptCloseAlgorithmProvider(handle_, 0);
    }
    Algorithm(const Algorithm&) = delete;
    Algorithm& operator=(const Algorithm&) = delete;
    BCRYPT_ALG_HANDLE get() const { return handle_; }

private:
    BCRYPT_ALG_HANDLE handle_ = nullptr;
};

class Hash {
public:
    explicit Hash(BCRYPT_ALG_HANDLE algorithm) {
        // The system keeps the hash object's memory itself (Windows 7 and later).
        if (!algorithm ||
            !BCRYPT_SUCCESS(::BCryptCreateHash(algorithm, &handle_, nullptr, 0, nullptr, 0, 0)))
            handle_ = nullptr;
    }
    ~Hash() {
        if (handle_)
            ::BCryptDestroyHash(handle_);
    }
    Hash(const Hash&) = delete;
    Hash& operator=(const Hash&) = delete;
    BCRYPT_HASH_HANDLE get() const { return handle_; }

private:
    BCRYPT_HASH_HANDLE handle_ = nullptr;
};

} // namespace

std::optional<Sha256> sha256(std::span<const std::uint8_t> bytes) {
    const Algorithm algorithm;
    const Hash hash(algorithm.get());
    if (!hash.get())
        return std::nullopt;
    // The length is a ULONG: larger input goes in pieces.
    while (!bytes.empty()) {
        const std::size_t piece = std::min<std::size_t>(bytes.size(), 1u << 30);
        if (!BCRYPT_SUCCESS(::BCryptHashData(hash.get(), const_cast<PUCHAR>(bytes.data()),
                                             static_cast<ULONG>(piece), 0)))
            return std::nullopt;
        bytes = bytes.subspan(piece);
    }
    Sha256 digest;
    if (!BCRYPT_SUCCESS(
            ::BCryptFinishHash(hash.get(), digest.data(), static_cast<ULONG>(digest.size()), 0)))
        return std::nullopt;
    return digest;
}

} // namespace pexo
