#include "core/protocol/DownloadContext.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace pexo {
namespace {

std::vector<std::uint8_t> stepTable(const DownloadContext& ctx) {
    std::vector<std::uint8_t> out;
    for (const auto& s : ctx.steps)
        out.push_back(s.load());
    return out;
}

TEST(DownloadContext, FreshRecordDescribesCom1At9600EightNoneOne) {
    DownloadContext ctx;
    EXPECT_EQ(ctx.portNumber, 1);
    EXPECT_EQ(ctx.baudRate, 9600u);
    EXPECT_EQ(ctx.dataBits, 8);
    EXPECT_EQ(ctx.parity, 0);
    EXPECT_EQ(ctx.stopBits, 0);
    EXPECT_EQ(ctx.flowControl, 0);
    EXPECT_FALSE(ctx.connected.load());
    EXPECT_EQ(ctx.commHandle, -1);
    EXPECT_EQ(ctx.currentStep(), 0); // table empty until reset
}

TEST(DownloadContext, ResetChoosesTheChecksumStepAndClearsState) {
    DownloadContext ctx;
    ctx.fullChecksumEnabled = true;
    ctx.resultCode = 9;
    ctx.stepIndex = 4;
    ctx.replyLength = 3;
    ctx.replyBytes[2] = 0x55;
    ctx.pcChecksum = 77;
    ctx.lastTxTick = 5;
    ctx.deviceChecksum = 0x1234;
    ctx.setCommErrorText("<CE-8>");
    resetProtocolState(ctx);
    EXPECT_EQ(stepTable(ctx), (std::vector<std::uint8_t>{0xD6, 0x82, 0x85, 0x83, 0x89, 0xFF}));
    EXPECT_EQ(ctx.resultCode.load(), 0);
    EXPECT_EQ(ctx.stepIndex.load(), 0);
    EXPECT_EQ(ctx.replyLength.load(), 0);
    EXPECT_EQ(ctx.replyBytes[2].load(), 0);
    EXPECT_EQ(ctx.pcChecksum.load(), 0u);
    EXPECT_EQ(ctx.lastTxTick.load(), 0u);
    EXPECT_EQ(ctx.commErrorText(), "");
    EXPECT_EQ(ctx.deviceChecksum.load(), 0x1234u); // kept: its reply sets it before use

    ctx.fullChecksumEnabled = false;
    resetProtocolState(ctx);
    EXPECT_EQ(stepTable(ctx), (std::vector<std::uint8_t>{0xD6, 0x82, 0x85, 0x83, 0x86, 0xFF}));
}

TEST(DownloadContext, AdvanceWalksTheTableToTheEnd) {
    DownloadContext ctx;
    resetProtocolState(ctx);
    ctx.pendingRequest = 0x82;
    ctx.replyLength = 2;
    ctx.replyBytes[0] = 0x84;
    ctx.lastTxTick = 1234;
    advanceStep(ctx);
    EXPECT_EQ(ctx.currentStep(), 0x82);
    EXPECT_EQ(ctx.pendingRequest.load(), 0);
    EXPECT_EQ(ctx.replyLength.load(), 0);
    EXPECT_EQ(ctx.replyBytes[0].load(), 0);
    EXPECT_EQ(ctx.lastTxTick.load(), 0u);
    for (int i = 0; i < 4; ++i)
        advanceStep(ctx);
    EXPECT_EQ(ctx.currentStep(), 0xFF);
    advanceStep(ctx);
    EXPECT_EQ(ctx.currentStep(), 0); // past the table: no step
}

TEST(DownloadContext, CommErrorTextIsBoundedTo127Characters) {
    DownloadContext ctx;
    ctx.setCommErrorText(std::string(500, 'x'));
    EXPECT_EQ(ctx.commErrorText().size(), 127u);
}

TEST(DownloadContext, AdvanceFromAnotherThreadWakesTheWaiter) {
    DownloadContext ctx;
    resetProtocolState(ctx);
    std::thread reader([&] { advanceStep(ctx); });
    // Waits until the change is seen; the generous deadline only bounds a broken build.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (ctx.stepIndex.load() != 1 && std::chrono::steady_clock::now() < deadline)
        ctx.waitForChange(std::chrono::milliseconds(1));
    reader.join();
    EXPECT_EQ(ctx.stepIndex.load(), 1);
    EXPECT_EQ(ctx.currentStep(), 0x82);
}

TEST(DownloadContext, AWaitWithoutDeadlineEndsOnlyWithAChangeAndMissesNone) {
    DownloadContext ctx;
    resetProtocolState(ctx);
    ctx.notifyChange(); // before the wait: still counts
    EXPECT_TRUE(ctx.waitForChangeUntil(std::nullopt));
    EXPECT_FALSE(ctx.waitForChangeUntil(std::chrono::steady_clock::now()));
    std::thread reader([&] { advanceStep(ctx); });
    EXPECT_TRUE(ctx.waitForChangeUntil(std::nullopt)); // a lost notification hangs here
    reader.join();
    EXPECT_EQ(ctx.stepIndex.load(), 1);
}

TEST(DownloadContext, WaitWithoutChangeTimesOut) {
    DownloadContext ctx;
    ctx.notifyChange();
    EXPECT_TRUE(ctx.waitForChange(std::chrono::microseconds(0)));
    EXPECT_FALSE(ctx.waitForChange(std::chrono::microseconds(100)));
}

} // namespace
} // namespace pexo
