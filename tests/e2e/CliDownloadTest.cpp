// pexo-cli against the simulated device: whole downloads, every way they can end.
#include "E2eWorkspace.h"
#include "devsim/SampleArchive.h"
#include "devsim/Simulator.h"
#include "support/ChildProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <numeric>

namespace pexo::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using devsim::Step;

std::unique_ptr<devsim::Simulator> startDevice(devsim::Options options = {}) {
    options.linger = 0ms;
    auto device = std::make_unique<devsim::Simulator>(std::move(options));
    EXPECT_TRUE(device->start()) << device->error();
    return device;
}

std::uint32_t byteSum(const std::vector<std::uint8_t>& bytes, std::size_t from, std::size_t to) {
    return std::accumulate(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                           bytes.begin() + static_cast<std::ptrdiff_t>(to), 0u);
}

TEST(CliDownload, TheDefaultDownloadWritesTheImageWithExactlyTheProtocolsFrames) {
    Workspace ws;
    const auto image = devsim::sampleImage(0x200000);
    const std::string archive = ws.archive(image, "image.lzh");
    auto device = startDevice();

    ChildProcess cli(kCli, cliArgs(ws, {"--port", device->slavePath(), "--quiet", archive}));
    ASSERT_EQ(cli.wait(kDeadline), 0) << cli.standardError();

    const auto lines = splitLines(cli.standardOutput());
    ASSERT_EQ(lines.size(), 4u) << cli.standardOutput();
    EXPECT_EQ(lines[0].rfind("Total time : 00:", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1], "normal end.");
    char sumLine[64];
    const std::uint32_t sum = byteSum(image, 0x6000, 0x200000);
    std::snprintf(sumLine, sizeof sumLine, " PC Side Write Data Checksum : 0x%08X", sum);
    EXPECT_EQ(lines[2], sumLine);
    char deviceLine[64];
    std::snprintf(deviceLine, sizeof deviceLine, " Checksum RX[0x86] data:0x%02X,0x%02X,0x%02X,0x%02X",
                  sum >> 24, (sum >> 16) & 0xFF, (sum >> 8) & 0xFF, sum & 0xFF);
    EXPECT_EQ(lines[3], deviceLine);
    EXPECT_EQ(cli.standardError(), "") << "--quiet shows nothing on success";

    const auto written = device->readMemory(0x6000, 0x200000 - 0x6000);
    EXPECT_TRUE(std::equal(written.begin(), written.end(), image.begin() + 0x6000));

    // Polls, then sector size 4, erase 0x4000 x 0x22, blocks 0x6000.. in 1 KiB steps, the sum,
    // the checksum request; nothing else.
    const auto frames = device->frames();
    std::size_t i = 0;
    while (i < frames.size() && frames[i].command == 0xD6)
        ++i;
    ASSERT_GT(i, 0u);
    ASSERT_EQ(frames.size() - i, 2u + 0x7E8u + 2u);
    EXPECT_EQ(frames[i].command, 0x82);
    EXPECT_EQ(frames[i].value, 4u);
    EXPECT_EQ(frames[i + 1].command, 0x85);
    EXPECT_EQ(frames[i + 1].address, 0x4000u);
    EXPECT_EQ(frames[i + 1].value, 0x22u);
    for (std::uint32_t block = 0; block < 0x7E8; ++block) {
        const auto& f = frames[i + 2 + block];
        ASSERT_EQ(f.command, 0x83) << block;
        ASSERT_EQ(f.address, 0x6000 + block * 0x400) << block;
        ASSERT_EQ(f.dataLength, 0x400u) << block;
    }
    EXPECT_EQ(frames[frames.size() - 2].command, 0x84);
    EXPECT_EQ(frames[frames.size() - 2].value, sum);
    EXPECT_EQ(frames.back().command, 0x86);
    EXPECT_TRUE(device->waitFor([](const devsim::Status& s) { return !s.hostOpen; }, 10s));
}

TEST(CliDownload, TheDevsimProgramTakesADownloadAndDumpsIt) {
    Workspace ws;
    const auto image = devsim::sampleImage(0x1000);
    const std::string archive = ws.archive(image, "small.lzh");
    const std::string dump = ws.path("dump.bin");
    ChildProcess device(kDevsim, {"--sessions", "1", "--dump", dump});
    const auto pty = device.firstLine(10s);
    ASSERT_TRUE(pty) << device.standardError();

    auto args = cliArgs(ws, smallRun());
    args.insert(args.end(), {"--port", *pty, archive});
    ChildProcess cli(kCli, args);
    ASSERT_EQ(cli.wait(kDeadline), 0) << cli.standardError();
    EXPECT_NE(cli.standardOutput().find("normal end."), std::string::npos);
    ASSERT_EQ(device.wait(kDeadline), 0) << device.standardError();

    std::ifstream in(dump, std::ios::binary);
    const std::vector<std::uint8_t> dumped{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(dumped, image);
}

struct FailureCase {
    const char* name;
    int status;
    std::function<void(devsim::Options&)> device;
    std::vector<std::string> extra;
    std::string errorLine;
    std::size_t imageSize = 0x1000;
};

void PrintTo(const FailureCase& c, std::ostream* out) {
    *out << c.name;
}

class CliFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(CliFailure, EndsWithItsResultCodeItsLinesAndTheLineClosed) {
    const FailureCase& c = GetParam();
    Workspace ws;
    const std::string archive = ws.archive(devsim::sampleImage(c.imageSize), "small.lzh");
    devsim::Options options;
    if (c.device)
        c.device(options);
    auto device = startDevice(std::move(options));

    auto args = cliArgs(ws, smallRun());
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    args.insert(args.end(), {"--port", device->slavePath(), "--quiet", archive});
    ChildProcess cli(kCli, args);
    ASSERT_EQ(cli.wait(kDeadline), c.status) << cli.standardOutput() << cli.standardError();

    const auto lines = splitLines(cli.standardOutput());
    ASSERT_GE(lines.size(), 2u) << cli.standardOutput();
    EXPECT_EQ(lines[0].rfind("stop time : 00:00:0", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1], c.errorLine);
    EXPECT_TRUE(device->waitFor([](const devsim::Status& s) { return !s.hostOpen; }, 10s))
        << "the port was left open";
}

INSTANTIATE_TEST_SUITE_P(
    EveryResultCode, CliFailure,
    ::testing::Values(
        FailureCase{"SectorSizeTimeout", 1, [](auto& o) { o.silent.add(Step::Sector); }, {}, "RX[0x84] timeout : Option code 52"},
        FailureCase{"EraseTimeout", 2, [](auto& o) { o.silent.add(Step::Erase); }, {}, "RX[0x85] timeout : Option code 53"},
        FailureCase{"WriteTimeout", 3, [](auto& o) { o.silent.add(Step::Write); }, {}, "RX[0x82] timeout : Option code 51"},
        FailureCase{"ChecksumTimeout", 4, [](auto& o) { o.silent.add(Step::Checksum); }, {}, "RX[0x86] timeout : Option code 54"},
        FailureCase{"SectorSizeMismatch", 5, [](auto& o) { o.sectorCode = 2; }, {}, "Error occured in sector size."},
        FailureCase{"EraseError", 6, [](auto& o) { o.fail = Step::Erase; }, {}, "Erase Error."},
        FailureCase{"WriteError", 7, [](auto& o) { o.fail = Step::Write; }, {}, "Write Error."},
        FailureCase{"ImageTooShort", 8, nullptr, {"--write-last", "1001"}, "File Length Error : Option Code 63."},
        FailureCase{"ProtocolError", 9, [](auto& o) { o.garbage = devsim::StepSet::afterConnect(); },
                    {}, "Protocol Error."},
        FailureCase{"SerialError", 10, [](auto& o) { o.hangupAfter = 2000; },
                    {"--write-last", "FFFFF"}, "RS232C Error.", 0x100000},
        FailureCase{"FullChecksumMismatch", 11, nullptr, {"--full-checksum", "12345678"}, "Checksum error occured. Code 72."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CliDownload, AnImageTooShortNeverOpensThePort) {
    Workspace ws;
    const std::string archive = ws.archive(devsim::sampleImage(0x1000), "small.lzh");
    auto device = startDevice();
    auto args = cliArgs(ws, {"--port", device->slavePath(), "--quiet", archive}); // to 0x1FFFFF
    ChildProcess cli(kCli, args);
    ASSERT_EQ(cli.wait(kDeadline), 8);
    EXPECT_EQ(device->status().bytesReceived, 0u);
}

TEST(CliDownload, ADeviceThatNeverEchoesTimesOutWith21) {
    Workspace ws;
    const std::string archive = ws.archive(devsim::sampleImage(0x1000), "small.lzh");
    devsim::Options options;
    options.silent.add(Step::Connect);
    auto device = startDevice(std::move(options));
    auto args = cliArgs(ws, smallRun());
    args.insert(args.end(),
                {"--connect-timeout", "0.3", "--port", device->slavePath(), "--quiet", archive});
    ChildProcess cli(kCli, args);
    ASSERT_EQ(cli.wait(kDeadline), 21) << cli.standardError();
    EXPECT_EQ(cli.standardOutput(), "");
    EXPECT_GT(device->status().frameCount, 0u) << "it polled";
    EXPECT_TRUE(device->waitFor([](const devsim::Status& s) { return !s.hostOpen; }, 10s));
}

TEST(CliDownload, ALineThatHangsUpWhilePollingEndsWithTheSerialError) {
    Workspace ws;
    const std::string archive = ws.archive(devsim::sampleImage(0x1000), "small.lzh");
    devsim::Options options;
    options.silent.add(Step::Connect);
    options.hangupAfter = 3;
    auto device = startDevice(std::move(options));
    auto args = cliArgs(ws, smallRun());
    args.insert(args.end(), {"--port", device->slavePath(), "--quiet", archive});
    ChildProcess cli(kCli, args); // no connect time-out: only the failure can end it
    ASSERT_EQ(cli.wait(kDeadline), 10) << cli.standardError();
    const auto lines = splitLines(cli.standardOutput());
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1], "RS232C Error.");
}

TEST(CliDownload, AStopWhilePollingWritingOrHeldClosesThePortAndExits130) {
    enum class When { Polling, Writing, HeldByXoff };
    const struct {
        When when;
        int signal;
        const char* name;
    } cases[] = {
        {When::Polling, SIGTERM, "SIGTERM while polling"},
        {When::Writing, SIGINT, "SIGINT while writing"},
        // At 57600 baud a write has no limit of its own; the stop must release it.
        {When::HeldByXoff, SIGHUP, "SIGHUP while XOFF holds the line"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Workspace ws;
        const std::string archive = ws.archive(devsim::sampleImage(0x200000), "image.lzh");
        devsim::Options options;
        std::vector<std::string> extra{"--port", "", "--quiet"};
        if (c.when == When::Writing)
            options.rate = 115200;
        else if (c.when == When::Polling)
            options.silent.add(Step::Connect);
        else {
            options.xoffAfterBlocks = 1;
            extra.insert(extra.end(), {"--flow", "xon", "--timeout-write", "1800000"});
        }
        auto device = startDevice(std::move(options));
        extra[1] = device->slavePath();
        extra.push_back(archive);
        ChildProcess cli(kCli, cliArgs(ws, extra));
        ASSERT_TRUE(device->waitFor(
            [&](const devsim::Status& s) {
                switch (c.when) {
                case When::Polling:
                    return s.bytesReceived >= 3;
                case When::Writing:
                    return s.bytesReceived >= 5000;
                case When::HeldByXoff:
                    return s.xoffSent;
                }
                return false;
            },
            kDeadline));
        cli.signal(c.signal);
        ASSERT_EQ(cli.wait(kDeadline), 130) << cli.standardError();
        EXPECT_EQ(cli.standardOutput(), "") << "Cancel shows no result";
        EXPECT_TRUE(device->waitFor([](const devsim::Status& s) { return !s.hostOpen; }, 10s));
    }
}

TEST(CliDownload, TwoPortsFlashTwoDevicesAtOnceAndTheFirstFailureDecides) {
    Workspace ws;
    const auto image = devsim::sampleImage(0x1000);
    const std::string archive = ws.archive(image, "small.lzh");
    auto first = startDevice();
    auto second = startDevice();
    auto args = cliArgs(ws, smallRun());
    args.insert(args.end(), {"--port", first->slavePath(), "--port", second->slavePath(),
                             "--quiet", archive});
    ChildProcess both(kCli, args);
    ASSERT_EQ(both.wait(kDeadline), 0) << both.standardError();
    const auto lines = splitLines(both.standardOutput());
    ASSERT_EQ(lines.size(), 8u) << both.standardOutput();
    EXPECT_EQ(lines[1], first->slavePath() + ": normal end.");
    EXPECT_EQ(lines[5], second->slavePath() + ": normal end.");
    for (auto* device : {first.get(), second.get()}) {
        const auto written = device->readMemory(0, 0x1000);
        EXPECT_EQ(written, image);
    }

    devsim::Options failing;
    failing.fail = Step::Erase;
    auto third = startDevice(std::move(failing));
    auto fourth = startDevice();
    args = cliArgs(ws, smallRun());
    args.insert(args.end(), {"--port", fourth->slavePath(), "--port", third->slavePath(),
                             "--quiet", archive});
    ChildProcess mixed(kCli, args);
    ASSERT_EQ(mixed.wait(kDeadline), 6) << mixed.standardError();
    EXPECT_NE(mixed.standardOutput().find(fourth->slavePath() + ": normal end."),
              std::string::npos);
}

TEST(CliDownload, SetUpFailuresSendNothingAndSayWhy) {
    Workspace ws;
    const std::string archive = ws.archive(devsim::sampleImage(0x1000), "small.lzh");
    std::ofstream(ws.path("junk.lzh")) << "this is not an archive";
    auto device = startDevice();
    const std::string port = device->slavePath();
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{"--data-bits", "9", "--port", port, archive}, "--data-bits"},
        {{"--tx-interval", "0", "--port", port, archive},
         "Please enter an integer between 1 and 1000."},
        {{"--port", port, ws.path("junk.lzh")}, "File format error"},
        {{"--port", port, ws.path("missing.lzh")}, ""},
        {{"--port", "/dev/pexo-no-such-port", archive},
         "RS232C connection failed.\n"
         "cannot open /dev/pexo-no-such-port: No such file or directory\n"},
        {{"--settings", ws.path("none.ini"), "--port", port, archive}, "--settings"},
    };
    for (const auto& [args, says] : cases) {
        SCOPED_TRACE(args.front());
        std::vector<std::string> all{"--settings", ws.settings()};
        const auto quick = smallRun();
        all.insert(all.end(), quick.begin(), quick.end());
        all.insert(all.end(), args.begin(), args.end());
        ChildProcess cli(kCli, all);
        ASSERT_EQ(cli.wait(kDeadline), 20);
        EXPECT_NE(cli.standardError().find(says), std::string::npos) << cli.standardError();
        EXPECT_EQ(cli.standardOutput(), "");
    }
    EXPECT_EQ(device->status().bytesReceived, 0u);
}

} // namespace
} // namespace pexo::test
