// The port machine driven by a fake clock over a scripted port: no threads, no waiting.
#include "core/station/PortMachine.h"

#include <deque>
#include <gtest/gtest.h>

namespace pexo {
namespace {

using namespace std::chrono_literals;
using Time = StationClock::TimePoint;

class FakeClock : public StationClock {
public:
    TimePoint now() const override { return now_; }
    WallTime wallNow() const override { return WallTime{} + (now_ - TimePoint{}); }
    void setNow(TimePoint t) { now_ = t; }

private:
    TimePoint now_{std::chrono::hours(1)};
};

// A port whose device echoes every poll at once while it is there, and whose downloads end
// with the results queued (one that has none runs until stopped).
class FakePort : public StationPort {
public:
    bool pathThere = true;
    bool deviceThere = false;
    std::deque<std::int32_t> results;
    int opens = 0;
    int downloads = 0;
    bool open_ = false;

    bool present() const override { return pathThere; }
    Open open(std::string& why, TryOutcome&) override {
        ++opens;
        if (!pathThere) {
            why = "cannot open /dev/ttyFAKE: No such file or directory";
            return Open::Unavailable;
        }
        open_ = true;
        return Open::Ready;
    }
    void close() override { open_ = false; }
    void beginPolling() override {}
    void pollTick() override {
        EXPECT_TRUE(open_);
        if (deviceThere && pathThere)
            ++echoes_;
    }
    std::uint64_t echoCount() const override { return echoes_; }
    std::chrono::milliseconds pollInterval() const override { return 20ms; }
    std::optional<TryOutcome> lineFailure() const override { return std::nullopt; }
    void startDownload(std::function<void()>) override {
        EXPECT_TRUE(open_);
        ++downloads;
        ended_ = !results.empty();
        if (ended_) {
            result_ = results.front();
            results.pop_front();
        }
    }
    bool downloadEnded() const override { return ended_; }
    TryOutcome finishDownload() override {
        TryOutcome outcome;
        outcome.end = ended_ ? TryOutcome::End::Completed : TryOutcome::End::Cancelled;
        outcome.resultCode = result_;
        outcome.lines = {result_ == 0 ? "normal end." : "Erase Error."};
        if (result_ == 0)
            outcome.deviceChecksum = 0x1234;
        return outcome;
    }
    TryProgress progress() const override { return {}; }

private:
    std::uint64_t echoes_ = 0;
    bool ended_ = false;
    std::int32_t result_ = 0;
};

class Rig : public PortEvents {
public:
    explicit Rig(PortPlan plan)
        : machine(
              port, clock, plan, *this, base(), "/dev/ttyFAKE",
              [](const std::string& path) {
                  return PortIdentity{path, {}, {}, {}};
              },
              [] {}) {}

    static DownloadRecord base() {
        DownloadRecord record;
        record.port = "COM1";
        return record;
    }

    void changed(const PortSnapshot& snapshot) override {
        if (states.empty() || states.back() != snapshot.state)
            states.push_back(snapshot.state);
    }
    bool recorded(const DownloadRecord& record) override {
        records.push_back(record);
        return keepRecords;
    }
    void message(const std::string& text) override { messages.push_back(text); }

    // Runs the machine from deadline to deadline until `done` holds (false when it ended or
    // `limit` of its time passed first).
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 60s) {
        const Time end = clock.now() + limit;
        while (!done()) {
            const std::optional<Time> due = machine.advance();
            if (done())
                return true;
            if (!due || *due > end)
                return false;
            clock.setNow(std::max(clock.now(), *due));
        }
        return true;
    }
    PortState state() const { return machine.snapshot().state; }

    FakeClock clock;
    FakePort port;
    std::vector<DownloadRecord> records;
    std::vector<PortState> states;
    std::vector<std::string> messages;
    bool keepRecords = true;
    PortMachine machine;
};

PortPlan loop(unsigned count, unsigned retries = 0) {
    PortPlan plan;
    plan.loop = true;
    plan.count = count;
    plan.retries = retries;
    plan.goneAfter = 2000ms;
    return plan;
}

TEST(PortMachine, FlashesADeviceWaitsUntilItHasGoneThenFlashesTheNext) {
    Rig rig(loop(2));
    rig.port.results = {0, 0};
    ASSERT_FALSE(rig.runUntil([&] { return rig.port.downloads > 0; }, 5s)) << "no device yet";
    EXPECT_EQ(rig.state(), PortState::WaitingForDevice);

    rig.port.deviceThere = true;
    ASSERT_TRUE(rig.runUntil([&] { return rig.state() == PortState::WaitingForRemoval; }));
    ASSERT_EQ(rig.records.size(), 1u);
    EXPECT_EQ(rig.records[0].result, 0);
    EXPECT_EQ(rig.records[0].attempt, 1u);
    EXPECT_EQ(rig.records[0].port, "COM1");
    EXPECT_EQ(rig.records[0].identity.device, "/dev/ttyFAKE");
    EXPECT_EQ(rig.records[0].deviceChecksum, 0x1234u);

    // Unplugged: it counts as gone only after gone-after of silence.
    rig.port.deviceThere = false;
    const Time removed = rig.clock.now();
    ASSERT_TRUE(rig.runUntil([&] { return rig.state() == PortState::WaitingForDevice; }));
    EXPECT_GE(rig.clock.now() - removed, 2000ms - 20ms);
    EXPECT_LE(rig.clock.now() - removed, 2000ms + 40ms);

    rig.port.deviceThere = true;
    ASSERT_TRUE(rig.runUntil([&] { return rig.machine.ended(); }));
    EXPECT_EQ(rig.port.downloads, 2);
    const PortSummary summary = rig.machine.summary();
    EXPECT_EQ(summary.end, PortEnd::Done);
    EXPECT_EQ(summary.passed, 2u);
    EXPECT_EQ(summary.failed, 0u);
    EXPECT_FALSE(summary.firstFailedResult);
    EXPECT_FALSE(rig.port.open_) << "the port is closed at the end";
    const std::vector<PortState> expected{PortState::WaitingForDevice, PortState::Downloading,
                                          PortState::Recording,        PortState::WaitingForRemoval,
                                          PortState::WaitingForDevice, PortState::Downloading,
                                          PortState::Recording,        PortState::Ended};
    EXPECT_EQ(rig.states, expected);
}

TEST(PortMachine, ADeviceThatStaysIsNeverFlashedAgain) {
    Rig rig(loop(0));
    rig.port.results = {0, 0};
    rig.port.deviceThere = true;
    EXPECT_FALSE(rig.runUntil([&] { return rig.port.downloads > 1; }, 10min));
    EXPECT_EQ(rig.port.downloads, 1);
    EXPECT_EQ(rig.state(), PortState::WaitingForRemoval);
}

TEST(PortMachine, RetriesTheSameDeviceUpToTheLimitAndRecordsEachTry) {
    const struct {
        const char* name;
        unsigned retries;
        std::deque<std::int32_t> results;
        std::vector<unsigned> attempts;
        unsigned passed, failed;
    } cases[] = {
        {"fails every try", 2, {6, 6, 6, 6}, {1, 2, 3}, 0, 1},
        {"mended by the second try", 2, {6, 0}, {1, 2}, 1, 0},
        {"no retries", 0, {3}, {1}, 0, 1},
        {"a too short image is not tried again", 2, {8}, {1}, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PortPlan plan;
        plan.retries = c.retries;
        Rig rig(plan);
        rig.port.results = c.results;
        rig.port.deviceThere = true;
        ASSERT_TRUE(rig.runUntil([&] { return rig.machine.ended(); }));
        ASSERT_EQ(rig.records.size(), c.attempts.size());
        for (std::size_t i = 0; i < c.attempts.size(); ++i) {
            EXPECT_EQ(rig.records[i].attempt, c.attempts[i]);
            EXPECT_EQ(rig.records[i].result, c.results[i]);
        }
        const PortSummary summary = rig.machine.summary();
        EXPECT_EQ(summary.passed, c.passed);
        EXPECT_EQ(summary.failed, c.failed);
        EXPECT_EQ(summary.end, PortEnd::Done);
        EXPECT_EQ(rig.port.opens, static_cast<int>(c.attempts.size()));
        if (c.failed) {
            EXPECT_EQ(summary.firstFailedResult, c.results.front());
        }
    }
}

TEST(PortMachine, ADeviceThatGoesBeforeItsRetryCountsAsFailedAndTheNextOneIsFresh) {
    Rig rig(loop(1, 3));
    rig.port.results = {6, 0};
    rig.port.deviceThere = true;
    ASSERT_TRUE(rig.runUntil([&] { return rig.records.size() == 1; }));
    rig.port.deviceThere = false;
    ASSERT_TRUE(rig.runUntil([&] { return rig.machine.snapshot().failed == 1; }));
    rig.port.deviceThere = true;
    ASSERT_TRUE(rig.runUntil([&] { return rig.machine.ended(); }));
    ASSERT_EQ(rig.records.size(), 2u);
    EXPECT_EQ(rig.records[1].attempt, 1u) << "a new device starts counting again";
    EXPECT_EQ(rig.records[1].result, 0);
}

TEST(PortMachine, AVanishedPortIsWaitedForAndReopenedAndItsDeviceCountsAsGone) {
    Rig rig(loop(2, 2));
    rig.port.results = {10, 0};
    rig.port.deviceThere = true;
    // The adapter is pulled mid-download: the serial error is recorded, not retried.
    ASSERT_TRUE(rig.runUntil([&] { return rig.port.downloads == 1; }));
    rig.port.pathThere = false;
    ASSERT_TRUE(rig.runUntil([&] { return rig.state() == PortState::WaitingForPort; }));
    ASSERT_EQ(rig.records.size(), 1u);
    EXPECT_EQ(rig.records[0].result, 10);
    EXPECT_EQ(rig.machine.snapshot().failed, 1u);
    const int opensWhileGone = rig.port.opens;
    EXPECT_FALSE(rig.runUntil([&] { return rig.port.downloads > 1; }, 10s));
    EXPECT_EQ(rig.port.opens, opensWhileGone) << "a missing path is not opened";
    ASSERT_EQ(rig.messages.size(), 0u);

    // Back, with a device on it: flashed at once, without waiting for the old one to go.
    rig.port.pathThere = true;
    const Time back = rig.clock.now();
    ASSERT_TRUE(rig.runUntil([&] { return rig.records.size() == 2; }));
    EXPECT_LT(rig.clock.now() - back, 2000ms);
    EXPECT_EQ(rig.records[1].result, 0);
    EXPECT_EQ(rig.records[1].attempt, 1u);
}

TEST(PortMachine, AStopCancelsTheDownloadInProgressAndRecordsIt) {
    Rig rig(loop(0));
    rig.port.deviceThere = true; // no result queued: the download runs until stopped
    ASSERT_TRUE(rig.runUntil([&] { return rig.state() == PortState::Downloading; }));
    rig.machine.stop(PortMachine::Stop::Now);
    rig.machine.advance();
    ASSERT_TRUE(rig.machine.ended());
    ASSERT_EQ(rig.records.size(), 1u);
    EXPECT_FALSE(rig.records[0].result) << "cancelled";
    const PortSummary summary = rig.machine.summary();
    EXPECT_EQ(summary.end, PortEnd::Stopped);
    EXPECT_EQ(summary.passed + summary.failed, 0u);
    EXPECT_FALSE(summary.firstFailureAt);
}

TEST(PortMachine, ARecordThatCannotBeKeptEndsThePortAfterItsDownload) {
    Rig rig(loop(0));
    rig.keepRecords = false;
    rig.port.results = {0, 0};
    rig.port.deviceThere = true;
    ASSERT_TRUE(rig.runUntil([&] { return rig.machine.ended(); }));
    EXPECT_EQ(rig.port.downloads, 1);
    EXPECT_EQ(rig.machine.summary().end, PortEnd::RecordFailed);
    EXPECT_EQ(rig.machine.summary().passed, 1u) << "the device itself was flashed";
}

TEST(PortMachine, EndsWithoutADeviceWhenTheConnectTimeoutPasses) {
    PortPlan plan;
    plan.connectTimeout = 300ms;
    Rig rig(plan);
    const Time start = rig.clock.now();
    ASSERT_TRUE(rig.runUntil([&] { return rig.machine.ended(); }));
    EXPECT_EQ(rig.machine.summary().end, PortEnd::ConnectTimeout);
    EXPECT_GE(rig.clock.now() - start, 300ms);
    EXPECT_LT(rig.clock.now() - start, 400ms);
}

TEST(PortMachine, APortMissingAtTheStartIsASetUpFailure) {
    Rig rig(loop(0));
    rig.port.pathThere = false;
    ASSERT_TRUE(rig.runUntil([&] { return rig.machine.ended(); }));
    EXPECT_EQ(rig.machine.summary().end, PortEnd::SetupFailed);
    ASSERT_EQ(rig.messages.size(), 1u);
    EXPECT_NE(rig.messages[0].find("RS232C connection failed."), std::string::npos);
}

} // namespace
} // namespace pexo
