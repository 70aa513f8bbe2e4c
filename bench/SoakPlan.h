#pragma once

#include "core/settings/CommSettings.h"
#include "core/settings/ProtocolParameters.h"
#include "devsim/Options.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pexo::soak {

using Ms = std::chrono::milliseconds;

// Every misbehaviour the simulated device knows, one per run.
enum class Fault {
    None,
    FailSector,
    FailErase,
    FailWrite,
    FailChecksum,
    SectorCode,
    SilentConnect,
    SilentSector,
    SilentErase,
    SilentWrite,
    SilentChecksum,
    GarbageConnect,
    GarbageSector,
    GarbageErase,
    GarbageWrite,
    GarbageChecksum,
    Hangup,
    Xoff,
    DeafPolls,
    CompleteEarly,
};
inline constexpr std::size_t kFaultCount = 20;

std::string_view faultName(Fault fault);
std::optional<Fault> parseFault(std::string_view name);

// The host's four reply time-outs, in step order.
enum TimeoutIndex { kSectorTimeout, kEraseTimeout, kWriteTimeout, kChecksumTimeout };

// Everything one run is made of, drawn from the seed and the run number alone so that any
// run can be replayed by itself.
struct RunPlan {
    std::uint64_t seed = 0;
    std::uint64_t run = 0;
    Fault fault = Fault::None;

    std::uint8_t sectorCode = 1; // 1..4: 128..1024-byte blocks
    std::uint32_t blockSize = 128;
    std::uint32_t blocks = 1;
    std::int32_t writeFirst = 0;
    std::int32_t writeLast = 0;
    std::vector<std::uint8_t> image;
    bool fullChecksum = false;
    std::uint32_t imageSum = 0; // the byte sum of every block's data, as the host sends it

    std::int32_t pollInterval = 1; // Code30
    std::int32_t pacing = 1;       // Code31
    std::array<std::int32_t, 4> timeouts{};
    std::uint32_t rate = 0; // the simulated line; 0: as fast as the pty goes
    Ms replyDelay{0};
    Ms connectDeadline{0};

    unsigned deafPolls = 0;
    std::uint64_t hangupAfter = 0;
    std::uint64_t xoffAfter = 0;
    std::uint64_t completeEarly = 0;
    std::uint8_t answeredCode = 0; // SectorCode: what the device answers instead

    // The longest the run may take to end by itself, and when it counts as hung.
    Ms bound{0};
    Ms hangLimit{0};

    std::string describe() const;
};

// `fault` forces the fault; otherwise each run of a round of kFaultCount runs gets another one.
RunPlan drawPlan(std::uint64_t seed, std::uint64_t run, std::optional<Fault> fault);

ProtocolParameters protocolParameters(const RunPlan& plan);
CommSettings commSettings(const RunPlan& plan);
devsim::Options deviceOptions(const RunPlan& plan);

// Byte sum of the data of blocks [first, last) as the host sends them (zero past the image).
std::uint32_t blockSum(const RunPlan& plan, std::uint32_t first, std::uint32_t last);
// Bytes the host sends for a request frame of the protocol, and for one write block.
std::uint32_t blockFrameBytes(const RunPlan& plan);
std::uint32_t checksumFrameBytes(const RunPlan& plan);
// The time `bytes` take on the simulated line (0 without a rate).
Ms lineTime(const RunPlan& plan, std::uint64_t bytes);
// The longest the session waits for the echoes of its last polls.
Ms echoWaitBound(const RunPlan& plan);

} // namespace pexo::soak
