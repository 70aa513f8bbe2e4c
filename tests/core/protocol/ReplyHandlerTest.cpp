#include "core/protocol/ReplyHandler.h"

#include "FakeHost.h"
#include "core/protocol/DownloadContext.h"

#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace pexo {
namespace {

using Bytes = std::vector<std::uint8_t>;

void feed(DownloadContext& ctx, const Bytes& bytes) {
    handleReceivedBytes(ctx, bytes.data(), bytes.size());
}

Bytes storedReply(const DownloadContext& ctx) {
    const auto all = ctx.replySnapshot();
    const auto n = static_cast<std::size_t>(std::max(0, ctx.replyLength.load()));
    return Bytes(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(std::min(n, all.size())));
}

// A context at the step that sends `request`, with the request just sent.
class ReplyRules : public ::testing::Test {
protected:
    void at(std::uint8_t request, bool fullChecksum = false) {
        ctx.sectorSizeCode = 4;
        ctx.fullChecksumEnabled = fullChecksum;
        ctx.fullChecksum = 0xFFFFFFFF;
        resetProtocolState(ctx);
        while (ctx.currentStep() != request && ctx.currentStep() != 0xFF)
            advanceStep(ctx);
        ASSERT_EQ(ctx.currentStep(), request);
        startIndex = ctx.stepIndex.load();
        ctx.pendingRequest = request;
        ctx.lastTxTick = 1234;
    }
    // The step completed exactly once, with everything advanceStep clears cleared.
    void expectAdvancedOnce() {
        EXPECT_EQ(ctx.stepIndex.load(), startIndex + 1);
        EXPECT_EQ(ctx.pendingRequest.load(), 0);
        EXPECT_EQ(ctx.replyLength.load(), 0);
        EXPECT_EQ(ctx.lastTxTick.load(), 0u);
        EXPECT_EQ(ctx.resultCode.load(), 0);
    }
    // An error leaves the request and the bytes received for the error report.
    void expectFailed(int code, const Bytes& reply) {
        EXPECT_EQ(ctx.resultCode.load(), code);
        EXPECT_EQ(ctx.stepIndex.load(), startIndex);
        EXPECT_NE(ctx.pendingRequest.load(), 0);
        EXPECT_EQ(storedReply(ctx), reply);
    }

    DownloadContext ctx;
    std::int32_t startIndex = 0;
};

TEST_F(ReplyRules, SectorSizeEchoAdvancesAndMismatchKeepsTheDeviceCode) {
    at(0x82);
    feed(ctx, {0x84, 0x04});
    expectAdvancedOnce();
    EXPECT_EQ(ctx.deviceSectorSizeCode.load(), 4);

    at(0x82);
    feed(ctx, {0x84, 0x03});
    expectFailed(5, {0x84, 0x03});
    EXPECT_EQ(ctx.deviceSectorSizeCode.load(), 3);
}

TEST_F(ReplyRules, SectorSizeFirstByteIsJudgedOnlyWithTheSecond) {
    at(0x82);
    feed(ctx, {0x12});
    EXPECT_EQ(ctx.resultCode.load(), 0);
    EXPECT_EQ(ctx.replyLength.load(), 1);
    feed(ctx, {0x34});
    expectFailed(9, {0x12, 0x34});
    feed(ctx, {0x84, 0x04}); // after an error further bytes change nothing
    expectFailed(9, {0x12, 0x34});
}

TEST_F(ReplyRules, LateConnectEchoAfterSectorSizeRequestIsAProtocolError) {
    at(0x82);
    feed(ctx, {0xD6});
    EXPECT_EQ(ctx.resultCode.load(), 0);
    feed(ctx, {0x84});
    expectFailed(9, {0xD6, 0x84});

    // The same in one chunk with the genuine reply behind it.
    at(0x82);
    ctx.deviceSectorSizeCode = 0;
    feed(ctx, {0xD6, 0x84, 0x04});
    expectFailed(9, {0xD6, 0x84});
    EXPECT_EQ(ctx.deviceSectorSizeCode.load(), 0);
}

TEST_F(ReplyRules, EraseCompletesFailsOrIsAProtocolError) {
    at(0x85);
    feed(ctx, {0x85});
    expectAdvancedOnce();

    at(0x85);
    feed(ctx, {0x88, 0x01});
    expectFailed(6, {0x88, 0x01});

    at(0x85);
    feed(ctx, {0x12, 0x34});
    expectFailed(9, {0x12, 0x34});
}

TEST_F(ReplyRules, BytesBehindACompletingReplyInTheSameChunkAreIgnored) {
    at(0x85);
    feed(ctx, {0x85, 0x88, 0x01, 0x85, 0x84, 0x04});
    expectAdvancedOnce();
    EXPECT_EQ(storedReply(ctx), Bytes{});

    at(0x83);
    feed(ctx, {0x82, 0x83, 0x05});
    expectAdvancedOnce();
}

TEST_F(ReplyRules, WriteStepAcceptsTheSameRepliesForBlocksAndBlockChecksum) {
    for (std::uint8_t request : {std::uint8_t{0x83}, std::uint8_t{0x84}}) {
        SCOPED_TRACE(int{request});
        at(0x83);
        ctx.pendingRequest = request;
        feed(ctx, {0x82});
        expectAdvancedOnce();

        at(0x83);
        ctx.pendingRequest = request;
        feed(ctx, {0x83});
        EXPECT_EQ(ctx.resultCode.load(), 0);
        feed(ctx, {0x05, 0x82});
        expectFailed(7, {0x83, 0x05});

        at(0x83);
        ctx.pendingRequest = request;
        feed(ctx, {0x55, 0x82});
        expectFailed(9, {0x55, 0x82});
    }
}

TEST_F(ReplyRules, ChecksumDisplayStoresTheValueMostSignificantFirst) {
    at(0x86);
    // One byte per chunk: the handler must not depend on how the bytes arrive.
    for (std::uint8_t b : {0x86, 0x12, 0x34, 0x56, 0x78})
        feed(ctx, {b});
    expectAdvancedOnce();
    EXPECT_EQ(ctx.deviceChecksum.load(), 0x12345678u);
}

TEST_F(ReplyRules, ChecksumReplyStartingWrongFailsOnlyAtTheFifthByte) {
    at(0x86);
    feed(ctx, {0x84, 0x00, 0x00, 0x00});
    EXPECT_EQ(ctx.resultCode.load(), 0);
    EXPECT_EQ(ctx.replyLength.load(), 4);
    feed(ctx, {0x00});
    expectFailed(9, {0x84, 0x00, 0x00, 0x00, 0x00});
    feed(ctx, {0x86, 0x01});
    EXPECT_EQ(ctx.replyLength.load(), 5);
}

TEST_F(ReplyRules, FullChecksumMatchAdvancesAndMismatchIsRecorded) {
    at(0x89, true);
    feed(ctx, {0x86, 0xFF, 0xFF, 0xFF, 0xFF});
    expectAdvancedOnce();
    EXPECT_EQ(ctx.deviceFullChecksum.load(), 0xFFFFFFFFu);

    at(0x89, true);
    feed(ctx, {0x86, 0x01, 0x02, 0x03, 0x04});
    expectFailed(11, {0x86, 0x01, 0x02, 0x03, 0x04});
    EXPECT_EQ(ctx.deviceFullChecksum.load(), 0x01020304u);
}

TEST_F(ReplyRules, ConnectPollNotesOnlyTheEcho) {
    at(0xD6);
    feed(ctx, {0x00, 0x55, 0x84});
    EXPECT_EQ(ctx.replyBytes[0].load(), 0);
    feed(ctx, {0xD6, 0x12});
    EXPECT_EQ(ctx.replyBytes[0].load(), 0xD6);
    EXPECT_EQ(ctx.replyLength.load(), 0);
    EXPECT_EQ(ctx.stepIndex.load(), startIndex);
    EXPECT_EQ(ctx.resultCode.load(), 0);
}

TEST_F(ReplyRules, NothingAwaitedIgnoresEverything) {
    at(0x85);
    ctx.pendingRequest = 0;
    feed(ctx, {0x85, 0x88, 0x01, 0x86, 1, 2, 3, 4});
    EXPECT_EQ(ctx.replyLength.load(), 0);
    EXPECT_EQ(ctx.stepIndex.load(), startIndex);
    EXPECT_EQ(ctx.resultCode.load(), 0);
}

TEST_F(ReplyRules, CorruptReplyLengthNeverIndexesOutOfRange) {
    at(0x86);
    for (std::int32_t bad : {-1, 10, 11, 1000}) {
        ctx.replyLength = bad;
        feed(ctx, {0x86, 1, 2, 3, 4});
        EXPECT_EQ(ctx.replyLength.load(), bad);
        EXPECT_EQ(ctx.stepIndex.load(), startIndex);
    }
}

TEST(ReplyHandlerHost, ReportsWhetherThereIsAContext) {
    const std::uint8_t bytes[] = {0x84, 0x04};
    test::FakeHost none(false);
    EXPECT_EQ(handleReceivedBytes(none, bytes, 2), 0);

    test::FakeHost host;
    host.ctx().sectorSizeCode = 4;
    resetProtocolState(host.ctx());
    advanceStep(host.ctx());
    host.ctx().pendingRequest = 0x82;
    EXPECT_EQ(handleReceivedBytes(host, bytes, 2), 1);
    EXPECT_EQ(host.ctx().currentStep(), 0x85);
    EXPECT_EQ(handleReceivedBytes(host, nullptr, 5), 1);
}

// Random streams, mostly made of protocol bytes so that every rule is reached.
class RandomReplies {
public:
    explicit RandomReplies(std::uint32_t seed) : rng_(seed) {}

    Bytes stream(std::size_t n) {
        static const std::uint8_t kProtocolBytes[] = {0xD6, 0x82, 0x83, 0x84, 0x85,
                                                      0x86, 0x88, 0x89, 0x04, 0xFF};
        Bytes out(n);
        for (auto& b : out)
            b = pick(3) != 0 ? kProtocolBytes[pick(std::size(kProtocolBytes))]
                             : static_cast<std::uint8_t>(pick(256));
        return out;
    }
    std::vector<std::size_t> chunking(std::size_t total) {
        std::vector<std::size_t> sizes;
        while (total > 0) {
            const std::size_t n = std::min<std::size_t>(total, 1 + pick(80));
            sizes.push_back(n);
            total -= n;
        }
        return sizes;
    }
    std::uint8_t request() {
        static const std::uint8_t kRequests[] = {0, 0xD6, 0x82, 0x83, 0x84, 0x85, 0x86, 0x89, 0x42};
        return kRequests[pick(std::size(kRequests))];
    }
    std::size_t pick(std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_);
    }

private:
    std::mt19937 rng_;
};

void prepare(DownloadContext& ctx, std::uint8_t request, bool full) {
    ctx.sectorSizeCode = 4;
    ctx.fullChecksumEnabled = full;
    ctx.fullChecksum = 0x86FFFFFF;
    resetProtocolState(ctx);
    advanceStep(ctx);
    ctx.pendingRequest = request;
}

struct State {
    std::int32_t step, length, result;
    std::uint8_t pending, deviceCode;
    std::uint32_t checksum, fullChecksum;
    std::array<std::uint8_t, DownloadContext::kReplyCapacity> reply;
    bool operator==(const State&) const = default;
};

State stateOf(const DownloadContext& ctx) {
    return {ctx.stepIndex.load(),
            ctx.replyLength.load(),
            ctx.resultCode.load(),
            ctx.pendingRequest.load(),
            ctx.deviceSectorSizeCode.load(),
            ctx.deviceChecksum.load(),
            ctx.deviceFullChecksum.load(),
            ctx.replySnapshot()};
}

TEST(ReplyHandlerProperty, ChunkingNeverChangesTheOutcomeNorOverrunsTheReply) {
    RandomReplies random(20240601);
    for (int round = 0; round < 2000; ++round) {
        const std::uint8_t request = random.request();
        const bool full = random.pick(2) == 1;
        const Bytes stream = random.stream(random.pick(40));

        DownloadContext whole;
        prepare(whole, request, full);
        handleReceivedBytes(whole, stream.data(), stream.size());

        DownloadContext chunked;
        prepare(chunked, request, full);
        std::size_t at = 0;
        for (std::size_t n : random.chunking(stream.size())) {
            handleReceivedBytes(chunked, stream.data() + at, n);
            at += n;
            ASSERT_GE(chunked.replyLength.load(), 0);
            ASSERT_LE(chunked.replyLength.load(), 5); // no reply is longer
        }
        ASSERT_EQ(stateOf(whole), stateOf(chunked)) << "round " << round;
    }
}

} // namespace
} // namespace pexo
