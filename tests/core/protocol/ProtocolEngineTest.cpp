#include "core/protocol/ProtocolEngine.h"

#include "FakeHost.h"
#include "ProtocolFakes.h"

#include <gtest/gtest.h>
#include <memory>
#include <numeric>

namespace pexo {
namespace {

using test::Bytes;
using test::FakeClock;
using test::FakeDevice;
using test::FakePort;

Bytes patternImage(std::size_t size) {
    Bytes image(size);
    std::uint32_t x = 12345;
    for (auto& b : image) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 16);
    }
    return image;
}

std::uint32_t address24(const Bytes& frame) {
    return std::uint32_t{frame.at(1)} << 16 | std::uint32_t{frame.at(2)} << 8 | frame.at(3);
}

std::uint32_t value32(const Bytes& frame) {
    return std::uint32_t{frame.at(1)} << 24 | std::uint32_t{frame.at(2)} << 16 |
           std::uint32_t{frame.at(3)} << 8 | frame.at(4);
}

class Engine : public ::testing::Test {
protected:
    enum class Delivery { BetweenPasses, DuringWrite };

    Engine() : port(&clock) {
        test::prepareDefaultDownload(ctx());
        host.image = patternImage(0x200000);
        port.onWrite = [this](const Bytes& frame) {
            Bytes answer = device.replyTo(frame);
            if (delivery == Delivery::DuringWrite)
                handleReceivedBytes(ctx(), answer.data(), answer.size());
            else
                pending.insert(pending.end(), answer.begin(), answer.end());
        };
    }

    DownloadContext& ctx() { return host.ctx(); }

    ProtocolEngine& engine() {
        if (!engine_)
            engine_ = std::make_unique<ProtocolEngine>(
                host, port,
                [this](CompletionCommand c) {
                    commands.push_back(c);
                    messagesBeforeCompletion = host.messages().size();
                },
                std::ref(clock));
        return *engine_;
    }

    // One pass every millisecond, replies delivered between passes, until the run completes.
    void run(std::size_t maxPasses = 1'000'000) {
        for (std::size_t n = 0; n < maxPasses && !engine().completed(); ++n)
            step();
    }
    void step() {
        deliverPending();
        engine().pass(clock.now);
        clock.advance(1);
    }
    void deliverPending() {
        Bytes bytes;
        bytes.swap(pending);
        handleReceivedBytes(ctx(), bytes.data(), bytes.size());
    }

    std::vector<Bytes> framesStartingWith(std::uint8_t command) const {
        std::vector<Bytes> out;
        for (const auto& f : port.frames())
            if (f.bytes.at(0) == command)
                out.push_back(f.bytes);
        return out;
    }
    std::vector<std::uint8_t> commandBytes() const {
        std::vector<std::uint8_t> out;
        for (const auto& f : port.frames())
            out.push_back(f.bytes.at(0));
        return out;
    }

    test::FakeHost host;
    FakeClock clock;
    FakePort port;
    FakeDevice device;
    Delivery delivery = Delivery::BetweenPasses;
    Bytes pending;
    std::vector<CompletionCommand> commands;
    std::size_t messagesBeforeCompletion = 0;

private:
    std::unique_ptr<ProtocolEngine> engine_;
};

TEST_F(Engine, DefaultParametersSendTheDocumentedFrameSequence) {
    run();
    ASSERT_EQ(commands, std::vector{CompletionCommand::Success});

    const auto frames = port.frames();
    ASSERT_EQ(frames.size(), 2u + 2024u + 2u);
    EXPECT_EQ(frames[0].bytes, (Bytes{0x82, 0x04}));
    EXPECT_EQ(frames[1].bytes, (Bytes{0x85, 0x00, 0x40, 0x00, 0x00, 0x22}));

    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < 2024; ++i) {
        const Bytes& block = frames[2 + i].bytes;
        const std::uint32_t address = 0x6000 + static_cast<std::uint32_t>(i) * 1024;
        ASSERT_EQ(block.size(), 4u + 1024u) << i;
        ASSERT_EQ(block[0], 0x83) << i;
        ASSERT_EQ(address24(block), address) << i;
        ASSERT_TRUE(std::equal(block.begin() + 4, block.end(), host.image.begin() + address)) << i;
        sum = std::accumulate(block.begin() + 4, block.end(), sum);
    }
    const Bytes& last = frames[2 + 2023].bytes;
    EXPECT_LE(address24(last), 0x1FFFFFu);
    EXPECT_GE(address24(last) + 1024, 0x200000u);

    EXPECT_EQ(frames[2026].bytes[0], 0x84);
    EXPECT_EQ(value32(frames[2026].bytes), sum);
    EXPECT_EQ(frames[2027].bytes, (Bytes{0x86}));
    EXPECT_EQ(ctx().pcChecksum.load(), sum);
    EXPECT_EQ(ctx().deviceChecksum.load(), sum);
    EXPECT_EQ(ctx().resultCode.load(), 0);
    EXPECT_TRUE(host.messages().empty());
}

TEST_F(Engine, NothingHappensAfterTheCompletionCommand) {
    ctx().writeLastAddress = 0x6000;
    run();
    ASSERT_EQ(commands, std::vector{CompletionCommand::Success});
    const std::size_t sent = port.count();
    ctx().recordResult(9); // a late error must not produce a second command
    for (int i = 0; i < 100; ++i)
        step();
    EXPECT_EQ(commands.size(), 1u);
    EXPECT_EQ(port.count(), sent);
}

TEST_F(Engine, ABlockThatReachesTheLastAddressIsTheOnlyOneAndTheChecksumFollowsAtOnce) {
    for (std::int32_t last : {0x6400, 0x6001, 0x6000, 0x5000}) {
        SCOPED_TRACE(last);
        test::prepareDefaultDownload(ctx());
        ctx().writeLastAddress = last;
        ctx().txWaitSurplusTime = 1000;
        FakePort fresh(&clock);
        fresh.onWrite = port.onWrite;
        ProtocolEngine one(host, fresh, nullptr, std::ref(clock));
        for (int i = 0; i < 10; ++i) {
            deliverPending();
            one.pass(clock.now);
            clock.advance(1);
        }
        const auto frames = fresh.frames();
        ASSERT_EQ(frames.size(), 5u); // 0x82, 0x85, one block, 0x84, 0x86
        EXPECT_EQ(address24(frames[2].bytes), 0x6000u);
        EXPECT_EQ(frames[3].bytes[0], 0x84);
        EXPECT_EQ(frames[3].startedAt, frames[2].returnedAt); // no pacing before 0x84
        EXPECT_EQ(frames[4].bytes[0], 0x86);
        pending.clear();
    }
}

TEST_F(Engine, BlocksLeaveExactlyThePacingIntervalAfterThePreviousWriteReturned) {
    ctx().writeLastAddress = 0x6000 + 6 * 1024 - 1;
    ctx().txWaitSurplusTime = 1000;
    port.writeMs = 7;
    run();
    ASSERT_EQ(commands, std::vector{CompletionCommand::Success});
    std::vector<FakePort::Frame> blocks;
    for (const auto& f : port.frames())
        if (f.bytes[0] == 0x83)
            blocks.push_back(f);
    ASSERT_EQ(blocks.size(), 6u);
    for (std::size_t i = 1; i < blocks.size(); ++i)
        EXPECT_EQ(blocks[i].startedAt, blocks[i - 1].returnedAt + 1000) << i;
}

TEST_F(Engine, EarlyWriteCompleteEndsTheBlocksWithoutAChecksumFrame) {
    port.onWrite = [this](const Bytes& frame) {
        Bytes answer = device.replyTo(frame);
        if (frame[0] == 0x83 && device.blocks == 3)
            answer = {0x82};
        pending.insert(pending.end(), answer.begin(), answer.end());
    };
    run();
    ASSERT_EQ(commands, std::vector{CompletionCommand::Success});
    EXPECT_EQ(commandBytes(), (Bytes{0x82, 0x85, 0x83, 0x83, 0x83, 0x86}));
}

TEST_F(Engine, EarlyWriteCompleteDuringABlockWriteStopsTheChecksumFrameToo) {
    // The device's 0x82 is accepted while the last block is still being written.
    ctx().writeLastAddress = 0x6000 + 2 * 1024 - 1;
    delivery = Delivery::DuringWrite;
    port.onWrite = [this](const Bytes& frame) {
        Bytes answer = device.replyTo(frame);
        if (frame[0] == 0x83 && device.blocks == 2)
            answer = {0x82};
        handleReceivedBytes(ctx(), answer.data(), answer.size());
    };
    run();
    ASSERT_EQ(commands, std::vector{CompletionCommand::Success});
    EXPECT_EQ(commandBytes(), (Bytes{0x82, 0x85, 0x83, 0x83, 0x86}));
}

TEST_F(Engine, AReplyAcceptedDuringTheWriteLeavesTheNextStepFreeToSend) {
    delivery = Delivery::DuringWrite;
    ctx().writeLastAddress = 0x6000;
    step(); // 0x82 goes out and its reply arrives before the write returns
    EXPECT_EQ(ctx().currentStep(), 0x85);
    EXPECT_EQ(ctx().lastTxTick.load(), 0u);
    step();
    EXPECT_EQ(commandBytes(), (Bytes{0x82, 0x85}));
    run();
    ASSERT_EQ(commands, std::vector{CompletionCommand::Success});
    EXPECT_EQ(commandBytes(), (Bytes{0x82, 0x85, 0x83, 0x84, 0x86}));
}

TEST_F(Engine, HalfAdvancedStepIsNotSentAgain) {
    // The reply handler clears lastTxTick before it moves stepIndex: a pass in between must
    // neither repeat the request nor take the cleared tick for a time-out.
    device.silentStep = 0x82;
    step();
    ASSERT_EQ(commandBytes(), (Bytes{0x82}));
    ctx().lastTxTick = 0;
    clock.advance(10'000);
    step();
    EXPECT_EQ(commandBytes(), (Bytes{0x82}));
    EXPECT_TRUE(commands.empty());
}

TEST_F(Engine, TickZeroIsNeverTakenForNothingSent) {
    device.silentStep = 0x82;
    clock.now = 0;
    step();
    EXPECT_NE(ctx().lastTxTick.load(), 0u);
    step();
    EXPECT_EQ(commandBytes(), (Bytes{0x82}));
}

struct TimeoutCase {
    std::uint8_t silentStep;
    bool fullChecksum;
    std::int32_t result;
    std::uint8_t lastRequest;
    std::int32_t timeout;
};

void PrintTo(const TimeoutCase& c, std::ostream* os) {
    *os << "silent after 0x" << std::hex << int{c.silentStep};
}

class EngineTimeout : public Engine, public ::testing::WithParamInterface<TimeoutCase> {};

TEST_P(EngineTimeout, ExpiresOneTickAfterTheLimitWithoutRetry) {
    const TimeoutCase& c = GetParam();
    device.silentStep = c.silentStep;
    test::prepareDefaultDownload(ctx(), c.fullChecksum, 0x12345678);
    ctx().writeLastAddress = 0x6000 + 3 * 1024 - 1;
    port.writeMs = 3;
    run();

    ASSERT_EQ(commands, std::vector{CompletionCommand::Failed});
    EXPECT_EQ(ctx().resultCode.load(), c.result);
    const auto frames = port.frames();
    EXPECT_EQ(frames.back().bytes[0], c.lastRequest);
    EXPECT_EQ(framesStartingWith(c.lastRequest).size(), 1u); // sent once, never repeated
    // Measured from the return of the write: the first pass after the limit fails.
    EXPECT_EQ(clock.now.load() - 1, frames.back().returnedAt + c.timeout + 1);
}

INSTANTIATE_TEST_SUITE_P(EachStep, EngineTimeout,
                         ::testing::Values(TimeoutCase{0x82, false, 1, 0x82, 300},
                                           TimeoutCase{0x85, false, 2, 0x85, 500},
                                           TimeoutCase{0x84, false, 3, 0x84, 700},
                                           TimeoutCase{0x86, false, 4, 0x86, 900},
                                           TimeoutCase{0x89, true, 4, 0x89, 900}),
                         [](const ::testing::TestParamInfo<TimeoutCase>& info) {
                             return "Silent" + std::to_string(info.param.result) +
                                    (info.param.fullChecksum ? "Full" : "");
                         });

TEST_F(Engine, TimeOutsStayRightWhenTheTickCounterWraps) {
    clock.now = 0xFFFFFFFFu - 100;
    device.silentStep = 0x82;
    for (int i = 0; i < 300; ++i) // crosses the wrap well before the 300 ms limit
        step();
    EXPECT_TRUE(commands.empty());
    run();
    EXPECT_EQ(ctx().resultCode.load(), 1);
    EXPECT_EQ(clock.now.load() - 1, port.frames()[0].returnedAt + 301);
}

TEST_F(Engine, PacingStaysRightWhenTheTickCounterWraps) {
    clock.now = 0xFFFFFFFFu - 1500;
    ctx().writeLastAddress = 0x6000 + 3 * 1024 - 1;
    ctx().txWaitSurplusTime = 1000;
    run();
    ASSERT_EQ(commands, std::vector{CompletionCommand::Success});
    std::vector<std::uint32_t> starts, returns;
    for (const auto& f : port.frames())
        if (f.bytes[0] == 0x83) {
            starts.push_back(f.startedAt);
            returns.push_back(f.returnedAt);
        }
    ASSERT_EQ(starts.size(), 3u);
    EXPECT_EQ(starts[1] - returns[0], 1000u);
    EXPECT_EQ(starts[2] - returns[1], 1000u);
}

TEST_F(Engine, ErrorRecordedBeforeTheFirstPassFailsBeforeAnyFrame) {
    ctx().setCommErrorText("<CE-1024>");
    ctx().recordResult(10);
    step();
    EXPECT_EQ(commands, std::vector{CompletionCommand::Failed});
    EXPECT_EQ(port.count(), 0u);
}

TEST_F(Engine, SerialFailureDuringABlockEndsAtTheNextPass) {
    port.onWrite = [this](const Bytes& frame) {
        Bytes answer = device.replyTo(frame);
        pending.insert(pending.end(), answer.begin(), answer.end());
        if (frame[0] == 0x83 && device.blocks == 4)
            ctx().recordResult(10);
    };
    run();
    EXPECT_EQ(commands, std::vector{CompletionCommand::Failed});
    EXPECT_EQ(ctx().resultCode.load(), 10);
    EXPECT_EQ(framesStartingWith(0x83).size(), 4u);
    EXPECT_TRUE(framesStartingWith(0x84).empty());
}

// A failed last block has ended the run: 0x84 behind it would only meet a held line again.
TEST_F(Engine, SerialFailureOfTheLastBlockSendsNoChecksumFrame) {
    ctx().writeLastAddress = ctx().writeFirstAddress + 4 * 1024 - 1; // four blocks
    port.onWrite = [this](const Bytes& frame) {
        Bytes answer = device.replyTo(frame);
        pending.insert(pending.end(), answer.begin(), answer.end());
        if (frame[0] == 0x83 && device.blocks == 4)
            ctx().recordResult(10);
    };
    run();
    EXPECT_EQ(commands, std::vector{CompletionCommand::Failed});
    EXPECT_EQ(framesStartingWith(0x83).size(), 4u);
    EXPECT_TRUE(framesStartingWith(0x84).empty());
}

TEST_F(Engine, DeviceErrorRepliesEndTheRunWithTheirCode) {
    port.onWrite = [this](const Bytes& frame) {
        Bytes answer = device.replyTo(frame);
        if (frame[0] == 0x85)
            answer = {0x88, 0x07};
        pending.insert(pending.end(), answer.begin(), answer.end());
    };
    run();
    EXPECT_EQ(commands, std::vector{CompletionCommand::Failed});
    EXPECT_EQ(ctx().resultCode.load(), 6);
    EXPECT_EQ(commandBytes(), (Bytes{0x82, 0x85}));
}

TEST_F(Engine, BlocksPastTheImageCarryZerosThatAddNothing) {
    // The image ends inside the second block.
    host.image = patternImage(0x6000 + 1500);
    ctx().writeLastAddress = 0x6000 + 1499;
    run();
    ASSERT_EQ(commands, std::vector{CompletionCommand::Success});
    const auto blocks = framesStartingWith(0x83);
    ASSERT_EQ(blocks.size(), 2u);
    const Bytes& second = blocks[1];
    EXPECT_TRUE(
        std::equal(second.begin() + 4, second.begin() + 4 + 476, host.image.begin() + 0x6400));
    EXPECT_TRUE(std::all_of(second.begin() + 4 + 476, second.end(), [](auto b) { return b == 0; }));
    const std::uint32_t imageSum =
        std::accumulate(host.image.begin() + 0x6000, host.image.end(), 0u);
    EXPECT_EQ(ctx().pcChecksum.load(), imageSum);
    EXPECT_EQ(value32(framesStartingWith(0x84).at(0)), imageSum);
}

TEST_F(Engine, FullChecksumRequestCarriesTheExpectedValue) {
    test::prepareDefaultDownload(ctx(), true, 0xFFFFFFFF);
    ctx().writeLastAddress = 0x6000;
    run();
    ASSERT_EQ(commands, std::vector{CompletionCommand::Success});
    EXPECT_EQ(framesStartingWith(0x89), (std::vector<Bytes>{{0x89, 0xFF, 0xFF, 0xFF, 0xFF}}));
    EXPECT_TRUE(framesStartingWith(0x86).empty());
    EXPECT_EQ(ctx().deviceFullChecksum.load(), 0xFFFFFFFFu);
}

TEST_F(Engine, MissingImageIsReportedBeforeTheAbort) {
    host.image.clear();
    run();
    EXPECT_EQ(commands, std::vector{CompletionCommand::Aborted});
    EXPECT_EQ(host.messages(), std::vector<std::string>{"read data set failed."});
    EXPECT_EQ(host.icons(), std::vector{MessageIcon::Stop});
    EXPECT_EQ(messagesBeforeCompletion, 1u);
    EXPECT_TRUE(framesStartingWith(0x83).empty());
}

TEST(EngineWithoutContext, ReportsMemoryErrorThenAborts) {
    test::FakeHost host(false);
    FakeClock clock;
    FakePort port(&clock);
    std::vector<CompletionCommand> commands;
    std::size_t messagesBefore = 0;
    ProtocolEngine engine(
        host, port,
        [&](CompletionCommand c) {
            commands.push_back(c);
            messagesBefore = host.messages().size();
        },
        std::ref(clock));
    engine.pass(clock.now);
    engine.pass(clock.now);
    EXPECT_EQ(commands, std::vector{CompletionCommand::Aborted});
    EXPECT_EQ(host.messages(), std::vector<std::string>{"Memory error."});
    EXPECT_EQ(messagesBefore, 1u);
    EXPECT_EQ(port.count(), 0u);
}

TEST_F(Engine, AgreedSectorCodeWithoutABlockSizeFailsInsteadOfLoopingForever) {
    ctx().sectorSizeCode = 9; // a hand-edited settings file; the device echoes it
    run(10'000);
    ASSERT_EQ(commands, std::vector{CompletionCommand::Failed});
    EXPECT_EQ(ctx().resultCode.load(), 5);
    EXPECT_TRUE(framesStartingWith(0x83).empty());
}

TEST_F(Engine, WriteRangeAtTheTopOfTheAddressSpaceStillEnds) {
    host.image = patternImage(4096);
    ctx().writeFirstAddress = 0x7FFFFFFF - 1500;
    ctx().writeLastAddress = 0x7FFFFFFF;
    run(10'000);
    ASSERT_EQ(commands, std::vector{CompletionCommand::Success});
    const auto blocks = framesStartingWith(0x83);
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_TRUE(std::all_of(blocks[1].begin() + 4, blocks[1].end(), [](auto b) { return b == 0; }));
}

} // namespace
} // namespace pexo
