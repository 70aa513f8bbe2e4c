#include "SoakPlan.h"

#include <algorithm>
#include <random>
#include <sstream>

namespace pexo::soak {
namespace {

constexpr std::array<std::string_view, kFaultCount> kFaultNames = {
    "none",           "fail-sector",   "fail-erase",      "fail-write",
    "fail-checksum",  "sector-code",   "silent-connect",  "silent-sector",
    "silent-erase",   "silent-write",  "silent-checksum", "garbage-connect",
    "garbage-sector", "garbage-erase", "garbage-write",   "garbage-checksum",
    "hangup",         "xoff",          "deaf-polls",      "complete-early",
};

// The host line's rate: at 57600 baud a write has no time limit of its own, so a line held
// by XOFF is ended by the write step's reply time-out.
constexpr std::int32_t kBaud57600 = 11;
constexpr std::uint32_t kHostBaud = 57600;
constexpr std::int32_t kXonXoff = 4;

// Reply time-outs before the line time is added; replies are delayed at most to this much
// less than the shortest, which leaves the scheduler room on a busy machine.
constexpr std::int32_t kTimeoutMin = 150;
constexpr std::int32_t kTimeoutMax = 300;
constexpr std::int32_t kDelayHeadroom = 100;
// The session starts once the echoes have stopped for this long and a poll period.
constexpr Ms kQuietAfterEchoes{50};
constexpr std::array<std::uint32_t, 4> kRates = {115200, 230400, 460800, 921600};

std::uint64_t splitmix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// Draws from the generator by plain arithmetic, so that a seed replays alike everywhere.
class Draw {
public:
    explicit Draw(std::uint64_t seed) : rng_(splitmix(seed)) {}
    std::uint64_t below(std::uint64_t n) { return n == 0 ? 0 : rng_() % n; }
    std::int64_t between(std::int64_t lo, std::int64_t hi) {
        return lo + static_cast<std::int64_t>(below(static_cast<std::uint64_t>(hi - lo + 1)));
    }
    bool chance(unsigned percent) { return below(100) < percent; }
    double unit() { return static_cast<double>(rng_() >> 11) / 9007199254740992.0; }
    std::uint8_t byte() { return static_cast<std::uint8_t>(rng_() >> 56); }

private:
    std::mt19937_64 rng_;
};

// Each round of kFaultCount runs meets every fault once, in an order of its own.
Fault roundFault(std::uint64_t seed, std::uint64_t run) {
    std::array<Fault, kFaultCount> order;
    for (std::size_t i = 0; i < kFaultCount; ++i)
        order[i] = static_cast<Fault>(i);
    Draw draw(seed ^ splitmix(run / kFaultCount + 0x5eed));
    for (std::size_t i = kFaultCount - 1; i > 0; --i)
        std::swap(order[i], order[draw.below(i + 1)]);
    return order[run % kFaultCount];
}

// The time-out that may end the run: the silent step's, the write step's for a held line,
// any step's for a hang-up; 0 when no time-out ends it.
std::int32_t endingTimeout(const RunPlan& plan) {
    switch (plan.fault) {
    case Fault::SilentSector:
        return plan.timeouts[kSectorTimeout];
    case Fault::SilentErase:
        return plan.timeouts[kEraseTimeout];
    case Fault::SilentWrite:
    case Fault::Xoff:
        return plan.timeouts[kWriteTimeout];
    case Fault::SilentChecksum:
        return plan.timeouts[kChecksumTimeout];
    case Fault::Hangup:
        return *std::max_element(plan.timeouts.begin(), plan.timeouts.end());
    default:
        return 0;
    }
}

// Bytes the host sends after its polls when the run goes through to the end.
std::uint64_t protocolBytes(const RunPlan& plan) {
    return 2 + 6 + std::uint64_t{plan.blocks} * blockFrameBytes(plan) + 5 +
           checksumFrameBytes(plan);
}

// A byte where the line goes down: first a place in the run (the polls, each request, a
// block, or past the end), then a byte within it, so that every step is met often although
// the blocks hold nearly all the bytes. Counted as if the host sent two polls (it usually
// does); where the byte truly fell is judged after the run from what the device received.
std::uint64_t drawHangupByte(Draw& draw, const RunPlan& plan) {
    constexpr std::uint64_t kPolls = 2;
    const std::uint64_t block = blockFrameBytes(plan);
    const std::uint64_t blocksStart = kPolls + 2 + 6;
    const std::uint64_t blocksEnd = blocksStart + plan.blocks * block;
    switch (draw.below(9)) {
    case 0:
        return 1 + draw.below(kPolls);
    case 1:
        return kPolls + 1 + draw.below(2);
    case 2:
        return kPolls + 2 + 1 + draw.below(6);
    case 3:
    case 4:
    case 5:
        return blocksStart + draw.below(plan.blocks) * block + 1 + draw.below(block);
    case 6:
        return blocksEnd + 1 + draw.below(5);
    case 7:
        return blocksEnd + 5 + 1 + draw.below(checksumFrameBytes(plan));
    default:
        return kPolls + protocolBytes(plan) + 1 + draw.below(3);
    }
}

Ms msCeil(std::uint64_t numerator, std::uint64_t denominator) {
    return Ms((numerator + denominator - 1) / denominator);
}

} // namespace

std::string_view faultName(Fault fault) {
    return kFaultNames[static_cast<std::size_t>(fault)];
}

std::optional<Fault> parseFault(std::string_view name) {
    for (std::size_t i = 0; i < kFaultCount; ++i)
        if (kFaultNames[i] == name)
            return static_cast<Fault>(i);
    return std::nullopt;
}

std::uint32_t blockFrameBytes(const RunPlan& plan) {
    return 4 + plan.blockSize;
}

std::uint32_t checksumFrameBytes(const RunPlan& plan) {
    return plan.fullChecksum ? 5 : 1;
}

Ms lineTime(const RunPlan& plan, std::uint64_t bytes) {
    return plan.rate == 0 ? Ms(0) : msCeil(bytes * 10'000, plan.rate);
}

std::uint32_t blockSum(const RunPlan& plan, std::uint32_t first, std::uint32_t last) {
    std::uint32_t sum = 0;
    for (std::uint32_t b = first; b < last; ++b) {
        const std::uint64_t from = static_cast<std::uint64_t>(plan.writeFirst) + b * plan.blockSize;
        for (std::uint64_t a = from; a < from + plan.blockSize && a < plan.image.size(); ++a)
            sum += plan.image[a];
    }
    return sum;
}

Ms echoWaitBound(const RunPlan& plan) {
    // DownloadSession gives up waiting for outstanding echoes after 500 ms plus the time two
    // bytes a poll take on the host's line, 2 s at most; it never polls past the deadline.
    const std::uint64_t polls = plan.connectDeadline.count() / plan.pollInterval + 2;
    return std::min(Ms(2000), Ms(500) + msCeil(2 * polls * 10'000, kHostBaud));
}

RunPlan drawPlan(std::uint64_t seed, std::uint64_t run, std::optional<Fault> fault) {
    RunPlan plan;
    plan.seed = seed;
    plan.run = run;
    plan.fault = fault ? *fault : roundFault(seed, run);
    Draw draw(seed ^ splitmix(run));
    const Fault f = plan.fault;

    plan.sectorCode = static_cast<std::uint8_t>(draw.between(1, 4));
    plan.blockSize = 128u << (plan.sectorCode - 1);
    plan.blocks = static_cast<std::uint32_t>(draw.between(f == Fault::CompleteEarly ? 2 : 1, 6));
    plan.writeFirst = static_cast<std::int32_t>(draw.below(0x4000));
    // The write step ends with the first block whose end reaches the last address.
    plan.writeLast =
        plan.writeFirst + static_cast<std::int32_t>((plan.blocks - 1) * plan.blockSize +
                                                    draw.between(1, plan.blockSize));
    plan.image.resize(static_cast<std::size_t>(plan.writeLast) + draw.below(plan.blockSize + 1));
    for (auto& b : plan.image)
        b = draw.byte();
    plan.imageSum = blockSum(plan, 0, plan.blocks);
    plan.fullChecksum = f == Fault::FailChecksum || draw.chance(50);

    // Mostly quick polls; now and then a slow prompt, whose echoes a delayed device still
    // answers after the next poll has gone out.
    const bool slowPolls = draw.chance(20);
    plan.pollInterval =
        static_cast<std::int32_t>(slowPolls ? draw.between(20, 120) : draw.between(1, 5));
    // XOFF reaches the host within the pause before the next block, as on a real line.
    plan.pacing =
        static_cast<std::int32_t>(f == Fault::Xoff ? draw.between(20, 30) : draw.between(1, 5));
    const bool quietLine = f == Fault::Hangup || f == Fault::Xoff;
    plan.rate = quietLine || draw.chance(70) ? 0 : kRates[draw.below(kRates.size())];

    std::array<std::int32_t, 4> base{};
    for (auto& t : base)
        t = static_cast<std::int32_t>(draw.between(kTimeoutMin, kTimeoutMax));
    // A held line ends at the write time-out: long enough here that waiting it out twice
    // cannot hide in the bound's margin.
    if (f == Fault::Xoff)
        base[kWriteTimeout] =
            static_cast<std::int32_t>(draw.between(2 * kTimeoutMin, kTimeoutMax + 150));
    const std::int32_t shortest = *std::min_element(base.begin(), base.end());
    // A hang-up drops the answers still owed, which would blur which step it met.
    if (f != Fault::Hangup && draw.chance(50)) {
        const double u = draw.unit();
        plan.replyDelay = Ms(1 + static_cast<std::int64_t>((shortest - kDelayHeadroom) * u * u));
    }

    if (f == Fault::DeafPolls)
        plan.deafPolls = static_cast<unsigned>(draw.between(1, slowPolls ? 5 : 40));
    if (f == Fault::SectorCode) {
        plan.answeredCode = static_cast<std::uint8_t>(draw.between(1, 6));
        if (plan.answeredCode >= plan.sectorCode)
            ++plan.answeredCode; // any valid code but the one asked for
    }
    if (f == Fault::Xoff)
        plan.xoffAfter = static_cast<std::uint64_t>(draw.between(1, plan.blocks));
    if (f == Fault::CompleteEarly)
        plan.completeEarly = static_cast<std::uint64_t>(draw.between(1, plan.blocks - 1));

    const Ms connect = Ms((plan.deafPolls + 2) * plan.pollInterval) + plan.replyDelay;
    plan.connectDeadline = Ms(150) + 3 * connect;
    if (f == Fault::Hangup)
        plan.hangupAfter = drawHangupByte(draw, plan);

    // Every time-out covers the whole run's bytes on the line: the pty takes the host's
    // writes at once, so a reply can wait behind everything sent before it.
    const std::uint64_t polls = plan.connectDeadline.count() / plan.pollInterval + 2;
    const Ms line = lineTime(plan, polls + protocolBytes(plan) + 16);
    for (std::size_t i = 0; i < 4; ++i)
        plan.timeouts[i] = base[i] + static_cast<std::int32_t>(line.count());

    // The bound: the polls until the echo (for a device that never echoes, the deadline),
    // the wait for the last echoes, an answer's delay at each of the four requests, the pauses
    // between blocks, the line time, and one time-out where the fault may end the run with
    // one; then a margin for a busy machine.
    const bool neverConnects = f == Fault::SilentConnect || f == Fault::GarbageConnect;
    Ms bound = plan.connectDeadline + Ms(plan.pollInterval); // seen after a poll period
    if (!neverConnects) {
        // Each poll period may overrun by a tick; echoes lost to a hang-up are waited for
        // until the session's limit, the others come within the delay.
        bound = Ms((plan.deafPolls + 2) * (plan.pollInterval + 1)) + plan.replyDelay;
        bound += f == Fault::Hangup ? echoWaitBound(plan)
                                    : plan.replyDelay + kQuietAfterEchoes + Ms(plan.pollInterval);
        bound += 4 * plan.replyDelay + Ms(std::int64_t{plan.blocks} * plan.pacing) + line;
        bound += Ms(endingTimeout(plan));
    }
    plan.bound = bound + Ms(150) + bound * 15 / 100;
    plan.hangLimit = 5 * plan.bound;
    return plan;
}

ProtocolParameters protocolParameters(const RunPlan& plan) {
    ProtocolParameters p;
    p.Code30 = plan.pollInterval;
    p.Code31 = plan.pacing;
    p.Code51 = plan.timeouts[kWriteTimeout];
    p.Code52 = plan.timeouts[kSectorTimeout];
    p.Code53 = plan.timeouts[kEraseTimeout];
    p.Code54 = plan.timeouts[kChecksumTimeout];
    p.Code61 = plan.sectorCode - 1;
    p.Code62_1 = plan.writeFirst;
    p.Code62_2 = static_cast<std::int32_t>(plan.blocks);
    p.Code63_1 = plan.writeFirst;
    p.Code63_2 = plan.writeLast;
    p.CheckCode72 = plan.fullChecksum ? 1 : 0;
    p.Code72 = plan.imageSum;
    return p;
}

CommSettings commSettings(const RunPlan& plan) {
    CommSettings comm;
    comm.BaudRate = kBaud57600;
    comm.Flow = plan.fault == Fault::Xoff ? kXonXoff : 0;
    return comm;
}

devsim::Options deviceOptions(const RunPlan& plan) {
    using devsim::Step;
    devsim::Options o;
    o.linger = Ms(0);
    o.rate = plan.rate;
    o.replyDelay = plan.replyDelay;
    o.deafPolls = plan.deafPolls;
    switch (plan.fault) {
    case Fault::None:
    case Fault::DeafPolls:
        break;
    case Fault::FailSector:
        o.fail = Step::Sector;
        break;
    case Fault::FailErase:
        o.fail = Step::Erase;
        break;
    case Fault::FailWrite:
        o.fail = Step::Write;
        break;
    case Fault::FailChecksum:
        o.fail = Step::Checksum;
        break;
    case Fault::SectorCode:
        o.sectorCode = plan.answeredCode;
        break;
    case Fault::SilentConnect:
    case Fault::SilentSector:
    case Fault::SilentErase:
    case Fault::SilentWrite:
    case Fault::SilentChecksum:
        o.silent.add(static_cast<Step>(static_cast<int>(plan.fault) -
                                       static_cast<int>(Fault::SilentConnect)));
        break;
    case Fault::GarbageConnect:
    case Fault::GarbageSector:
    case Fault::GarbageErase:
    case Fault::GarbageWrite:
    case Fault::GarbageChecksum:
        o.garbage.add(static_cast<Step>(static_cast<int>(plan.fault) -
                                        static_cast<int>(Fault::GarbageConnect)));
        break;
    case Fault::Hangup:
        o.hangupAfter = plan.hangupAfter;
        break;
    case Fault::Xoff:
        o.xoffAfterBlocks = plan.xoffAfter;
        break;
    case Fault::CompleteEarly:
        o.completeEarlyAfter = plan.completeEarly;
        break;
    }
    return o;
}

std::string RunPlan::describe() const {
    std::ostringstream s;
    s << "fault " << faultName(fault);
    if (fault == Fault::DeafPolls)
        s << " (" << deafPolls << " polls)";
    if (fault == Fault::SectorCode)
        s << " (answers code " << int{answeredCode} << ")";
    if (fault == Fault::Hangup)
        s << " (after byte " << hangupAfter << ")";
    if (fault == Fault::Xoff)
        s << " (after block " << xoffAfter << ")";
    if (fault == Fault::CompleteEarly)
        s << " (after block " << completeEarly << ")";
    s << "; " << blocks << " x " << blockSize << " B blocks from 0x" << std::hex << writeFirst
      << " to 0x" << writeLast << std::dec << ", image " << image.size() << " B, "
      << (fullChecksum ? "full checksum" : "checksum display") << "; polls every " << pollInterval
      << " ms, pacing " << pacing << " ms, time-outs " << timeouts[0] << "/" << timeouts[1] << "/"
      << timeouts[2] << "/" << timeouts[3] << " ms, reply delay " << replyDelay.count()
      << " ms, line " << (rate ? std::to_string(rate) : "unpaced") << ", connect deadline "
      << connectDeadline.count() << " ms, bound " << bound.count() << " ms";
    return s.str();
}

} // namespace pexo::soak
