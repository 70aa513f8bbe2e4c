#pragma once

#include "SerialTestSupport.h"
#include "core/serial/SerialLink.h"

#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <string>
#include <vector>

namespace pexo::test {

// The port and device sides of `Line` (PeerLine, or on Linux PtyPair for what needs the
// pseudo-terminal itself) with a host whose port opens on the port side.
template <typename Line>
class PortOpenFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty.ok());
        host.ctx.devicePath = pty.portName();
    }
    void TearDown() override { closePort(host); }

    void expectClosed(const DownloadContext& ctx) {
        EXPECT_FALSE(ctx.connected.load());
        EXPECT_EQ(ctx.commHandle, -1);
        EXPECT_EQ(ctx.readerThreadId.load(), 0u);
        EXPECT_FALSE(ctx.readerThread.joinable());
    }

    Line pty;
    ChunkRecorder recorder;
    SerialTestHost host;
};

// A port opened on the port side of `Line` (PeerLine, or on Linux PtyPair for what needs the
// pseudo-terminal itself), with the device side driven by the test.
template <typename Line>
class PortTransferFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty.ok());
        host.ctx.devicePath = pty.portName();
    }
    void TearDown() override {
        recorder.release();
        closePort(host);
    }

    void open(ChunkRecorder& sink) {
        std::string why;
        ASSERT_EQ(openPort(host, sink.sink(), &why), 1) << why;
    }

    // The writer has taken its hold on the port (it is inside writePort).
    bool writerInside() {
        SerialLink& link = *host.ctx.serialLink;
        std::lock_guard lock(link.mutex);
        return link.activeWriters > 0;
    }

    // Runs a write on its own thread, as the protocol thread does.
    std::future<int> writeInBackground(std::vector<std::uint8_t> frame) {
        return std::async(std::launch::async, [this, frame = std::move(frame)] {
            return writePort(host, frame.data(), frame.size());
        });
    }

    Line pty;
    ChunkRecorder recorder;
    SerialTestHost host;
};

} // namespace pexo::test
