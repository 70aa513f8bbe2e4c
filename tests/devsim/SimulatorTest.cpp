#include "devsim/Simulator.h"

#include "HostLine.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <memory>
#include <mutex>
#include <unistd.h>

namespace pexo::devsim::test {
namespace {

namespace fs = std::filesystem;

// Requests as the host frames them.
Bytes sector(std::uint8_t code) {
    return {0x82, code};
}
Bytes erase(std::uint32_t address, std::uint16_t count) {
    return {0x85,
            static_cast<std::uint8_t>(address >> 16),
            static_cast<std::uint8_t>(address >> 8),
            static_cast<std::uint8_t>(address),
            static_cast<std::uint8_t>(count >> 8),
            static_cast<std::uint8_t>(count)};
}
Bytes block(std::uint32_t address, const Bytes& data) {
    return concat({{0x83, static_cast<std::uint8_t>(address >> 16),
                    static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address)},
                   data});
}
Bytes blockChecksum(std::uint32_t sum) {
    return concat({{0x84}, be32(sum)});
}
Bytes fullChecksum(std::uint32_t value) {
    return concat({{0x89}, be32(value)});
}
Bytes checksumReply(std::uint32_t sum) {
    return concat({{0x86}, be32(sum)});
}
const Bytes kPoll{0xD6};
const Bytes kChecksum{0x86};

Bytes pattern(std::size_t n, std::uint8_t seed) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>(seed + i * 7);
    return b;
}

struct Exchange {
    Bytes request;
    Bytes reply; // empty: none expected; the next reply then proves none came
};

// Sends each request and checks its reply byte for byte. A reply where none is expected
// shows up in front of the next expected reply and fails that comparison.
void run(HostLine& host, const std::vector<Exchange>& script) {
    for (std::size_t i = 0; i < script.size(); ++i) {
        host.send(script[i].request);
        if (!script[i].reply.empty()) {
            ASSERT_EQ(host.receive(script[i].reply.size()), script[i].reply) << "exchange " << i;
        }
    }
}

// A one-block download at sector size code 1 (128 bytes); `last` ends it with a probe.
const Bytes kData = pattern(128, 3);
std::vector<Exchange> download(Exchange last = {kPoll, kPoll}) {
    return {{kPoll, kPoll},
            {sector(1), {0x84, 0x01}},
            {erase(0, 1), {0x85}},
            {block(0, kData), {}},
            {blockChecksum(byteSum(kData)), {0x82}},
            {kChecksum, checksumReply(byteSum(kData))},
            last};
}

class TempDir {
public:
    TempDir() {
        std::string t = (fs::temp_directory_path() / "pexo-devsim-XXXXXX").string();
        path_ = ::mkdtemp(t.data()) ? fs::path(t) : fs::path();
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    fs::path operator/(const char* name) const { return path_ / name; }

private:
    fs::path path_;
};

Bytes readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::unique_ptr<Simulator> startDevice(Options options = {}) {
    auto device = std::make_unique<Simulator>(std::move(options));
    EXPECT_TRUE(device->start()) << device->error();
    return device;
}

auto sessionsEnded(unsigned n) {
    return [n](const Status& s) { return s.sessionsEnded >= n; };
}
auto received(std::uint64_t n) {
    return [n](const Status& s) { return s.bytesReceived >= n; };
}
auto finished() {
    return [](const Status& s) { return s.finished; };
}

TEST(Device, ServesAWholeDownloadInAnyChunkingAndKeepsWhatItWasWritten) {
    TempDir dir;
    Options options;
    options.dumpPath = dir / "memory.bin";
    auto lines = std::make_shared<std::vector<std::string>>();
    auto linesLock = std::make_shared<std::mutex>();
    options.log = [lines, linesLock](std::string_view line) {
        std::lock_guard lock(*linesLock);
        lines->emplace_back(line);
    };
    auto device = startDevice(options);
    HostLine host(device->slavePath());

    const Bytes a = pattern(128, 1), b = pattern(128, 50), c = pattern(128, 99);
    const std::uint32_t sum = byteSum(a) + byteSum(b) + byteSum(c);
    // A stray byte starts no request and is not answered.
    run(host,
        {{{0x41}, {}}, {kPoll, kPoll}, {sector(1), {0x84, 0x01}}, {erase(0x6000, 3), {0x85}}});
    host.send(block(0x6000, a));
    for (std::uint8_t byte : block(0x6080, b)) // one byte at a time
        host.send({byte});
    run(host, {{concat({block(0x6100, c), blockChecksum(sum)}), {0x82}}, // one chunk
               {kChecksum, checksumReply(sum)}});

    ASSERT_TRUE(device->waitFor(sessionsEnded(1), kDeadline));
    const Bytes image = concat({a, b, c});
    EXPECT_EQ(device->readMemory(0x6000, image.size()), image);
    const auto range = device->writtenRange();
    ASSERT_TRUE(range);
    EXPECT_EQ(range->first, 0x6000u);
    EXPECT_EQ(range->last, 0x617Fu);
    EXPECT_EQ(readFile(dir / "memory.bin"), image);

    const std::vector<Frame> frames = device->frames();
    std::vector<std::uint8_t> commands;
    for (const Frame& f : frames)
        commands.push_back(f.command);
    EXPECT_EQ(commands, (Bytes{0x41, 0xD6, 0x82, 0x85, 0x83, 0x83, 0x83, 0x84, 0x86}));
    EXPECT_FALSE(frames[0].known);
    EXPECT_EQ(frames[3].address, 0x6000u);
    EXPECT_EQ(frames[3].value, 3u);
    EXPECT_EQ(frames[5].address, 0x6080u);
    EXPECT_EQ(frames[5].dataLength, 128u);
    EXPECT_EQ(frames[7].value, sum);
    EXPECT_EQ(frames[8].reply, checksumReply(sum));

    device->stop();
    EXPECT_EQ(device->join(), 0);
    std::lock_guard lock(*linesLock);
    ASSERT_EQ(lines->size(), frames.size() + 1); // one per frame, and the session's end
    EXPECT_EQ((*lines)[2], "82 01 (sector size code 1) -> 84 01");
    EXPECT_EQ((*lines)[4], "83 006000 +128 bytes (write block) -> no reply");
}

TEST(Device, EraseForgetsDataAndEachDownloadReportsItsOwnSum) {
    auto device = startDevice();
    HostLine host(device->slavePath());
    run(host, download());
    EXPECT_EQ(device->readMemory(0, kData.size()), kData);

    // The probe poll began a second session: erase the block, write nothing, ask 0x89.
    run(host, {{sector(1), {0x84, 0x01}},
               {erase(0, 1), {0x85}},
               {fullChecksum(0xFFFFFFFF), checksumReply(0)}});
    EXPECT_EQ(device->readMemory(0, 2), (Bytes{0xFF, 0xFF}));
    EXPECT_FALSE(device->writtenRange());
    ASSERT_TRUE(device->waitFor(sessionsEnded(2), kDeadline));
    EXPECT_EQ(device->frames().back().value, 0xFFFFFFFFu);
}

TEST(Device, RefusesBadWritesWithTheirOwnErrorBytes) {
    auto device = startDevice();
    HostLine host(device->slavePath());
    run(host, {// A block sum that differs from the data received.
               {sector(1), {0x84, 0x01}},
               {block(0, kData), {}},
               {blockChecksum(byteSum(kData) + 1), {0x83, 0x02}},
               // A block reaching past the end of the 16 MiB memory: refused at once, and so
               // is the rest of that write step.
               {sector(1), {0x84, 0x01}},
               {block(0xFFFFC0, kData), {0x83, 0x04}},
               {blockChecksum(byteSum(kData)), {0x83, 0x04}},
               // An erase past the end.
               {erase(0xFFFF80, 2), {0x88, 0x04}}});
    EXPECT_EQ(device->readMemory(0xFFFFC0, 2), (Bytes{0xFF, 0xFF}));
}

TEST(Device, WithoutASectorSizeWritesAndErasesAreRefusedUntilTheLineIsReopened) {
    auto device = startDevice();
    {
        HostLine host(device->slavePath());
        run(host, {{erase(0, 1), {0x88, 0x03}}, {block(0, kData), {0x83, 0x03}}});
        // The block's length is unknown, so what follows cannot be parsed: it is dropped.
        host.send(kPoll);
        ASSERT_TRUE(device->waitFor(received(6 + 4 + 128 + 1), kDeadline));
        EXPECT_EQ(device->status().frameCount, 2u);
    }
    HostLine host(device->slavePath());
    run(host, {{kPoll, kPoll}});
}

TEST(Device, SectorCodeOptionOverridesTheRequestAndSetsTheBlockSize) {
    Options options;
    options.sectorCode = 5; // 2048-byte blocks
    auto device = startDevice(options);
    HostLine host(device->slavePath());
    const Bytes data = pattern(2048, 9);
    run(host, {{sector(4), {0x84, 0x05}},
               {block(0x1000, data), {}},
               {blockChecksum(byteSum(data)), {0x82}}});
    EXPECT_EQ(device->readMemory(0x1000, data.size()), data);
}

TEST(Device, FailOptionsAnswerTheirStepWithAFailure) {
    {
        Options options;
        options.fail = Step::Sector;
        auto device = startDevice(options);
        HostLine host(device->slavePath());
        run(host, {{sector(4), {0x84, 0x05}}, {sector(7), {0x84, 0x01}}});
    }
    {
        Options options;
        options.fail = Step::Erase;
        auto device = startDevice(options);
        HostLine host(device->slavePath());
        run(host, {{sector(1), {0x84, 0x01}}, {erase(0, 1), {0x88, 0x01}}});
    }
    {
        Options options;
        options.fail = Step::Write;
        auto device = startDevice(options);
        HostLine host(device->slavePath());
        // Refused right after the first block; nothing of that write step is stored.
        run(host, {{sector(1), {0x84, 0x01}},
                   {block(0, kData), {0x83, 0x01}},
                   {block(0x80, kData), {}},
                   {blockChecksum(2 * byteSum(kData)), {0x83, 0x01}}});
        EXPECT_FALSE(device->writtenRange());
    }
    {
        Options options;
        options.fail = Step::Checksum;
        auto device = startDevice(options);
        HostLine host(device->slavePath());
        std::vector<Exchange> script = download();
        script[5].reply = checksumReply(~byteSum(kData));
        run(host, script);
    }
}

TEST(Device, SilentStepsAreNeverAnswered) {
    for (Step step : {Step::Connect, Step::Sector, Step::Erase, Step::Write, Step::Checksum}) {
        SCOPED_TRACE(std::string(stepName(step)));
        std::vector<Exchange> script = download({sector(1), {0x84, 0x01}});
        for (Exchange& e : script) {
            const std::uint8_t c = e.request[0];
            const bool inStep = (step == Step::Connect && c == 0xD6) ||
                                (step == Step::Sector && c == 0x82) ||
                                (step == Step::Erase && c == 0x85) ||
                                (step == Step::Write && (c == 0x83 || c == 0x84)) ||
                                (step == Step::Checksum && c == 0x86);
            if (inStep && &e != &script.back())
                e.reply.clear();
        }
        if (step == Step::Sector)
            script.back() = {kPoll, kPoll};
        Options options;
        options.silent.add(step);
        auto device = startDevice(options);
        HostLine host(device->slavePath());
        run(host, script);
    }
}

TEST(Device, GarbageAnswersFitNoReplyRule) {
    {
        Options options;
        options.garbage = StepSet::afterConnect();
        auto device = startDevice(options);
        HostLine host(device->slavePath());
        run(host, {{kPoll, kPoll},
                   {sector(1), {0xA5, 0x5A}},
                   {erase(0, 1), {0xA5, 0x5A}},
                   {block(0, kData), {}},
                   {blockChecksum(byteSum(kData)), {0xA5, 0x5A}},
                   {kChecksum, {0xA5, 0x5A, 0xA5, 0x5A, 0xA5}}});
    }
    {
        Options options;
        options.garbage.add(Step::Connect);
        auto device = startDevice(options);
        HostLine host(device->slavePath());
        run(host, {{kPoll, {0xA5}}, {sector(1), {0x84, 0x01}}});
    }
}

TEST(Device, HangsUpAfterTheGivenNumberOfBytes) {
    Options options;
    options.hangupAfter = 3;
    auto device = startDevice(options);
    HostLine host(device->slavePath());
    run(host, {{kPoll, kPoll}});
    host.send(sector(4)); // bytes 2 and 3: the line goes down unanswered
    EXPECT_TRUE(host.waitHangup());
    ASSERT_TRUE(device->waitFor(finished(), kDeadline));
    EXPECT_TRUE(device->status().hungUp);
    EXPECT_EQ(device->status().bytesReceived, 3u);
    EXPECT_EQ(device->join(), 0);
}

TEST(Device, XoffAfterBlocksStopsTheHostAndTheDeviceReadsNoMore) {
    struct Case {
        std::uint64_t blocks;
        bool xonXoff; // the host's line honours the XOFF; else it reads it as data
    };
    for (const Case& c : {Case{1, false}, Case{3, true}}) {
        SCOPED_TRACE(c.blocks);
        Options options;
        options.xoffAfterBlocks = c.blocks;
        auto device = startDevice(options);
        HostLine host(device->slavePath(), c.xonXoff);
        run(host, {{sector(1), {0x84, 0x01}}, {erase(0, 8), {0x85}}});
        // The host's burst runs two blocks and the block sum past the last block read.
        Bytes burst;
        for (std::uint32_t i = 0; i < c.blocks + 2; ++i)
            burst = concat({burst, block(i * 128, kData)});
        host.send(concat({burst, blockChecksum(byteSum(kData) * (c.blocks + 2))}));

        ASSERT_TRUE(device->waitFor([](const Status& s) { return s.xoffSent; }, kDeadline));
        if (c.xonXoff)
            EXPECT_TRUE(host.waitWritesRefused(0xD6));
        else
            EXPECT_EQ(host.receive(1), (Bytes{0x13}));
        EXPECT_EQ(device->status().bytesReceived, 2 + 6 + c.blocks * (4 + 128));
        Bytes commands;
        for (const Frame& f : device->frames())
            commands.push_back(f.command);
        EXPECT_EQ(commands, concat({{0x82, 0x85}, Bytes(c.blocks, 0x83)}));
    }
}

TEST(Device, DeafPollsGoUnechoedAtTheStartOfEachSession) {
    for (unsigned deaf : {1u, 3u}) {
        SCOPED_TRACE(deaf);
        Options options;
        options.deafPolls = deaf;
        auto device = startDevice(options);
        HostLine host(device->slavePath());
        // An echo of a deaf poll would come first and spoil the comparison that follows.
        const std::vector<Exchange> session = {{Bytes(deaf, 0xD6), {}},
                                               {kPoll, kPoll},
                                               {kPoll, kPoll},
                                               {sector(1), {0x84, 0x01}},
                                               {kChecksum, checksumReply(0)}};
        run(host, session);
        run(host, session);
        EXPECT_TRUE(device->waitFor(sessionsEnded(2), kDeadline));
    }
}

TEST(Device, AnotherProgramOpeningAndClosingTheLineLeavesTheSessionAlone) {
    auto device = startDevice();
    HostLine host(device->slavePath());
    run(host,
        {{kPoll, kPoll}, {sector(1), {0x84, 0x01}}, {erase(0, 1), {0x85}}, {block(0, kData), {}}});
    // As a second download refused because the port is in use: open, give up, close.
    const int other = ::open(device->slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(other, 0);
    ASSERT_TRUE(device->waitFor([](const Status& s) { return s.openers == 2; }, kDeadline));
    ::close(other);
    ASSERT_TRUE(device->waitFor([](const Status& s) { return s.openers == 1; }, kDeadline));

    run(host,
        {{blockChecksum(byteSum(kData)), {0x82}}, {kChecksum, checksumReply(byteSum(kData))}});
    ASSERT_TRUE(device->waitFor(sessionsEnded(1), kDeadline));
    EXPECT_EQ(device->status().sessionsEnded, 1u);
    EXPECT_TRUE(device->status().hostOpen);
    EXPECT_EQ(device->readMemory(0, kData.size()), kData);
}

TEST(Device, RateLimitsHowFastBytesMove) {
    Options options;
    options.rate = 9600;
    auto device = startDevice(options);
    HostLine host(device->slavePath());
    constexpr std::size_t kPolls = 48;
    const auto start = std::chrono::steady_clock::now();
    host.send(Bytes(kPolls, 0xD6));
    EXPECT_EQ(host.receive(kPolls), Bytes(kPolls, 0xD6));
    // 48 bytes of 10 bits at 9600 baud take 50 ms on the line, however fast the machine.
    EXPECT_GE(std::chrono::steady_clock::now() - start,
              std::chrono::microseconds(kPolls * 10 * 1'000'000 / 9600));
}

TEST(Device, SessionsEndWithTheChecksumOrWhenTheHostClosesAndTheLastOneStopsTheDevice) {
    Options options;
    options.sessions = 2;
    auto device = startDevice(options);
    {
        HostLine host(device->slavePath());
        run(host, {{sector(1), {0x84, 0x01}}});
        host.send(Bytes{0x83, 0x00, 0x00, 0x00, 0x01, 0x02}); // half a block
        ASSERT_TRUE(device->waitFor(received(8), kDeadline));
    }
    ASSERT_TRUE(device->waitFor(sessionsEnded(1), kDeadline));
    HostLine host(device->slavePath());
    // The half block was dropped with the session: these are requests again.
    run(host, {{sector(1), {0x84, 0x01}}, {kChecksum, checksumReply(0)}});
    ASSERT_TRUE(device->waitFor(sessionsEnded(2), kDeadline));
    host.close(); // the device waited for this before taking the line down
    ASSERT_TRUE(device->waitFor(finished(), kDeadline));
    EXPECT_EQ(device->join(), 0);
}

TEST(Device, ReplugLingersGoesSilentThenAFreshDeviceAnswersEachWithItsOwnDump) {
    TempDir dir;
    Options options;
    options.replug = 300ms;
    options.onFixture = 200ms;
    options.sessions = 2;
    options.dumpPath = dir / "dump";
    auto device = startDevice(options);
    HostLine host(device->slavePath());
    run(host, download()); // its last poll comes while the device is left on the fixture
    EXPECT_TRUE(device->status().plugged);

    ASSERT_TRUE(device->waitFor([](const Status& s) { return !s.plugged; }, kDeadline));
    const Status unplugged = device->status();
    host.send(kPoll);
    ASSERT_TRUE(device->waitFor(received(unplugged.bytesReceived + 1), kDeadline));
    EXPECT_EQ(device->status().frameCount, unplugged.frameCount) << "nothing heard unplugged";

    ASSERT_TRUE(device->waitFor([](const Status& s) { return s.plugged; }, kDeadline));
    EXPECT_EQ(device->status().device, 2u);
    EXPECT_EQ(device->status().sessionsEnded, 1u) << "the unplugging is no session";
    EXPECT_EQ(device->readMemory(0, 128), Bytes(128, 0xFF)) << "a fresh device's memory";
    EXPECT_EQ(readFile(dir / "dump.1"), kData);

    run(host, download({})); // the unplugged poll was never echoed: the first reply is its own
    ASSERT_TRUE(device->waitFor(sessionsEnded(2), kDeadline));
    host.close();
    ASSERT_TRUE(device->waitFor(finished(), kDeadline));
    EXPECT_EQ(device->join(), 0);
    EXPECT_EQ(readFile(dir / "dump.2"), kData);
    EXPECT_FALSE(fs::exists(dir / "dump"));
}

TEST(Device, LinkPointsAtTheLineWhileTheDeviceRuns) {
    TempDir dir;
    const fs::path link = dir / "ttyPEXO";
    Options options;
    options.linkPath = link;
    auto device = startDevice(options);
    EXPECT_EQ(fs::read_symlink(link), device->slavePath());
    HostLine host(link);
    run(host, {{kPoll, kPoll}});
    device->stop();
    EXPECT_TRUE(host.waitHangup());
    EXPECT_EQ(device->join(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));

    // Any other file at the link's path is left alone.
    std::ofstream(dir / "file") << "keep";
    Options clash;
    clash.linkPath = dir / "file";
    Simulator refused(clash);
    EXPECT_FALSE(refused.open());
    EXPECT_NE(refused.error().find("not a symbolic link"), std::string::npos);
    EXPECT_EQ(readFile(dir / "file"), (Bytes{'k', 'e', 'e', 'p'}));
}

} // namespace
} // namespace pexo::devsim::test
