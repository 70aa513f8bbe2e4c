#include "core/protocol/Frames.h"

#include "core/protocol/Checksum.h"

#include <gtest/gtest.h>
#include <numeric>
#include <vector>

namespace pexo {
namespace {

template <std::size_t N> std::vector<std::uint8_t> bytes(const std::array<std::uint8_t, N>& a) {
    return {a.begin(), a.end()};
}

using Bytes = std::vector<std::uint8_t>;

TEST(Frames, DefaultParametersGiveTheDocumentedBytes) {
    EXPECT_EQ(bytes(connectPollFrame()), (Bytes{0xD6}));
    EXPECT_EQ(bytes(sectorSizeFrame(4)), (Bytes{0x82, 0x04}));
    EXPECT_EQ(bytes(eraseFrame(0x4000, 34)), (Bytes{0x85, 0x00, 0x40, 0x00, 0x00, 0x22}));
    EXPECT_EQ(bytes(writeBlockHeader(0x6000)), (Bytes{0x83, 0x00, 0x60, 0x00}));
    EXPECT_EQ(bytes(checksumDisplayFrame()), (Bytes{0x86}));
    EXPECT_EQ(bytes(fullChecksumFrame(0xFFFFFFFF)), (Bytes{0x89, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(Frames, MultiByteFieldsAreBigEndianAndAddressesDropTheTopByte) {
    EXPECT_EQ(bytes(writeBlockHeader(0x12345678)), (Bytes{0x83, 0x34, 0x56, 0x78}));
    EXPECT_EQ(bytes(eraseFrame(0x7FABCDEF, 0x12345)), (Bytes{0x85, 0xAB, 0xCD, 0xEF, 0x23, 0x45}));
    EXPECT_EQ(bytes(blockChecksumFrame(0x01020304)), (Bytes{0x84, 0x01, 0x02, 0x03, 0x04}));
    EXPECT_EQ(bytes(fullChecksumFrame(0xA1B2C3D4)), (Bytes{0x89, 0xA1, 0xB2, 0xC3, 0xD4}));
}

TEST(Checksum, SumsUnsignedBytesWithWrapAround) {
    const std::uint8_t abc[] = {'a', 'b', 'c'};
    EXPECT_EQ(accumulateChecksum(0, abc, 3), 294u);
    const std::uint8_t high[] = {0xFF, 0x80};
    EXPECT_EQ(accumulateChecksum(0, high, 2), 0xFFu + 0x80u); // never sign-extended
    const std::uint8_t one[] = {1};
    EXPECT_EQ(accumulateChecksum(0xFFFFFFFF, one, 1), 0u);
    EXPECT_EQ(accumulateChecksum(7, nullptr, 5), 7u);
}

TEST(Checksum, RunningSumOverPiecesEqualsTheSumOverTheWhole) {
    std::vector<std::uint8_t> data(5000);
    std::iota(data.begin(), data.end(), std::uint8_t{0});
    const std::uint32_t whole = accumulateChecksum(0, data.data(), data.size());
    std::uint32_t pieces = 0;
    for (std::size_t i = 0; i < data.size(); i += 1024)
        pieces = accumulateChecksum(pieces, data.data() + i,
                                    std::min<std::size_t>(1024, data.size() - i));
    EXPECT_EQ(pieces, whole);
}

TEST(SectorSize, CodesOneToSevenAndNothingElse) {
    const std::int32_t expected[] = {128, 256, 512, 1024, 2048, 4096, 8192};
    for (std::int32_t code = 1; code <= 7; ++code)
        EXPECT_EQ(sectorSizeBytes(code), expected[code - 1]) << code;
    for (std::int32_t code : {0, 8, 255, -1, 1 << 30})
        EXPECT_EQ(sectorSizeBytes(code), 0) << code;
}

class WriteBlock : public ::testing::Test {
protected:
    WriteBlock() : image(100) { std::iota(image.begin(), image.end(), std::uint8_t{1}); }

    Bytes block(std::int32_t address, std::size_t blockSize) {
        Bytes frame(kWriteHeaderSize + blockSize, 0xEE); // stale bytes must not survive
        fillWriteBlock(frame, address, image);
        return frame;
    }

    Bytes image;
};

TEST_F(WriteBlock, CopiesTheImageAtTheDeviceAddress) {
    const Bytes f = block(16, 8);
    EXPECT_EQ(f, (Bytes{0x83, 0x00, 0x00, 0x10, 17, 18, 19, 20, 21, 22, 23, 24}));
}

TEST_F(WriteBlock, AddressesOutsideTheImageCarryZeros) {
    EXPECT_EQ(block(96, 8), (Bytes{0x83, 0x00, 0x00, 0x60, 97, 98, 99, 100, 0, 0, 0, 0}));
    EXPECT_EQ(block(100, 4), (Bytes{0x83, 0x00, 0x00, 0x64, 0, 0, 0, 0}));
    EXPECT_EQ(block(0x7FFFFFF0, 4), (Bytes{0x83, 0xFF, 0xFF, 0xF0, 0, 0, 0, 0}));
    EXPECT_EQ(block(-2, 4), (Bytes{0x83, 0xFF, 0xFF, 0xFE, 0, 0, 1, 2}));
    image.clear();
    EXPECT_EQ(block(0, 4), (Bytes{0x83, 0, 0, 0, 0, 0, 0, 0}));
    Bytes tiny(2, 0xEE);
    fillWriteBlock(tiny, 0, image);
    EXPECT_EQ(tiny, (Bytes{0, 0}));
}

} // namespace
} // namespace pexo
