#include "core/protocol/Frames.h"

#include <algorithm>
#include <cstring>

namespace pexo {

namespace {

void putAddress24(std::uint8_t* out, std::int32_t address) {
    const auto a = static_cast<std::uint32_t>(address);
    out[0] = static_cast<std::uint8_t>(a >> 16);
    out[1] = static_cast<std::uint8_t>(a >> 8);
    out[2] = static_cast<std::uint8_t>(a);
}

void putUint32(std::uint8_t* out, std::uint32_t value) {
    out[0] = static_cast<std::uint8_t>(value >> 24);
    out[1] = static_cast<std::uint8_t>(value >> 16);
    out[2] = static_cast<std::uint8_t>(value >> 8);
    out[3] = static_cast<std::uint8_t>(value);
}

} // namespace

std::array<std::uint8_t, 1> connectPollFrame() {
    return {command::kConnectPoll};
}

std::array<std::uint8_t, 2> sectorSizeFrame(std::uint8_t sectorSizeCode) {
    return {command::kSectorSize, sectorSizeCode};
}

std::array<std::uint8_t, 6> eraseFrame(std::int32_t eraseAddress, std::int32_t eraseSectorCount) {
    std::array<std::uint8_t, 6> f{command::kErase};
    putAddress24(&f[1], eraseAddress);
    const auto count = static_cast<std::uint32_t>(eraseSectorCount);
    f[4] = static_cast<std::uint8_t>(count >> 8);
    f[5] = static_cast<std::uint8_t>(count);
    return f;
}

std::array<std::uint8_t, kWriteHeaderSize> writeBlockHeader(std::int32_t writeAddress) {
    std::array<std::uint8_t, kWriteHeaderSize> f{command::kWriteBlock};
    putAddress24(&f[1], writeAddress);
    return f;
}

std::array<std::uint8_t, 5> blockChecksumFrame(std::uint32_t pcChecksum) {
    std::array<std::uint8_t, 5> f{command::kBlockChecksum};
    putUint32(&f[1], pcChecksum);
    return f;
}

std::array<std::uint8_t, 1> checksumDisplayFrame() {
    return {command::kChecksumDisplay};
}

std::array<std::uint8_t, 5> fullChecksumFrame(std::uint32_t fullChecksum) {
    std::array<std::uint8_t, 5> f{command::kFullChecksum};
    putUint32(&f[1], fullChecksum);
    return f;
}

void fillWriteBlock(std::span<std::uint8_t> frame, std::int32_t writeAddress,
                    std::span<const std::uint8_t> image) {
    std::fill(frame.begin(), frame.end(), std::uint8_t{0});
    if (frame.size() < kWriteHeaderSize)
        return;
    const auto header = writeBlockHeader(writeAddress);
    std::copy(header.begin(), header.end(), frame.begin());

    // 64-bit arithmetic: the block may start below 0 or end beyond the 32-bit range.
    const std::int64_t blockFirst = writeAddress;
    const std::int64_t blockEnd = blockFirst + static_cast<std::int64_t>(frame.size() - 4);
    const std::int64_t first = std::max<std::int64_t>(blockFirst, 0);
    const std::int64_t end =
        std::min<std::int64_t>(blockEnd, static_cast<std::int64_t>(image.size()));
    if (first >= end)
        return;
    std::memcpy(frame.data() + kWriteHeaderSize + (first - blockFirst), image.data() + first,
                static_cast<std::size_t>(end - first));
}

} // namespace pexo
