#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace pexo {

using Sha256 = std::array<std::uint8_t, 32>;

// SHA-256 of the bytes, by the platform's library (nettle; on Windows the system's CNG).
// Empty only when that library fails.
std::optional<Sha256> sha256(std::span<const std::uint8_t> bytes);

// The same as 64 lower-case hex digits; empty when the digest cannot be had.
std::string sha256Hex(std::span<const std::uint8_t> bytes);

} // namespace pexo
