#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace pexo::archiver {

// Archivers on the classic Mac OS store a file as MacBinary (a 128-byte header, the data fork
// and the resource fork, each padded to 128 bytes) and mark the member's header with the OS id
// 'm'. The image is the data fork alone.

inline constexpr std::size_t kMacBinaryHeaderSize = 128;

// The bytes of a member header that tell its OS id: the level-1 name may be 255 bytes long.
inline constexpr std::size_t kMemberHeaderPeek = 24 + 255 + 3;

// Whether `header` (the first bytes of a member header, up to kMemberHeaderPeek) was written by
// a Mac OS archiver (header levels 1 to 3 carry the OS id; level 0 has none).
bool writtenOnMacOs(std::span<const std::uint8_t> header);

// The data fork's length when `head` (the member's first 128 bytes) is the MacBinary header of
// a file called `name` holding only a data fork, and the member's length is exactly what that
// header accounts for; nothing otherwise.
std::optional<std::uint32_t> macBinaryDataLength(std::span<const std::uint8_t> head,
                                                 std::string_view name,
                                                 std::uint64_t memberLength);

} // namespace pexo::archiver
