#include "core/app/Host.h"
#include "core/download/DownloadSession.h"
#include "core/protocol/DownloadContext.h"
#include "core/protocol/ResultCode.h"
#include "core/settings/CommSettings.h"
#include "core/settings/ProtocolParameters.h"
#include "core/serial/SerialLink.h"
#include "devsim/Simulator.h"
#include "support/PtyPair.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdio>
#include <future>
#include <mutex>
#include <optional>
#include <vector>

namespace pexo::test {
namespace {

using namespace std::chrono_literals;
constexpr std::chrono::milliseconds kDeadline = 10s;

// The main window as the download sequence sees it: a context and a loaded image.
class SessionHost : public Host {
public:
    DownloadContext* downloadContext() override { return &ctx; }
    void showMessage(std::string_view text, MessageIcon) override {
        std::lock_guard lock(mutex_);
        messages.emplace_back(text);
    }
    std::string& imageFile() override { return file_; }
    std::uint32_t& imageSize() override { return size_; }
    std::span<const std::uint8_t> imageBytes() const override { return image; }

    void load(std::vector<std::uint8_t> bytes) {
        image = std::move(bytes);
        size_ = static_cast<std::uint32_t>(image.size());
    }

    DownloadContext ctx;
    std::vector<std::uint8_t> image;
    std::vector<std::string> messages;

private:
    std::mutex mutex_;
    std::string file_ = "image.bin";
    std::uint32_t size_ = 0;
};

// The one completion command of a run, as the protocol thread delivers it.
class CompletionWaiter {
public:
    CompletionSink sink() {
        return [this](CompletionCommand command) {
            std::lock_guard lock(mutex_);
            commands_.push_back(command);
            changed_.notify_all();
        };
    }
    std::optional<CompletionCommand> wait() {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, kDeadline, [&] { return !commands_.empty(); }))
            return std::nullopt;
        return commands_.front();
    }
    std::size_t count() {
        std::lock_guard lock(mutex_);
        return commands_.size();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<CompletionCommand> commands_;
};

std::vector<std::uint8_t> pattern(std::size_t n) {
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 31 + (i >> 8));
    return bytes;
}

// A small, quick download: four 1 KiB blocks from 0x100, no pacing surplus.
ProtocolParameters smallRun() {
    ProtocolParameters p;
    p.Code30 = 1;
    p.Code31 = 0;
    p.Code51 = p.Code52 = p.Code53 = p.Code54 = 5000;
    p.Code62_1 = 0;
    p.Code62_2 = 1;
    p.Code63_1 = 0x100;
    p.Code63_2 = 0x10FF;
    return p;
}

// Polls as the connect prompt does until the device has echoed; false on the deadline.
bool connect(DownloadSession& session) {
    session.beginConnectPoll();
    const auto deadline = std::chrono::steady_clock::now() + kDeadline;
    while (!session.pollTick()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(session.pollInterval()); // the prompt's timer period
    }
    return true;
}

class Session : public ::testing::Test {
protected:
    void startDevice(devsim::Options options = {}) {
        options.linger = 0ms;
        device.emplace(std::move(options));
        ASSERT_TRUE(device->start()) << device->error();
        host.ctx.devicePath = device->slavePath();
    }

    // Prepares a run on the device and connects; null (after a failure) when it cannot.
    std::unique_ptr<DownloadSession> connectedSession(const ProtocolParameters& params,
                                                      CommSettings comm = {},
                                                      TickClock clock = steadyTickMs) {
        auto session = std::make_unique<DownloadSession>(host, std::move(clock));
        if (session->prepare(params, comm) != DownloadSession::Setup::Ready) {
            ADD_FAILURE() << "the port did not open";
            return nullptr;
        }
        if (!connect(*session)) {
            ADD_FAILURE() << "no echo";
            return nullptr;
        }
        return session;
    }

    SessionHost host;
    std::optional<devsim::Simulator> device;
    CompletionWaiter completion;
};

TEST_F(Session, AWholeDownloadLandsInTheDeviceByteForByte) {
    startDevice();
    host.load(pattern(0x1100));
    auto run = connectedSession(smallRun());
    ASSERT_TRUE(run);
    DownloadSession& session = *run;
    session.startProtocol(completion.sink());
    ASSERT_EQ(completion.wait(), CompletionCommand::Success);
    session.finishProtocol();
    session.close();

    EXPECT_EQ(host.ctx.resultCode.load(), 0);
    EXPECT_FALSE(host.ctx.connected.load());
    EXPECT_FALSE(session.portOpen());
    const auto written = device->readMemory(0x100, 0x1000);
    EXPECT_TRUE(std::equal(written.begin(), written.end(), host.image.begin() + 0x100));
    EXPECT_EQ(completion.count(), 1u);
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(Session, PollsFasterThanTheLineEchoesThemStillStartCleanly) {
    devsim::Options options;
    options.rate = 9600; // an echo takes longer than the 1 ms between polls
    startDevice(std::move(options));
    host.load(pattern(0x1100));
    ProtocolParameters params = smallRun();
    params.Code63_2 = 0x4FF; // one block is enough at this rate
    auto run = connectedSession(params);
    ASSERT_TRUE(run);
    DownloadSession& session = *run;
    session.startProtocol(completion.sink());
    EXPECT_EQ(completion.wait(), CompletionCommand::Success)
        << "result " << host.ctx.resultCode.load();
    session.finishProtocol();
    session.close();
}

TEST_F(Session, RangesTheImageOrTheirOrderCannotServeNeverOpenTheLine) {
    startDevice();
    ProtocolParameters inverted = smallRun();
    inverted.Code63_1 = 0x1000;
    inverted.Code63_2 = 0x0FFF;
    const struct {
        const char* name;
        ProtocolParameters params;
        std::size_t imageLength;
        DownloadSession::Setup setup;
        int result;
    } cases[] = {
        {"image one byte short", smallRun(), 0x10FE, DownloadSession::Setup::FileLengthError,
         toInt(ResultCode::ImageTooShort)},
        {"first address above the last", inverted, 0x1100,
         DownloadSession::Setup::WriteRangeInverted, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        host.load(pattern(c.imageLength));
        host.ctx.resultCode = 0;
        host.ctx.elapsedSeconds = 42; // a previous run's time
        DownloadSession session(host);
        EXPECT_EQ(session.prepare(c.params, CommSettings{}), c.setup);
        EXPECT_EQ(host.ctx.resultCode.load(), c.result);
        if (c.result != 0) {
            EXPECT_EQ(host.ctx.elapsedSeconds.load(), 0u) << "the report shows this run's time";
        }
        EXPECT_FALSE(session.portOpen());
        EXPECT_FALSE(device->status().hostOpen);
    }

    host.load(pattern(0x10FF)); // exactly as long as the last address passes
    DownloadSession exact(host);
    EXPECT_EQ(exact.prepare(smallRun(), CommSettings{}), DownloadSession::Setup::Ready);
    exact.close();
}

TEST_F(Session, APortThatCannotBeOpenedSaysWhy) {
    host.load(pattern(0x1100));
    host.ctx.devicePath = "/dev/pexo-no-such-port";
    DownloadSession session(host);
    std::string why;
    EXPECT_EQ(session.prepare(smallRun(), CommSettings{}, &why),
              DownloadSession::Setup::PortOpenFailed);
    EXPECT_FALSE(why.empty());
    EXPECT_FALSE(session.portOpen());
}

TEST_F(Session, ASilentDeviceNeverConnectsAndClosingReleasesTheLine) {
    devsim::Options options;
    options.silent.add(devsim::Step::Connect);
    startDevice(std::move(options));
    host.load(pattern(0x1100));
    {
        DownloadSession session(host);
        ASSERT_EQ(session.prepare(smallRun(), CommSettings{}), DownloadSession::Setup::Ready);
        session.beginConnectPoll();
        for (int tick = 0; tick < 5; ++tick)
            EXPECT_FALSE(session.pollTick());
        ASSERT_TRUE(device->waitFor([](const devsim::Status& s) { return s.frameCount >= 5; },
                                    kDeadline));
        session.close();
        EXPECT_FALSE(host.ctx.connected.load());
    }
    EXPECT_TRUE(device->waitFor([](const devsim::Status& s) { return !s.hostOpen; }, kDeadline));
}

TEST_F(Session, EachFailingStepEndsWithItsResultAndTheLineClosed) {
    const std::pair<devsim::Step, ResultCode> cases[] = {
        {devsim::Step::Sector, ResultCode::SectorSizeMismatch},
        {devsim::Step::Erase, ResultCode::EraseError},
        {devsim::Step::Write, ResultCode::WriteError},
    };
    for (const auto& [step, expected] : cases) {
        SCOPED_TRACE(std::string(devsim::stepName(step)));
        SessionHost stepHost;
        devsim::Options options;
        options.fail = step;
        options.linger = 0ms;
        devsim::Simulator failing(std::move(options));
        ASSERT_TRUE(failing.start()) << failing.error();
        stepHost.ctx.devicePath = failing.slavePath();
        stepHost.load(pattern(0x1100));
        CompletionWaiter ended;

        DownloadSession session(stepHost);
        ASSERT_EQ(session.prepare(smallRun(), CommSettings{}), DownloadSession::Setup::Ready);
        ASSERT_TRUE(connect(session));
        session.startProtocol(ended.sink());
        EXPECT_EQ(ended.wait(), CompletionCommand::Failed);
        session.finishProtocol();
        session.close();
        EXPECT_EQ(stepHost.ctx.resultCode.load(), toInt(expected));
        EXPECT_FALSE(stepHost.ctx.connected.load());
    }
}

TEST_F(Session, AStopDuringTheWriteEndsTheRunWithoutACompletion) {
    devsim::Options options;
    options.rate = 9600; // about a millisecond a byte: the write lasts long enough to stop
    startDevice(std::move(options));
    host.load(pattern(0x1100));
    ProtocolParameters params = smallRun();
    params.Code30 = 20; // polls slower than the line echoes them
    auto run = connectedSession(params);
    ASSERT_TRUE(run);
    DownloadSession& session = *run;
    session.startProtocol(completion.sink());
    ASSERT_TRUE(device->waitFor(
        [](const devsim::Status& s) { return s.bytesReceived > 200; }, kDeadline))
        << "result " << host.ctx.resultCode.load();
    session.requestStop();
    EXPECT_TRUE(session.waitForProtocolEnd(kDeadline));
    session.finishProtocol();
    session.close();
    EXPECT_EQ(completion.count(), 0u);
    EXPECT_FALSE(host.ctx.connected.load());
}

TEST_F(Session, TheDeviceVanishingMidWriteIsASerialErrorNotAHang) {
    devsim::Options options;
    options.hangupAfter = 1500;
    startDevice(std::move(options));
    // A megabyte: far more than the line buffers, so writes go on after the hang-up.
    host.load(pattern(0x100000));
    ProtocolParameters params = smallRun();
    params.Code63_2 = 0xFFFFF;
    auto run = connectedSession(params);
    ASSERT_TRUE(run);
    DownloadSession& session = *run;
    session.startProtocol(completion.sink());
    EXPECT_EQ(completion.wait(), CompletionCommand::Failed);
    session.finishProtocol();
    session.close();
    EXPECT_EQ(host.ctx.resultCode.load(), toInt(ResultCode::SerialError));
    EXPECT_FALSE(host.ctx.commErrorText().empty());
}

TEST_F(Session, ClosingWithoutFinishingStillStopsTheThreadFirst) {
    startDevice();
    host.load(pattern(0x1100));
    {
        auto session = connectedSession(smallRun());
        ASSERT_TRUE(session);
        session->startProtocol(completion.sink());
        // The owner goes away mid-run: nothing may touch the closed port afterwards.
    }
    EXPECT_FALSE(host.ctx.connected.load());
    EXPECT_LE(completion.count(), 1u);
}

// A device that holds the line with XOFF mid-write (57600 baud: no write limit of its own).
TEST_F(Session, AWriteHeldByXoffEndsByStopOrByTheStepsTimeOut) {
    for (const bool stop : {true, false}) {
        SCOPED_TRACE(stop ? "stop" : "time-out");
        SessionHost held;
        devsim::Options options;
        options.xoffAfterBlocks = 1;
        options.linger = 0ms;
        devsim::Simulator holding(std::move(options));
        ASSERT_TRUE(holding.start()) << holding.error();
        held.ctx.devicePath = holding.slavePath();
        held.load(pattern(0x10000)); // far more than the line buffers
        ProtocolParameters params = smallRun();
        params.Code63_2 = 0xFFFF;
        params.Code51 = stop ? 30'000 : 300; // when stopping, only the stop ends it in time
        CommSettings comm;
        comm.Flow = 4; // XON/XOFF
        CompletionWaiter ended;

        DownloadSession session(held);
        ASSERT_EQ(session.prepare(params, comm), DownloadSession::Setup::Ready);
        ASSERT_TRUE(connect(session));
        session.startProtocol(ended.sink());
        if (stop) {
            SerialLink& link = *held.ctx.serialLink;
            ASSERT_TRUE(waitUntil(
                [&] {
                    std::lock_guard lock(link.mutex);
                    return holding.status().xoffSent && link.activeWriters > 0;
                },
                kDeadline));
            session.requestStop();
            EXPECT_TRUE(session.waitForProtocolEnd(kDeadline));
            EXPECT_EQ(ended.count(), 0u);
            EXPECT_EQ(held.ctx.resultCode.load(), 0);
        } else {
            EXPECT_EQ(ended.wait(), CompletionCommand::Failed);
            EXPECT_EQ(held.ctx.resultCode.load(), toInt(ResultCode::SerialError));
            long sent = -1;
            EXPECT_EQ(std::sscanf(held.ctx.commErrorText().c_str(),
                                  "Write Timeout: Total of %ld bytes sent", &sent),
                      1)
                << held.ctx.commErrorText();
        }
        session.finishProtocol();
        session.close();
        EXPECT_FALSE(held.ctx.connected.load());
    }
}

TEST_F(Session, APollOnAHeldLineIsNeitherWaitedForNorCounted) {
    PtyPair line;
    ASSERT_TRUE(line.ok());
    host.ctx.devicePath = line.path();
    host.load(pattern(0x1100));
    CommSettings comm;
    comm.Flow = 4;
    DownloadSession session(host);
    ASSERT_EQ(session.prepare(smallRun(), comm), DownloadSession::Setup::Ready);
    session.beginConnectPoll();
    ASSERT_TRUE(line.sendFromDevice({0x13}));
    ASSERT_TRUE(waitUntil([&] { return !line.portWritable(); }, kDeadline));

    auto ticks = std::async(std::launch::async, [&] {
        for (int i = 0; i < 10'000; ++i) // far past what the line could queue
            session.pollTick();
    });
    if (ticks.wait_for(kDeadline) != std::future_status::ready) {
        session.close(); // releases a writer that waits, or the future would wait forever
        FAIL() << "a poll tick waited for the held line";
    }
    EXPECT_EQ(line.bytesWaitingForDevice(), 0u);
    EXPECT_EQ(host.ctx.resultCode.load(), 0);

    ASSERT_TRUE(line.sendFromDevice({0x11})); // released: polls go out again
    ASSERT_TRUE(waitUntil([&] { return line.portWritable(); }, kDeadline));
    session.pollTick();
    EXPECT_EQ(line.receiveOnDevice(1, kDeadline), std::vector<std::uint8_t>{0xD6});
    session.close();
}

// Polls sent before the device was there are never echoed; the start must not wait for them.
TEST_F(Session, PollsTheDeviceNeverSawAreNotWaitedForBeforeTheFirstRequest) {
    devsim::Options options;
    options.deafPolls = 40;
    startDevice(std::move(options));
    host.load(pattern(0x1100));
    auto run = connectedSession(smallRun());
    ASSERT_TRUE(run);
    DownloadSession& session = *run;
    session.setEchoWaitLimit(std::chrono::minutes(10)); // only the echoes can end the wait
    session.startProtocol(completion.sink());
    EXPECT_EQ(completion.wait(), CompletionCommand::Success)
        << "result " << host.ctx.resultCode.load();
    session.finishProtocol();
    session.close();
}

// A UART's queue drains at the line rate: the reply time-out runs from the moment the port
// reports the request gone, not from when it was queued.
TEST_F(Session, TheReplyTimeOutStartsWhenTheQueueHasEmptied) {
    devsim::Options options;
    options.silent.add(devsim::Step::Sector);
    startDevice(std::move(options));
    host.load(pattern(0x1100));
    std::atomic<std::uint32_t> now{1000};
    std::atomic<bool> queueHeld{false};
    std::atomic<int> looks{0};
    host.ctx.serialLink = std::make_shared<SerialLink>();
    host.ctx.serialLink->outputPending = [&](int) -> std::size_t {
        if (!queueHeld.load())
            return 0;
        ++looks;
        return 2;
    };
    const ProtocolParameters params = smallRun(); // Code52: 5000 ms
    auto run = connectedSession(params, {}, [&] { return now.load(); });
    ASSERT_TRUE(run);
    DownloadSession& session = *run;
    queueHeld = true;
    session.startProtocol(completion.sink());
    ASSERT_TRUE(waitUntil([&] { return looks.load() > 0; }, kDeadline)) << "0x82 never queued";
    now = 1000 + 6000; // past the time-out, counted from the queueing
    queueHeld = false;
    ASSERT_TRUE(waitUntil([&] { return host.ctx.lastTxTick.load() == 7000; }, kDeadline))
        << "the time-out runs from " << host.ctx.lastTxTick.load();
    EXPECT_EQ(completion.count(), 0u);
    now = 7000 + 5001;
    EXPECT_EQ(completion.wait(), CompletionCommand::Failed);
    EXPECT_EQ(host.ctx.resultCode.load(), toInt(ResultCode::SectorSizeTimeout));
    session.finishProtocol();
    session.close();
}

} // namespace
} // namespace pexo::test
