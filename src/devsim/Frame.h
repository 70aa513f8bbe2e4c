#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pexo::devsim {

// Command bytes of the requests the device understands.
namespace command {
inline constexpr std::uint8_t kConnect = 0xD6;
inline constexpr std::uint8_t kSectorSize = 0x82;
inline constexpr std::uint8_t kWriteBlock = 0x83;
inline constexpr std::uint8_t kBlockChecksum = 0x84;
inline constexpr std::uint8_t kErase = 0x85;
inline constexpr std::uint8_t kChecksum = 0x86;
inline constexpr std::uint8_t kFullChecksum = 0x89;
} // namespace command

// First bytes of the device's replies.
namespace reply {
inline constexpr std::uint8_t kConnected = 0xD6;
inline constexpr std::uint8_t kSectorSize = 0x84; // followed by the code
inline constexpr std::uint8_t kEraseDone = 0x85;
inline constexpr std::uint8_t kEraseFailed = 0x88; // followed by an error byte
inline constexpr std::uint8_t kWriteDone = 0x82;
inline constexpr std::uint8_t kWriteFailed = 0x83; // followed by an error byte
inline constexpr std::uint8_t kChecksum = 0x86;    // followed by four checksum bytes
} // namespace reply

// One request the device received, with what it answered.
struct Frame {
    std::uint8_t command = 0;
    bool known = true;            // false: a byte that starts no request (ignored)
    std::uint32_t address = 0;    // 0x83 block address, 0x85 erase address
    std::uint32_t value = 0;      // 0x82 code, 0x85 sector count, 0x84 / 0x89 checksum
    std::uint32_t dataLength = 0; // 0x83 data bytes
    std::vector<std::uint8_t> reply;

    bool operator==(const Frame&) const = default;
};

// One line for --verbose, e.g. "82 04 (sector size code 4) -> 84 04".
std::string describe(const Frame& frame);

} // namespace pexo::devsim
