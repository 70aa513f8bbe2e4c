#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace pexo {

// SHA-256 of the bytes, as 64 lower-case hex digits.
std::string sha256Hex(std::span<const std::uint8_t> bytes);

} // namespace pexo
