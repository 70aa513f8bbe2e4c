#include "SoakJudge.h"

#include "core/protocol/ResultCode.h"

#include <algorithm>
#include <sstream>

namespace pexo::soak {
namespace {

constexpr std::int32_t kNormal = toInt(ResultCode::None);
constexpr std::int32_t kSerial = toInt(ResultCode::SerialError);

Expectation success(std::string why) {
    return {{Ending::Success}, {kNormal}, std::move(why)};
}

Expectation failure(std::vector<std::int32_t> results, std::string why) {
    return {{Ending::Failed}, std::move(results), std::move(why)};
}

// The line goes down once the device has received byte N of the host's stream: the polls,
// then 0x82 (2 bytes), 0x85 (6), the blocks, 0x84 (5) and 0x86 (1) or 0x89 (5). The device
// answers nothing it owes for those N bytes. The host learns of the hang-up only when it
// next touches the line: a write, or the wait for a write to leave, fails (result 10). If
// it sends nothing more before it waits for a reply, that step's time-out ends the run
// instead, and which comes first is a race between the device's hang-up and the host's
// next write. So, by where byte N falls:
//   - in the polls: 10 (the host always writes again: the next poll, or 0x82 once it has
//     seen an echo), at the connect poll or as the protocol's result;
//   - in 0x82: 1 or 10; in 0x85: 2 or 10;
//   - in a block or 0x84: 3 or 10 (blocks and 0x84 go out without a reply in between, so
//     the host may already have written them all when the line goes down);
//   - in 0x86 / 0x89: 4 or 10;
//   - past the last byte: the line never goes down during the run: a normal end.
// Where the polls end is known only afterwards: the device counts the polls it received.
Expectation hangupEnding(const RunPlan& plan, const Observation& o) {
    const auto n = static_cast<std::int64_t>(plan.hangupAfter);
    const std::int64_t k = n - static_cast<std::int64_t>(o.pollsSeen);
    const std::int64_t blocksEnd = 8 + std::int64_t{plan.blocks} * blockFrameBytes(plan);
    const std::int64_t end = blocksEnd + 5 + checksumFrameBytes(plan);
    std::ostringstream why;
    why << "line down at byte " << n << ", " << o.pollsSeen << " polls seen: ";
    if (k <= 0) {
        why << "in the polls";
        return {{Ending::ConnectFailed, Ending::Failed}, {kSerial}, why.str()};
    }
    if (k <= 2) {
        why << "in 0x82";
        return failure({toInt(ResultCode::SectorSizeTimeout), kSerial}, why.str());
    }
    if (k <= 8) {
        why << "in 0x85";
        return failure({toInt(ResultCode::EraseTimeout), kSerial}, why.str());
    }
    if (k <= blocksEnd) {
        why << "in block " << (k - 9) / blockFrameBytes(plan) + 1 << " of " << plan.blocks;
        return failure({toInt(ResultCode::WriteCompletionTimeout), kSerial}, why.str());
    }
    if (k <= blocksEnd + 5) {
        why << "in 0x84";
        return failure({toInt(ResultCode::WriteCompletionTimeout), kSerial}, why.str());
    }
    if (k <= end) {
        why << "in the checksum request";
        return failure({toInt(ResultCode::ChecksumTimeout), kSerial}, why.str());
    }
    why << "past the end";
    return success(why.str());
}

bool contains(const auto& list, const auto& value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

std::string ms(Ms t) {
    return std::to_string(t.count()) + " ms";
}

} // namespace

std::string Expectation::describe() const {
    std::ostringstream s;
    for (std::size_t i = 0; i < endings.size(); ++i)
        s << (i ? " or " : "") << endingName(endings[i]);
    s << ", result ";
    for (std::size_t i = 0; i < results.size(); ++i)
        s << (i ? " or " : "") << results[i];
    s << " (" << why << ")";
    return s.str();
}

std::uint32_t blocksKept(const RunPlan& plan) {
    switch (plan.fault) {
    case Fault::None:
    case Fault::DeafPolls:
        return plan.blocks;
    case Fault::CompleteEarly:
        return static_cast<std::uint32_t>(plan.completeEarly);
    default:
        return 0;
    }
}

Expectation expectedEnding(const RunPlan& plan, const Observation& o) {
    switch (plan.fault) {
    case Fault::None:
        return success("no fault");
    case Fault::DeafPolls:
        return success("connects at the first echoed poll");
    case Fault::FailSector:
    case Fault::SectorCode:
        return failure({toInt(ResultCode::SectorSizeMismatch)}, "another sector size code");
    case Fault::FailErase:
        return failure({toInt(ResultCode::EraseError)}, "erase refused");
    case Fault::FailWrite:
        return failure({toInt(ResultCode::WriteError)}, "first block refused");
    case Fault::FailChecksum:
        return failure({toInt(ResultCode::FullChecksumMismatch)}, "the device's sum differs");
    case Fault::SilentConnect:
    case Fault::GarbageConnect:
        return {{Ending::NoEcho}, {kNormal}, "never echoes: the poll gives up at its deadline"};
    case Fault::SilentSector:
        return failure({toInt(ResultCode::SectorSizeTimeout)}, "no reply to 0x82");
    case Fault::SilentErase:
        return failure({toInt(ResultCode::EraseTimeout)}, "no reply to 0x85");
    case Fault::SilentWrite:
        return failure({toInt(ResultCode::WriteCompletionTimeout)}, "no reply to 0x84");
    case Fault::SilentChecksum:
        return failure({toInt(ResultCode::ChecksumTimeout)}, "no reply to the checksum request");
    case Fault::GarbageSector:
    case Fault::GarbageErase:
    case Fault::GarbageWrite:
    case Fault::GarbageChecksum:
        return failure({toInt(ResultCode::ProtocolError)}, "a reply that fits no rule");
    case Fault::Hangup:
        return hangupEnding(plan, o);
    case Fault::Xoff:
        // The line stops the host's next write, which ends at the write step's time-out. After
        // the last block only 0x84 is left, and it follows the block at once, with no pause for
        // the XOFF to arrive in: it may be on its way already, and then it meets no XOFF and
        // the device, reading no more, leaves it unanswered (result 3).
        if (plan.xoffAfter < plan.blocks)
            return failure({kSerial}, "the held write ends at the write time-out");
        return failure({toInt(ResultCode::WriteCompletionTimeout), kSerial},
                       "XOFF after the last block: 0x84 is held, or gone unanswered");
    case Fault::CompleteEarly:
        if (plan.fullChecksum &&
            blockSum(plan, 0, static_cast<std::uint32_t>(plan.completeEarly)) != plan.imageSum)
            return failure({toInt(ResultCode::FullChecksumMismatch)},
                           "the device summed only the blocks it kept");
        return success("the checksum step follows the early completion");
    }
    return {};
}

Judgement judge(const RunPlan& plan, const Observation& o) {
    Judgement j;
    j.expected = expectedEnding(plan, o);
    auto wrong = [&](std::string text) {
        j.wrong = true;
        j.problems.push_back(std::move(text));
    };

    if (o.ending == Ending::SetupFailed) {
        wrong("set-up failed: " + o.setupError);
        return j;
    }
    if (o.ending == Ending::Hang) {
        j.hang = true;
        j.problems.push_back("no ending within " + ms(plan.hangLimit));
    } else if (!contains(j.expected.endings, o.ending) || !contains(j.expected.results, o.result)) {
        wrong("wrong ending");
    } else if (o.elapsed > plan.bound) {
        j.late = true;
        j.problems.push_back("ended after " + ms(o.elapsed) + ", bound " + ms(plan.bound));
    }

    const bool started =
        o.ending == Ending::Success || o.ending == Ending::Failed || o.ending == Ending::Aborted;
    if (started && o.completions != 1)
        wrong(std::to_string(o.completions) + " completion commands");
    if (!started && o.ending != Ending::Hang && o.completions != 0)
        wrong("a completion command without a protocol run");
    if (o.connectedAfter || o.portOpenAfter)
        wrong("the port was left open");

    // A time-out that fired early would be as wrong as one that never fires.
    if (o.result >= 1 && o.result <= 4) {
        const Ms timeout(plan.timeouts[static_cast<std::size_t>(o.result - 1)]);
        if (o.elapsed < timeout)
            wrong("time-out result after " + ms(o.elapsed) + ", sooner than its " + ms(timeout));
    }
    if (plan.fault == Fault::Xoff && o.result == kSerial) {
        if (o.commError.rfind("Write Timeout", 0) != 0)
            wrong("held write reported as \"" + o.commError + "\"");
        if (o.elapsed < Ms(plan.timeouts[kWriteTimeout]))
            wrong("held write ended after " + ms(o.elapsed) + ", before the write time-out");
    }
    if (o.ending == Ending::Success) {
        if (!o.memoryMatches)
            wrong("the device's memory differs from the image");
        if (!plan.fullChecksum) {
            const std::uint32_t kept = blockSum(plan, 0, blocksKept(plan));
            if (blocksKept(plan) != 0 && o.deviceChecksum != kept)
                wrong("device checksum " + std::to_string(o.deviceChecksum) + ", expected " +
                      std::to_string(kept));
        }
    }
    if (plan.fault == Fault::CompleteEarly && o.framesAfterChecksumRequest != 0)
        wrong(std::to_string(o.framesAfterChecksumRequest) +
              " write frames sent after the checksum request");

    if (o.fdsAfter != o.fdsBefore || o.tasksAfter != o.tasksBefore) {
        j.leak = true;
        j.problems.push_back("descriptors " + std::to_string(o.fdsBefore) + " -> " +
                             std::to_string(o.fdsAfter) + ", threads " +
                             std::to_string(o.tasksBefore) + " -> " + std::to_string(o.tasksAfter));
    }
    return j;
}

std::string describeOutcome(const Observation& o) {
    std::ostringstream s;
    s << endingName(o.ending) << ", result " << o.result;
    if (!o.commError.empty())
        s << " (" << o.commError << ")";
    s << ", after " << o.elapsed.count() << " ms; device: " << o.pollsSeen << " polls, "
      << o.bytesReceived << " bytes" << (o.hungUp ? ", hung up" : "");
    return s.str();
}

} // namespace pexo::soak
