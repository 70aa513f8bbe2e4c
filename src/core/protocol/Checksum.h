#pragma once

#include <cstddef>
#include <cstdint>

namespace pexo {

// Sector size code 1..7 to 128..8192 bytes; 0 for any other code.
constexpr std::int32_t sectorSizeBytes(std::int32_t code) {
    return (code >= 1 && code <= 7) ? (128 << (code - 1)) : 0;
}

// Adds every byte (0..255) to `sum`, wrapping at 32 bits.
std::uint32_t accumulateChecksum(std::uint32_t sum, const std::uint8_t* bytes, std::size_t length);

} // namespace pexo
