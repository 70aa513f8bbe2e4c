// The engine's deadlines against a pass every tick: a run that passes only after a reply or at
// the deadline the engine names must send the same frames at the same ticks and end the same
// way, with about one pass per frame.
#include "FakeHost.h"
#include "ProtocolFakes.h"
#include "core/protocol/ProtocolEngine.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace pexo {
namespace {

using test::Bytes;
using test::FakeClock;
using test::FakeDevice;
using test::FakePort;

struct Outcome {
    std::vector<Bytes> frames;
    std::vector<std::uint32_t> frameTicks; // start and return of each write, in turn
    std::vector<std::pair<CompletionCommand, std::uint32_t>> completions;
    std::int32_t result = 0;
    std::size_t passes = 0;
};

// One engine with its host, port and device; replies reach the context between passes, or
// inside the write when `duringWrite`.
struct Rig {
    test::FakeHost host;
    FakeClock clock;
    FakePort port{&clock};
    FakeDevice device;
    Bytes pending;
    bool duringWrite = false;
    // Turns the device's answer to a frame into what it sends; may act on the context.
    std::function<Bytes(Rig&, const Bytes& frame, Bytes answer)> answer;
    Outcome outcome;
    std::unique_ptr<ProtocolEngine> engine;

    Rig() {
        test::prepareDefaultDownload(host.ctx());
        host.image = Bytes(0x200000, 0x3C);
        port.onWrite = [this](const Bytes& frame) {
            Bytes bytes = device.replyTo(frame);
            if (answer)
                bytes = answer(*this, frame, std::move(bytes));
            if (duringWrite)
                handleReceivedBytes(host.ctx(), bytes.data(), bytes.size());
            else
                pending.insert(pending.end(), bytes.begin(), bytes.end());
        };
    }

    void start() {
        engine = std::make_unique<ProtocolEngine>(
            host, port,
            [this](CompletionCommand c) { outcome.completions.emplace_back(c, clock.now.load()); },
            std::ref(clock));
    }
    bool pass() {
        Bytes bytes;
        bytes.swap(pending);
        handleReceivedBytes(host.ctx(), bytes.data(), bytes.size());
        engine->pass(clock.now);
        ++outcome.passes;
        return !engine->completed() && outcome.passes < 1'000'000;
    }

    Outcome everyTick() {
        start();
        while (pass())
            clock.advance(1);
        return finish();
    }

    // As the protocol thread waits: a reply wakes it (seen at the next tick, as above),
    // otherwise only the deadline does.
    Outcome byDeadlines() {
        start();
        while (pass()) {
            const std::optional<std::uint32_t> due = engine->nextDeadline(clock.now);
            if (pending.empty() && !due) {
                ADD_FAILURE() << "no deadline and nothing to wake the engine at tick "
                              << clock.now.load();
                break;
            }
            clock.advance(pending.empty() ? std::max<std::uint32_t>(*due, 1) : 1);
        }
        return finish();
    }

    Outcome finish() {
        for (const auto& f : port.frames()) {
            outcome.frames.push_back(f.bytes);
            outcome.frameTicks.push_back(f.startedAt);
            outcome.frameTicks.push_back(f.returnedAt);
        }
        outcome.result = host.ctx().resultCode.load();
        return outcome;
    }
};

struct Case {
    const char* name;
    std::function<void(Rig&)> setUp;
};

void blocks(Rig& rig, std::int32_t count) {
    rig.host.ctx().writeLastAddress = 0x6000 + count * 1024 - 1;
}

const Case kCases[] = {
    {"DefaultTwoMebibytes", [](Rig&) {}},
    {"PacedBlocks",
     [](Rig& r) {
         blocks(r, 6);
         r.host.ctx().txWaitSurplusTime = 1000;
         r.port.writeMs = 7;
     }},
    {"PacedAcrossTheTickWrap",
     [](Rig& r) {
         blocks(r, 3);
         r.host.ctx().txWaitSurplusTime = 1000;
         r.clock.now = 0xFFFFFFFFu - 1500;
     }},
    {"SectorTimeOutAcrossTheTickWrap",
     [](Rig& r) {
         r.device.silentStep = 0x82;
         r.clock.now = 0xFFFFFFFFu - 100;
     }},
    {"SectorTimeOutStampedAtTickZero",
     [](Rig& r) {
         r.device.silentStep = 0x82;
         r.clock.now = 0;
     }},
    {"EraseTimeOut",
     [](Rig& r) {
         r.device.silentStep = 0x85;
         r.port.writeMs = 3;
     }},
    {"WriteCompletionTimeOut",
     [](Rig& r) {
         blocks(r, 3);
         r.device.silentStep = 0x84;
         r.port.writeMs = 3;
     }},
    {"FullChecksumTimeOut",
     [](Rig& r) {
         test::prepareDefaultDownload(r.host.ctx(), true, 0x12345678);
         blocks(r, 2);
         r.device.silentStep = 0x89;
     }},
    {"RepliesDuringTheWrites",
     [](Rig& r) {
         blocks(r, 4);
         r.duringWrite = true;
     }},
    {"WriteCompletedEarly",
     [](Rig& r) {
         r.answer = [](Rig& rig, const Bytes& frame, Bytes answer) {
             return frame[0] == 0x83 && rig.device.blocks == 3 ? Bytes{0x82} : answer;
         };
     }},
    {"SerialFailureMidWrite",
     [](Rig& r) {
         r.answer = [](Rig& rig, const Bytes& frame, Bytes answer) {
             if (frame[0] == 0x83 && rig.device.blocks == 4)
                 rig.host.ctx().recordResult(10);
             return answer;
         };
     }},
    {"DeviceErrorReply",
     [](Rig& r) {
         r.answer = [](Rig&, const Bytes& frame, Bytes answer) {
             return frame[0] == 0x85 ? Bytes{0x88, 0x07} : answer;
         };
     }},
};

TEST(EngineDeadlines, PassingOnlyAtDeadlinesAndRepliesChangesNothingOnTheLine) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Rig tick;
        c.setUp(tick);
        const Outcome expected = tick.everyTick();
        Rig deadline;
        c.setUp(deadline);
        const Outcome actual = deadline.byDeadlines();

        ASSERT_EQ(expected.completions.size(), 1u);
        EXPECT_EQ(actual.completions, expected.completions);
        EXPECT_EQ(actual.result, expected.result);
        EXPECT_EQ(actual.frames.size(), expected.frames.size());
        EXPECT_TRUE(actual.frames == expected.frames);
        EXPECT_TRUE(actual.frameTicks == expected.frameTicks);
        // A pass per frame and per step change, one at each deadline: no idle wake-ups.
        EXPECT_LE(actual.passes, actual.frames.size() + 4) << "every tick: " << expected.passes;
    }
}

TEST(EngineDeadlines, NoneOnceCompletedOrWhileOnlyAReplyCanMoveTheRunOn) {
    Rig rig;
    blocks(rig, 1);
    rig.device.silentStep = 0x82;
    rig.start();
    EXPECT_EQ(rig.engine->nextDeadline(rig.clock.now), 0u); // the request is due
    rig.pass();
    EXPECT_EQ(rig.engine->nextDeadline(rig.clock.now), 301u); // Code52 300 ms, then one tick
    EXPECT_EQ(rig.engine->nextDeadline(rig.clock.now + 300), 1u);
    EXPECT_EQ(rig.engine->nextDeadline(rig.clock.now + 5000), 0u);
    rig.host.ctx().lastTxTick = 0; // a reply half accepted: its step change will tell
    EXPECT_EQ(rig.engine->nextDeadline(rig.clock.now + 5000), std::nullopt);
    rig.host.ctx().recordResult(1);
    EXPECT_EQ(rig.engine->nextDeadline(rig.clock.now), 0u);
    rig.pass();
    ASSERT_TRUE(rig.engine->completed());
    EXPECT_EQ(rig.engine->nextDeadline(rig.clock.now), std::nullopt);
}

} // namespace
} // namespace pexo
