#include "SerialFixtures.h"
#include "support/PtyPair.h"

#include <gtest/gtest.h>

#include <termios.h>

#include <future>
#include <string>
#include <thread>

namespace pexo::test {
namespace {

// What needs the device side of a pseudo-terminal: XON/XOFF from the device, a device that
// hangs up, a port side the test empties itself.
constexpr std::uint8_t kXon = 0x11;
constexpr std::uint8_t kXoff = 0x13;

class PortTransferPosix : public PortTransferFixture<PtyPair> {
protected:
    void stopPortOutput() {
        ASSERT_TRUE(pty.sendFromDevice({kXoff}));
        ASSERT_TRUE(waitUntil([&] { return !pty.portWritable(); }, kDeadline));
    }
};

TEST_F(PortTransferPosix, CloseDuringAFloodEndsTheReaderPromptly) {
    open(recorder);
    std::atomic<bool> stop{false};
    auto device = std::async(std::launch::async, [&] {
        const auto block = patternBytes(4096);
        while (!stop.load() && pty.sendFromDevice(block)) {
        }
    });
    ASSERT_TRUE(recorder.waitForBytes(8192));
    auto closing = std::async(std::launch::async, [&] { return closePort(host); });
    const bool closed = closing.wait_for(kDeadline) == std::future_status::ready;
    stop = true;
    // A device write blocked on the full line is released only by room on the line
    // (closing its descriptor would not wake it): empty the port side until it returns.
    while (device.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready)
        ::tcflush(pty.slaveFd(), TCIFLUSH);
    ASSERT_TRUE(closed);
    EXPECT_EQ(closing.get(), 1);
    EXPECT_EQ(host.ctx.readerThreadId.load(), 0u);
}

TEST_F(PortTransferPosix, AWriteHeldPastItsLimitEndsShortWithTheCountSent) {
    host.ctx.flowControl = 0x04;
    open(recorder);
    stopPortOutput();

    const auto frame = patternBytes(16);
    EXPECT_EQ(writePort(host.ctx, frame.data(), frame.size(), WriteLimits{20ms, {}}), 1);
    EXPECT_EQ(host.ctx.resultCode.load(), 10);
    EXPECT_EQ(host.ctx.commErrorText(), "Write Timeout: Total of 0 bytes sent");

    // XON lets the line go again; the next frame goes through whole.
    host.ctx.resultCode = 0;
    ASSERT_TRUE(pty.sendFromDevice({kXon}));
    ASSERT_TRUE(waitUntil([&] { return pty.portWritable(); }, kDeadline));
    EXPECT_EQ(writePort(host.ctx, frame.data(), frame.size(), WriteLimits{20ms, {}}), 1);
    EXPECT_EQ(host.ctx.resultCode.load(), 0);
    EXPECT_EQ(pty.receiveOnDevice(frame.size(), kDeadline), frame);
}

TEST_F(PortTransferPosix, CloseReleasesAWriterHeldByFlowControl) {
    host.ctx.flowControl = 0x04;
    host.ctx.baudRate = 38400; // no time limit: only the line or closePort ends the write
    open(recorder);
    stopPortOutput();

    auto writer = writeInBackground(patternBytes(64));
    ASSERT_TRUE(waitUntil([&] { return writerInside(); }, kDeadline));
    EXPECT_EQ(writer.wait_for(0s), std::future_status::timeout);

    EXPECT_EQ(closePort(host), 1);
    ASSERT_EQ(writer.wait_for(kDeadline), std::future_status::ready);
    EXPECT_EQ(writer.get(), 1);
    EXPECT_EQ(host.ctx.resultCode.load(), 10);
    EXPECT_EQ(host.ctx.commErrorText(), "Write Timeout: Total of 0 bytes sent");
    EXPECT_EQ(host.ctx.readerThreadId.load(), 0u);
    EXPECT_EQ(host.ctx.commHandle, -1);
}

// From 38400 baud a write has no limit of its own; each of these still ends it.
TEST_F(PortTransferPosix, AWriteHeldByXoffAtFullSpeedEndsByStallLimitOrCancel) {
    struct Case {
        const char* name;
        bool cancel; // otherwise a stall limit
        int result;
        const char* text;
    };
    const Case cases[] = {
        {"stall limit", false, 10, "Write Timeout: Total of 0 bytes sent"},
        {"cancel", true, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PtyPair line;
        SerialTestHost port;
        port.ctx.devicePath = line.path();
        port.ctx.flowControl = 0x04;
        port.ctx.baudRate = 57600;
        ChunkRecorder sink;
        std::string why;
        ASSERT_EQ(openPort(port, sink.sink(), &why), 1) << why;
        ASSERT_TRUE(line.sendFromDevice({kXoff}));
        ASSERT_TRUE(waitUntil([&] { return !line.portWritable(); }, kDeadline));

        const auto frame = patternBytes(64);
        const std::uint8_t poll = 0xD6;
        EXPECT_EQ(offerPortBytes(port.ctx, &poll, 1), 0u) << "an offer never waits";
        const WriteLimits limits{0ms, c.cancel ? 0ms : 30ms};
        auto writer = std::async(std::launch::async, [&] {
            return writePort(port.ctx, frame.data(), frame.size(), limits);
        });
        if (c.cancel) {
            ASSERT_TRUE(waitUntil(
                [&] {
                    std::lock_guard lock(port.ctx.serialLink->mutex);
                    return port.ctx.serialLink->activeWriters > 0;
                },
                kDeadline));
            cancelPortWrites(port.ctx);
        }
        ASSERT_EQ(writer.wait_for(kDeadline), std::future_status::ready);
        EXPECT_EQ(writer.get(), 1);
        EXPECT_EQ(port.ctx.resultCode.load(), c.result);
        EXPECT_EQ(port.ctx.commErrorText(), c.text);

        // Once cancelled, nothing more goes out until the port is opened again.
        ASSERT_TRUE(line.sendFromDevice({kXon}));
        ASSERT_TRUE(waitUntil([&] { return line.portWritable(); }, kDeadline));
        // 0: refused before a byte was offered.
        EXPECT_EQ(writePort(port.ctx, frame.data(), frame.size()), c.cancel ? 0 : 1);
        if (!c.cancel) {
            EXPECT_EQ(line.receiveOnDevice(frame.size(), kDeadline), frame);
        }
        EXPECT_EQ(closePort(port), 1);
    }
}

TEST_F(PortTransferPosix, TheDeviceVanishingMidWriteIsAnIoErrorAndNothingHangs) {
    host.ctx.baudRate = 115200; // no limit: the write waits for the line
    open(recorder);
    auto writer = writeInBackground(patternBytes(1 << 20));
    // The device reads nothing, so the megabyte cannot all be taken; once some of it has
    // reached the device the writer is mid-frame. (A pty may report room to write while
    // the writer still waits, so the port's writability tells nothing here.)
    if (!waitUntil([&] { return writerInside() && pty.bytesWaitingForDevice() > 0; }, kDeadline)) {
        closePort(host); // releases the writer, or the future would wait for it forever
        FAIL() << "the write never started";
    }

    pty.closeDevice();
    ASSERT_EQ(writer.wait_for(kDeadline), std::future_status::ready);
    EXPECT_EQ(writer.get(), 1);
    EXPECT_EQ(host.ctx.resultCode.load(), 10);
    EXPECT_EQ(host.ctx.commErrorText(), "<CE-1024>");
    EXPECT_TRUE(waitUntil([&] { return host.ctx.readerThreadId.load() == 0; }, kDeadline));

    auto closing = std::async(std::launch::async, [&] { return closePort(host); });
    ASSERT_EQ(closing.wait_for(kDeadline), std::future_status::ready);
    EXPECT_EQ(closing.get(), 1);
    EXPECT_FALSE(host.ctx.connected.load());
}

TEST_F(PortTransferPosix, AfterAHangUpTheReaderStopsAndTheNextWriteReportsIt) {
    open(recorder);
    ASSERT_TRUE(pty.sendFromDevice({0x01}));
    ASSERT_TRUE(recorder.waitForBytes(1));
    pty.closeDevice();
    ASSERT_TRUE(waitUntil([&] { return host.ctx.readerThreadId.load() == 0; }, kDeadline));
    EXPECT_EQ(host.ctx.resultCode.load(), 0) << "the reader records nothing itself";

    const std::uint8_t poll = 0xD6;
    EXPECT_EQ(writePort(host, &poll, 1), 0); // failed before anything was taken
    EXPECT_EQ(host.ctx.resultCode.load(), 10);
    EXPECT_EQ(host.ctx.commErrorText(), "<CE-1024>");
    EXPECT_EQ(closePort(host), 1);
}

} // namespace
} // namespace pexo::test
