#include "archiver/MacBinary.h"

namespace pexo::archiver {
namespace {

std::uint32_t bigEndian32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 |
           std::uint32_t(p[3]);
}

} // namespace

bool writtenOnMacOs(std::span<const std::uint8_t> header) {
    const std::size_t n = header.size();
    if (n < 24 || header[2] != '-' || header[3] != 'l' || header[6] != '-')
        return false;
    std::size_t osOffset;
    switch (header[20]) {
    case 1:
        osOffset = 22 + header[21] + 2; // after the name and the data CRC
        break;
    case 2:
    case 3:
        osOffset = 23;
        break;
    default:
        return false;
    }
    return osOffset < n && header[osOffset] == 'm';
}

std::optional<std::uint32_t> macBinaryDataLength(std::span<const std::uint8_t> head,
                                                 std::string_view name,
                                                 std::uint64_t memberLength) {
    if (head.size() < kMacBinaryHeaderSize)
        return std::nullopt;
    const std::uint8_t nameLength = head[1];
    if (head[0] != 0 || head[74] != 0 || head[82] != 0 || nameLength == 0 || nameLength > 63)
        return std::nullopt;
    if (name != std::string_view(reinterpret_cast<const char*>(head.data() + 2), nameLength))
        return std::nullopt;
    const std::uint32_t dataLength = bigEndian32(head.data() + 83);
    const std::uint32_t resourceLength = bigEndian32(head.data() + 87);
    const std::uint64_t padded = (std::uint64_t(dataLength) + 127) / 128 * 128;
    if (resourceLength != 0 || kMacBinaryHeaderSize + padded != memberLength)
        return std::nullopt;
    return dataLength;
}

} // namespace pexo::archiver
