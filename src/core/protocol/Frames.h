#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace pexo {

// Command bytes, host to device.
namespace command {
inline constexpr std::uint8_t kConnectPoll = 0xD6;
inline constexpr std::uint8_t kSectorSize = 0x82;
inline constexpr std::uint8_t kErase = 0x85;
inline constexpr std::uint8_t kWriteBlock = 0x83;
inline constexpr std::uint8_t kBlockChecksum = 0x84;
inline constexpr std::uint8_t kChecksumDisplay = 0x86;
inline constexpr std::uint8_t kFullChecksum = 0x89;
inline constexpr std::uint8_t kEnd = 0xFF; // step table only; never sent
} // namespace command

// First bytes of the device's replies.
namespace reply {
inline constexpr std::uint8_t kConnected = 0xD6;
inline constexpr std::uint8_t kSectorSize = 0x84; // followed by the code the device uses
inline constexpr std::uint8_t kEraseDone = 0x85;
inline constexpr std::uint8_t kEraseFailed = 0x88; // followed by an error byte
inline constexpr std::uint8_t kWriteDone = 0x82;
inline constexpr std::uint8_t kWriteFailed = 0x83; // followed by an error byte
inline constexpr std::uint8_t kChecksum = 0x86;    // followed by four checksum bytes
} // namespace reply

inline constexpr std::size_t kWriteHeaderSize = 4;

// Request frames. Multi-byte fields are big-endian; addresses are 24 bits wide (the top
// byte of the 32-bit value is not sent).
std::array<std::uint8_t, 1> connectPollFrame();
std::array<std::uint8_t, 2> sectorSizeFrame(std::uint8_t sectorSizeCode);
std::array<std::uint8_t, 6> eraseFrame(std::int32_t eraseAddress, std::int32_t eraseSectorCount);
std::array<std::uint8_t, kWriteHeaderSize> writeBlockHeader(std::int32_t writeAddress);
std::array<std::uint8_t, 5> blockChecksumFrame(std::uint32_t pcChecksum);
std::array<std::uint8_t, 1> checksumDisplayFrame();
std::array<std::uint8_t, 5> fullChecksumFrame(std::uint32_t fullChecksum);

// Fills `frame` (header plus block data, so frame.size() - 4 data bytes) with the write block
// for `writeAddress`: byte n of `image` is device address n. Data for addresses outside the
// image (past its end, or below 0) is zero, so the image is never read out of bounds.
void fillWriteBlock(std::span<std::uint8_t> frame, std::int32_t writeAddress,
                    std::span<const std::uint8_t> image);

} // namespace pexo
