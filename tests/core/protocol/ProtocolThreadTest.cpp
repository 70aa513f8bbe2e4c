#include "FakeHost.h"
#include "ProtocolFakes.h"
#include "core/protocol/CUDownloadProtocolThread.h"

#include <deque>
#include <gtest/gtest.h>
#include <thread>

namespace pexo {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using test::FakeDevice;
using test::FakePort;

// Generous: only a hang makes these waits run out.
constexpr auto kDeadline = 20s;

std::uint32_t address(const Bytes& frame) {
    return std::uint32_t{frame.at(1)} << 16 | std::uint32_t{frame.at(2)} << 8 | frame.at(3);
}

// Spins until `flag` is set or the deadline passes; true when it was set.
bool waitFor(const std::atomic<bool>& flag) {
    const auto deadline = std::chrono::steady_clock::now() + kDeadline;
    while (!flag.load()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::yield();
    }
    return true;
}

// Collects the completion commands and lets a test wait for them.
class Completions {
public:
    void operator()(CompletionCommand c) {
        {
            std::lock_guard lock(mutex_);
            commands_.push_back(c);
        }
        cv_.notify_all();
    }
    bool waitForOne() {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, kDeadline, [this] { return !commands_.empty(); });
    }
    std::vector<CompletionCommand> commands() const {
        std::lock_guard lock(mutex_);
        return commands_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<CompletionCommand> commands_;
};

// Plays the serial reader thread: the device's replies reach the reply handler from a
// thread of their own, as they do in the program.
class ReaderThread {
public:
    explicit ReaderThread(DownloadContext& ctx) : ctx_(ctx), thread_([this] { run(); }) {}
    ~ReaderThread() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }
    void receive(const Bytes& bytes) {
        if (bytes.empty())
            return;
        {
            std::lock_guard lock(mutex_);
            queue_.push_back(bytes);
        }
        cv_.notify_all();
    }

private:
    void run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            cv_.wait(lock, [this] { return done_ || !queue_.empty(); });
            if (queue_.empty())
                return;
            Bytes chunk = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            handleReceivedBytes(ctx_, chunk.data(), chunk.size());
            lock.lock();
        }
    }

    DownloadContext& ctx_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<Bytes> queue_;
    bool done_ = false;
    std::thread thread_;
};

class ProtocolThread : public ::testing::Test {
protected:
    ProtocolThread() {
        test::prepareDefaultDownload(host.ctx());
        host.ctx().writeLastAddress = 0x6000 + 8 * 1024 - 1;
        for (std::int32_t* t :
             {&host.ctx().rxSectorSizeTimeout, &host.ctx().rxEraseCompletionTimeout,
              &host.ctx().rxWriteCompletionTimeout, &host.ctx().rxChecksumTimeout})
            *t = 600'000; // never reached: these tests are about the thread, not time-outs
        host.image = Bytes(0x8000, 0x5A);
    }

    // The device answers through the reader thread; `beforeReply` may act inside the write.
    void wireDevice(std::function<void(const Bytes&)> beforeReply = nullptr) {
        port.onWrite = [this, beforeReply](const Bytes& frame) {
            if (beforeReply)
                beforeReply(frame);
            std::lock_guard lock(deviceMutex);
            reader.receive(device.replyTo(frame));
        };
    }

    test::FakeHost host;
    FakePort port;
    std::mutex deviceMutex;
    FakeDevice device;
    ReaderThread reader{host.ctx()};
    Completions completions;
};

TEST_F(ProtocolThread, RunsADownloadToItsCompletionAndEndsWhenStopped) {
    wireDevice();
    CUDownloadProtocolThread thread(host, port, std::ref(completions));
    thread.start();
    ASSERT_TRUE(completions.waitForOne());
    EXPECT_EQ(completions.commands(), std::vector{CompletionCommand::Success});
    EXPECT_FALSE(thread.ended()); // it waits for its owner after the command
    thread.requestStop();
    ASSERT_TRUE(thread.waitForEnd(kDeadline));
    EXPECT_TRUE(thread.ended());
    EXPECT_EQ(port.count(), 2u + 8u + 2u);
    EXPECT_EQ(host.ctx().deviceChecksum.load(), host.ctx().pcChecksum.load());
}

TEST_F(ProtocolThread, StopWhileWaitingForAReplyEndsPromptlyWithoutACommand) {
    device.silentStep = 0x82;
    wireDevice();
    CUDownloadProtocolThread thread(host, port, std::ref(completions));
    thread.start();
    ASSERT_TRUE(port.waitForFrames(1, kDeadline));
    thread.requestStop();
    ASSERT_TRUE(thread.waitForEnd(kDeadline));
    EXPECT_TRUE(completions.commands().empty());
    EXPECT_EQ(port.count(), 1u);
}

TEST_F(ProtocolThread, CancelDuringABlockLetsThatWriteFinishAndSendsNothingMore) {
    CUDownloadProtocolThread* self = nullptr;
    wireDevice([&](const Bytes& frame) {
        if (frame[0] == 0x83 && address(frame) == 0x6800)
            self->requestStop(); // the operator cancels while the third block is written
    });
    CUDownloadProtocolThread thread(host, port, std::ref(completions));
    self = &thread;
    thread.start();
    ASSERT_TRUE(thread.waitForEnd(kDeadline));
    const auto frames = port.frames();
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back().bytes[0], 0x83);
    EXPECT_EQ(address(frames.back().bytes), 0x6800u);
    EXPECT_TRUE(completions.commands().empty());
}

TEST_F(ProtocolThread, CancelDuringTheLastBlockStillClosesItWithTheChecksumFrame) {
    CUDownloadProtocolThread* self = nullptr;
    wireDevice([&](const Bytes& frame) {
        if (frame[0] == 0x83 && address(frame) == 0x7C00)
            self->requestStop();
    });
    CUDownloadProtocolThread thread(host, port, std::ref(completions));
    self = &thread;
    thread.start();
    ASSERT_TRUE(thread.waitForEnd(kDeadline));
    const auto frames = port.frames();
    ASSERT_GE(frames.size(), 2u);
    EXPECT_EQ(frames.back().bytes[0], 0x84);
    EXPECT_EQ(address(frames[frames.size() - 2].bytes), 0x7C00u);
    EXPECT_TRUE(completions.commands().empty());
}

TEST_F(ProtocolThread, CancelRacingACompletionThatWaitsForTheOwnerDoesNotDeadlock) {
    // The sink blocks until the owner has reacted, as a blocking call to a GUI thread does;
    // the owner meanwhile cancels and waits for the end.
    wireDevice();
    std::atomic<bool> ownerCancelled{false};
    std::atomic<bool> sinkEntered{false};
    CUDownloadProtocolThread* self = nullptr;
    CUDownloadProtocolThread thread(host, port, [&](CompletionCommand c) {
        sinkEntered = true;
        EXPECT_TRUE(waitFor(ownerCancelled));
        self->requestStop(); // what the dialog does while handling the command
        self->join();        // and a join from inside the sink must not hang either
        completions(c);
    });
    self = &thread;
    thread.start();
    std::thread owner([&] {
        EXPECT_TRUE(waitFor(sinkEntered));
        thread.requestStop();
        ownerCancelled = true;
    });
    const bool ended = thread.waitForEnd(kDeadline);
    owner.join();
    ASSERT_TRUE(ended);
    EXPECT_EQ(completions.commands(), std::vector{CompletionCommand::Success});
}

TEST_F(ProtocolThread, OwnerThatNeverStartedOrForgotToStopIsSafe) {
    {
        CUDownloadProtocolThread idle(host, port, std::ref(completions));
        EXPECT_TRUE(idle.ended());
        idle.join();
        EXPECT_TRUE(idle.waitForEnd(0ms));
    }
    device.silentStep = 0x82;
    wireDevice();
    {
        CUDownloadProtocolThread running(host, port, std::ref(completions));
        running.start();
        running.start();
        ASSERT_TRUE(port.waitForFrames(1, kDeadline));
    } // the destructor stops and joins
    EXPECT_EQ(port.count(), 1u);
    EXPECT_TRUE(completions.commands().empty());
}

TEST_F(ProtocolThread, StopWakesAThreadThatHasNothingToWaitForButAReply) {
    device.silentStep = 0x82;
    wireDevice();
    host.ctx().waitForChange(0us); // the set-up's own changes must not wake it by chance
    CUDownloadProtocolThread thread(host, port, std::ref(completions));
    thread.start();
    ASSERT_TRUE(port.waitForFrames(1, kDeadline));
    thread.requestStop(); // the reply time-out is ten minutes away
    EXPECT_TRUE(thread.waitForEnd(kDeadline));
    EXPECT_TRUE(completions.commands().empty());
}

// Nothing signals the thread when a pause or a time-out runs out: it must wake for the
// deadline by itself, never before it.
TEST_F(ProtocolThread, WakesForPacingAndTimeOutsOnTheSteadyClock) {
    struct Case {
        const char* name;
        std::uint8_t silentStep;
        std::int32_t txWait;
        std::int32_t sectorTimeout;
        CompletionCommand command;
        std::int32_t result;
        std::chrono::milliseconds atLeast;
    };
    const Case cases[] = {
        // Whole ticks: a 15 ms pause can be a tick boundary short of 15 ms.
        {"paced blocks", 0, 15, 600'000, CompletionCommand::Success, 0, 7 * 14ms},
        {"sector time-out", 0x82, 0, 40, CompletionCommand::Failed, 1, 40ms},
        // Without a pause the eight blocks still leave a tick apart, never back to back.
        {"no pause", 0, 0, 600'000, CompletionCommand::Success, 0, 6ms},
    };
    wireDevice();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::prepareDefaultDownload(host.ctx());
        host.ctx().writeLastAddress = 0x6000 + 8 * 1024 - 1;
        host.ctx().txWaitSurplusTime = c.txWait;
        host.ctx().rxSectorSizeTimeout = c.sectorTimeout;
        {
            std::lock_guard lock(deviceMutex);
            device = FakeDevice{};
            device.silentStep = c.silentStep;
        }
        Completions done;
        CUDownloadProtocolThread thread(host, port, std::ref(done));
        const auto start = std::chrono::steady_clock::now();
        thread.start();
        ASSERT_TRUE(done.waitForOne());
        EXPECT_GE(std::chrono::steady_clock::now() - start, c.atLeast);
        EXPECT_EQ(done.commands(), std::vector{c.command});
        EXPECT_EQ(host.ctx().resultCode.load(), c.result);
        thread.requestStop();
        ASSERT_TRUE(thread.waitForEnd(kDeadline));
    }
}

TEST_F(ProtocolThread, MissingContextIsReportedAndAborted) {
    test::FakeHost bare(false);
    CUDownloadProtocolThread thread(bare, port, std::ref(completions));
    thread.start();
    ASSERT_TRUE(completions.waitForOne());
    thread.requestStop();
    ASSERT_TRUE(thread.waitForEnd(kDeadline));
    EXPECT_EQ(completions.commands(), std::vector{CompletionCommand::Aborted});
    EXPECT_EQ(bare.messages(), std::vector<std::string>{"Memory error."});
}

} // namespace
} // namespace pexo
