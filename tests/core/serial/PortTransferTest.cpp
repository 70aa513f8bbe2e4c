#include "SerialFixtures.h"
#include "support/PeerLine.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <future>
#include <string>
#include <thread>

namespace pexo::test {
namespace {

using PortTransfer = PortTransferFixture<PeerLine>;

TEST_F(PortTransfer, TwoHundredBytesArrivingTogetherComeAsEightyEightyForty) {
    ChunkRecorder held(/*holdFirstChunk=*/true);
    open(held);
    // One byte occupies the reader in the sink while the 200 queue up behind it.
    ASSERT_TRUE(pty.sendFromDevice({0xEE}));
    ASSERT_TRUE(held.waitForBytes(1));
    const auto burst = patternBytes(200, 3);
    ASSERT_TRUE(pty.sendFromDevice(burst));
    ASSERT_TRUE(waitUntil([&] { return bytesQueuedAtPort(host.ctx.commHandle) == 200; }, kDeadline));
    held.release();

    ASSERT_TRUE(held.waitForBytes(201));
    const auto chunks = held.chunks();
    ASSERT_EQ(chunks.size(), 4u);
    EXPECT_EQ(chunks[0], std::vector<std::uint8_t>{0xEE});
    EXPECT_EQ(chunks[1], std::vector<std::uint8_t>(burst.begin(), burst.begin() + 80));
    EXPECT_EQ(chunks[2], std::vector<std::uint8_t>(burst.begin() + 80, burst.begin() + 160));
    EXPECT_EQ(chunks[3], std::vector<std::uint8_t>(burst.begin() + 160, burst.end()));
    closePort(host);
}

TEST_F(PortTransfer, AFloodIsHandedOverChunkByChunkInOrder) {
    open(recorder);
    const auto flood = patternBytes(256 * 1024, 9);
    // The device blocks whenever the line is full, so it runs beside the reader.
    auto device = std::async(std::launch::async, [&] { return pty.sendFromDevice(flood); });
    ASSERT_TRUE(recorder.waitForBytes(flood.size()));
    EXPECT_TRUE(device.get());

    const auto chunks = recorder.chunks();
    for (const auto& c : chunks) {
        ASSERT_FALSE(c.empty());
        ASSERT_LE(c.size(), kReadChunkSize);
    }
    EXPECT_GE(chunks.size(), flood.size() / kReadChunkSize);
    EXPECT_EQ(recorder.bytes(), flood);
}

TEST_F(PortTransfer, AFullWriteLeavesTheResultAsItWas) {
    host.ctx.baudRate = 9600;
    open(recorder);
    host.ctx.setCommErrorText("earlier text");
    const auto frame = patternBytes(1028, 1);
    EXPECT_EQ(writePort(host, frame.data(), frame.size()), 1);
    EXPECT_EQ(pty.receiveOnDevice(frame.size(), kDeadline), frame);
    EXPECT_EQ(host.ctx.resultCode.load(), 0);
    EXPECT_EQ(host.ctx.commErrorText(), "earlier text");
}

TEST_F(PortTransfer, AShortWriteReportsExactlyWhatTheDriverTook) {
    open(recorder);
    // The device reads nothing, so the line fills part way through this frame.
    const auto frame = patternBytes(1 << 20, 5);
    EXPECT_EQ(writePort(host.ctx, frame.data(), frame.size(), WriteLimits{50ms, {}}), 1);
    EXPECT_EQ(host.ctx.resultCode.load(), 10);
    const std::string text = host.ctx.commErrorText();
    long sent = -1;
    ASSERT_EQ(std::sscanf(text.c_str(), "Write Timeout: Total of %ld bytes sent", &sent), 1)
        << text;
    ASSERT_GT(sent, 0);
    ASSERT_LT(sent, static_cast<long>(frame.size()));
    const auto taken = pty.receiveOnDevice(static_cast<std::size_t>(sent), kDeadline);
    EXPECT_EQ(taken, std::vector<std::uint8_t>(frame.begin(), frame.begin() + sent));
}

// A UART's queue drains at the line rate; a pseudo-terminal's is empty at once. Through the
// seam, the write returns only when the queue is empty, and a queue that stops draining is
// held like a line that takes nothing.
TEST_F(PortTransfer, AWriteReturnsWhenItsBytesHaveLeftTheQueue) {
    std::atomic<std::size_t> pending{0};
    std::atomic<int> looks{0};
    host.ctx.baudRate = 57600;
    host.ctx.serialLink = std::make_shared<SerialLink>();
    host.ctx.serialLink->outputPending = [&](int) {
        ++looks;
        return pending.load();
    };
    open(recorder);

    const auto frame = patternBytes(64);
    pending = frame.size();
    auto writer = writeInBackground(frame);
    ASSERT_TRUE(waitUntil([&] { return looks.load() >= 3; }, kDeadline));
    EXPECT_EQ(writer.wait_for(0s), std::future_status::timeout) << "returned with bytes queued";
    pending = 0;
    ASSERT_EQ(writer.wait_for(kDeadline), std::future_status::ready);
    EXPECT_EQ(writer.get(), 1);
    EXPECT_EQ(host.ctx.resultCode.load(), 0);

    pending = 10; // stuck: what left is what the report counts
    EXPECT_EQ(writePort(host.ctx, frame.data(), frame.size(), WriteLimits{0ms, 30ms}), 1);
    EXPECT_EQ(host.ctx.resultCode.load(), 10);
    EXPECT_EQ(host.ctx.commErrorText(), "Write Timeout: Total of 54 bytes sent");
}

TEST_F(PortTransfer, WritingToAClosedPortDoesNothing) {
    const std::uint8_t byte = 0xD6;
    EXPECT_EQ(writePort(host, &byte, 1), 0); // never opened
    open(recorder);
    closePort(host);
    EXPECT_EQ(writePort(host, &byte, 1), 0);
    EXPECT_EQ(host.ctx.resultCode.load(), 0);
    EXPECT_EQ(host.ctx.commErrorText(), "");
}

TEST_F(PortTransfer, TheSinkMayClosePortItself) {
    std::promise<int> closed;
    std::atomic<bool> once{false};
    std::string why;
    ASSERT_EQ(openPort(
                  host,
                  [&](std::span<const std::uint8_t>) {
                      if (!once.exchange(true))
                          closed.set_value(closePort(host));
                  },
                  &why),
              1)
        << why;
    ASSERT_TRUE(pty.sendFromDevice({0x55}));
    auto result = closed.get_future();
    ASSERT_EQ(result.wait_for(kDeadline), std::future_status::ready);
    EXPECT_EQ(result.get(), 1);
    EXPECT_TRUE(waitUntil([&] { return host.ctx.readerThreadId.load() == 0; }, kDeadline));
    EXPECT_FALSE(host.ctx.connected.load());
}

TEST_F(PortTransfer, BytesArrivingWhileThePortClosesAreDiscarded) {
    ChunkRecorder held(/*holdFirstChunk=*/true);
    open(held);
    ASSERT_TRUE(pty.sendFromDevice({0xEE}));
    ASSERT_TRUE(held.waitForBytes(1));
    ASSERT_TRUE(pty.sendFromDevice(patternBytes(200, 3)));
    ASSERT_TRUE(waitUntil([&] { return bytesQueuedAtPort(host.ctx.commHandle) == 200; }, kDeadline));
    auto closing = std::async(std::launch::async, [&] { return closePort(host); });
    ASSERT_TRUE(waitUntil([&] { return !host.ctx.connected.load(); }, kDeadline));
    held.release();
    ASSERT_EQ(closing.wait_for(kDeadline), std::future_status::ready);
    EXPECT_EQ(closing.get(), 1);
    EXPECT_EQ(held.bytes(), std::vector<std::uint8_t>{0xEE});

    // The close flushed them: the next opening hears only what comes after it.
    open(recorder);
    ASSERT_TRUE(pty.sendFromDevice({0x42}));
    ASSERT_TRUE(recorder.waitForBytes(1));
    EXPECT_EQ(recorder.bytes(), std::vector<std::uint8_t>{0x42});
}

// The device reads nothing, so a frame of some megabytes fills every buffer on the way and
// the write is held; each of these ends it.
TEST_F(PortTransfer, AHeldWriteEndsByCancelCloseOrALimit) {
    enum class End { Cancel, Close, Limit };
    struct Case {
        const char* name;
        End end;
        WriteLimits limits;
        int result;
    };
    const Case cases[] = {
        {"cancel", End::Cancel, {}, 0},
        {"close", End::Close, {}, 10},
        {"total limit", End::Limit, {100ms, 0ms}, 10},
        {"stall limit", End::Limit, {0ms, 100ms}, 10},
    };
    const auto frame = patternBytes(4 << 20, 7);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PeerLine line;
        ASSERT_TRUE(line.ok());
        SerialTestHost port;
        port.ctx.devicePath = line.portName();
        port.ctx.baudRate = 115200; // no limit of its own
        std::string why;
        ASSERT_EQ(openPort(port, nullptr, &why), 1) << why;
        auto writer = std::async(std::launch::async, [&] {
            return writePort(port.ctx, frame.data(), frame.size(), c.limits);
        });
        ASSERT_TRUE(waitUntil(
            [&] {
                std::lock_guard lock(port.ctx.serialLink->mutex);
                return port.ctx.serialLink->activeWriters > 0;
            },
            kDeadline));
        if (c.end == End::Cancel)
            cancelPortWrites(port.ctx);
        if (c.end == End::Close) {
            EXPECT_EQ(closePort(port), 1);
        }
        ASSERT_EQ(writer.wait_for(kDeadline), std::future_status::ready);
        EXPECT_EQ(writer.get(), 1);
        EXPECT_EQ(port.ctx.resultCode.load(), c.result);
        const std::string text = port.ctx.commErrorText();
        if (c.result == 0) {
            EXPECT_EQ(text, "");
        } else {
            long sent = -1;
            ASSERT_EQ(std::sscanf(text.c_str(), "Write Timeout: Total of %ld bytes sent", &sent), 1)
                << text;
            EXPECT_GE(sent, 0);
            EXPECT_LT(sent, static_cast<long>(frame.size()));
        }
        EXPECT_EQ(closePort(port), 1);
        EXPECT_EQ(port.ctx.readerThreadId.load(), 0u);
    }
}

} // namespace
} // namespace pexo::test
