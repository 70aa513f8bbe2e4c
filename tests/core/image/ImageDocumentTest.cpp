#include "core/image/ImageDocument.h"

#include "ImageTestDoubles.h"
#include "core/image/ImageMessages.h"
#include "support/LhaFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace pexo::test {
namespace {

std::string bytes(std::size_t n, char first = 'a') {
    std::string s;
    for (std::size_t i = 0; i < n; ++i)
        s.push_back(static_cast<char>(first + i % 26));
    return s;
}

bool allZero(std::span<const std::uint8_t> span) {
    return std::all_of(span.begin(), span.end(), [](std::uint8_t b) { return b == 0; });
}

// Hands out buffers full of 0xAA so that a missing zero fill shows.
std::unique_ptr<std::uint8_t[]> dirtyBuffer(std::size_t size) {
    auto buffer = std::make_unique<std::uint8_t[]>(size);
    std::fill_n(buffer.get(), size, 0xAA);
    return buffer;
}

TEST(ImageDocumentTest, TenByteImageGivesTheImageAndAThousandTwentyFourZeros) {
    RecordingHost host;
    host.size = 10;
    ImageDocument doc(dirtyBuffer);
    std::istringstream in(bytes(10));
    doc.serialize(in, host);
    ASSERT_EQ(doc.buffer().size(), 1034u);
    EXPECT_EQ(std::string(doc.buffer().begin(), doc.buffer().begin() + 10), bytes(10));
    EXPECT_TRUE(allZero(doc.buffer().subspan(10)));
    EXPECT_EQ(doc.image().size(), 10u);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_FALSE(doc.loadFailed());
}

TEST(ImageDocumentTest, LongerFileIsReadOnlyUpToTheStatedLength) {
    RecordingHost host;
    host.size = 10;
    ImageDocument doc(dirtyBuffer);
    std::istringstream in(bytes(25));
    doc.serialize(in, host);
    EXPECT_EQ(in.tellg(), 10);
    ASSERT_EQ(doc.buffer().size(), 1034u);
    EXPECT_TRUE(allZero(doc.buffer().subspan(10)));
    EXPECT_TRUE(host.messages.empty());
    EXPECT_FALSE(doc.loadFailed());
}

TEST(ImageDocumentTest, OneByteShortIsAReadErrorAndKeepsWhatArrived) {
    RecordingHost host;
    host.size = 10;
    ImageDocument doc(dirtyBuffer);
    std::istringstream in(bytes(9));
    doc.serialize(in, host);
    EXPECT_EQ(host.messages, std::vector<std::string>{messages::kReadError});
    EXPECT_EQ(host.icons, std::vector<MessageIcon>{MessageIcon::Stop});
    EXPECT_TRUE(doc.loadFailed());
    ASSERT_EQ(doc.buffer().size(), 1034u);
    EXPECT_EQ(std::string(doc.buffer().begin(), doc.buffer().begin() + 9), bytes(9));
    EXPECT_TRUE(allZero(doc.buffer().subspan(9)));
}

TEST(ImageDocumentTest, AllocationFailureLeavesNoBuffer) {
    RecordingHost host;
    bool fail = false;
    std::size_t asked = 0;
    ImageDocument doc([&](std::size_t size) -> std::unique_ptr<std::uint8_t[]> {
        asked = size;
        return fail ? nullptr : std::make_unique<std::uint8_t[]>(size);
    });
    host.size = 100;
    std::istringstream first(bytes(100));
    doc.serialize(first, host);
    ASSERT_TRUE(doc.hasBuffer());

    fail = true;
    host.size = 0xFFFFFFFFu;
    std::istringstream second(bytes(100));
    doc.serialize(second, host);
    EXPECT_EQ(asked, 0xFFFFFFFFull + 1024) << "the length + 1024 must not wrap";
    EXPECT_EQ(host.messages, std::vector<std::string>{messages::kMemoryAllocError});
    EXPECT_TRUE(doc.loadFailed());
    EXPECT_FALSE(doc.hasBuffer());
    EXPECT_TRUE(doc.buffer().empty());
    EXPECT_TRUE(doc.image().empty());
}

TEST(ImageDocumentTest, EachImageReplacesTheBufferBefore) {
    RecordingHost host;
    std::vector<const std::uint8_t*> handedOut;
    ImageDocument doc([&](std::size_t size) {
        auto buffer = std::make_unique<std::uint8_t[]>(size);
        handedOut.push_back(buffer.get());
        return buffer;
    });
    for (std::uint32_t size : {300u, 20u, 4000u}) {
        host.size = size;
        std::istringstream in(bytes(size, 'A'));
        doc.serialize(in, host);
    }
    ASSERT_EQ(handedOut.size(), 3u);
    EXPECT_EQ(doc.buffer().data(), handedOut.back());
    EXPECT_EQ(doc.buffer().size(), 4000u + 1024u);
    EXPECT_EQ(std::string(doc.image().begin(), doc.image().end()), bytes(4000, 'A'));
}

TEST(ImageDocumentTest, ReadingTheExtractedFile) {
    ScratchFolder scratch;
    RecordingHost host;
    ImageDocument doc;

    EXPECT_FALSE(doc.readImageFile(scratch.str() + "/missing.bin", host));
    EXPECT_FALSE(doc.readImageFile("", host));
    EXPECT_EQ(host.messages,
              (std::vector<std::string>{messages::kFileOpenFailed, messages::kFileOpenFailed}));
    EXPECT_FALSE(doc.hasBuffer());

    host.messages.clear();
    const auto file = scratch.path() / "image.bin";
    writeFileBytes(file, bytes(40));
    host.size = 40;
    ASSERT_TRUE(doc.readImageFile(file.string(), host));
    EXPECT_EQ(std::string(doc.image().begin(), doc.image().end()), bytes(40));

    // An empty file still replaces the image: the previous bytes must not pass for it.
    writeFileBytes(file, "");
    host.size = 0;
    ASSERT_TRUE(doc.readImageFile(file.string(), host));
    EXPECT_EQ(doc.buffer().size(), 1024u);
    EXPECT_TRUE(allZero(doc.buffer()));
    EXPECT_TRUE(host.messages.empty());

    host.size = 5;
    ASSERT_TRUE(doc.readImageFile(file.string(), host));
    EXPECT_TRUE(doc.loadFailed());
    EXPECT_EQ(host.messages, std::vector<std::string>{messages::kReadError});
}

} // namespace
} // namespace pexo::test
