// pexo-cli as a production line against simulated devices put on the line one after another.
#include "E2eWorkspace.h"
#include "devsim/Simulator.h"
#include "support/ChildProcess.h"
#include "support/Sha256.h"

#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

namespace pexo::test {
namespace {

using Json = nlohmann::json;

std::vector<std::uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The log's records as JSON objects, whichever format it was written in.
std::vector<Json> readRecords(const std::string& path) {
    std::vector<Json> records;
    std::istringstream text(readText(path));
    std::string line;
    if (path.ends_with(".csv")) {
        // Only the columns checked here, none of which is quoted: the header names them.
        std::vector<std::string> header;
        while (std::getline(text, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            std::vector<std::string> fields;
            std::istringstream row(line);
            for (std::string field; std::getline(row, field, ',');)
                fields.push_back(field);
            if (header.empty()) {
                header = fields;
                continue;
            }
            if (fields.size() < 5 || fields[0].size() != 24)
                continue; // a line of a quoted multi-line field
            Json record;
            for (std::size_t i = 0; i < fields.size() && i < header.size(); ++i)
                record[header[i]] = fields[i];
            records.push_back(record);
        }
        return records;
    }
    while (std::getline(text, line))
        records.push_back(Json::parse(line));
    return records;
}

std::string field(const Json& record, const char* name) {
    const Json& value = record.at(name);
    return value.is_string() ? value.get<std::string>() : value.dump();
}

// Waits until the log holds `count` records; false when the deadline passes first.
bool waitForRecords(const std::string& path, std::size_t count) {
    const auto giveUp = std::chrono::steady_clock::now() + kDeadline;
    while (std::chrono::steady_clock::now() < giveUp) {
        if (readRecords(path).size() >= count)
            return true;
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

// Four 1 KiB blocks from address 0, with the settings' own time-outs: a download that timed
// out on a busy machine would leave its device unplugged for good, and the loop waiting.
std::vector<std::string> stationArgs(const Workspace& ws, std::vector<std::string> extra) {
    auto args = cliArgs(ws, {"--erase-first", "0", "--erase-sectors", "4", "--write-first", "0",
                             "--write-last", "FFF", "--timeout-write", "10000", "--timeout-sector",
                             "10000", "--timeout-erase", "10000", "--timeout-checksum", "10000"});
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

TEST(Station, FourPortsFlashThreeDevicesEachAndRecordEveryOneInJsonAndCsv) {
    Workspace ws;
    const auto image = devsim::sampleImage(0x1000);
    const std::string archive = ws.archive(image, "image.lzh");
    constexpr int kPorts = 4;
    for (const std::string log : {"r.jsonl", "r.csv"}) {
        SCOPED_TRACE(log);
        std::vector<std::unique_ptr<ChildProcess>> devices;
        std::vector<std::string> args{"--loop", "--count", "3",          "--gone-after",
                                      "200",    "--log",   ws.path(log), "--quiet"};
        std::map<std::string, std::string> dumpOf;
        for (int i = 0; i < kPorts; ++i) {
            const std::string dump = ws.path(log + "-dump" + std::to_string(i));
            devices.push_back(std::make_unique<ChildProcess>(
                kDevsim, std::vector<std::string>{"--replug", "1", "--linger", "0.1", "--sessions",
                                                  "3", "--dump", dump}));
            const auto pty = devices.back()->firstLine(10s);
            ASSERT_TRUE(pty) << devices.back()->standardError();
            args.insert(args.end(), {"--port", *pty});
            dumpOf[*pty] = dump;
        }
        args.push_back(archive);
        ChildProcess cli(kCli, stationArgs(ws, args));
        ASSERT_EQ(cli.wait(kDeadline), 0) << cli.standardOutput() << cli.standardError();

        const auto records = readRecords(ws.path(log));
        ASSERT_EQ(records.size(), 3u * kPorts) << readText(ws.path(log));
        std::map<std::string, int> perPort;
        for (const Json& record : records) {
            EXPECT_EQ(field(record, "result"), "0");
            EXPECT_EQ(field(record, "attempt"), "1");
            EXPECT_EQ(field(record, "image_sha256"), sha256Hex(image));
            EXPECT_EQ(field(record, "image_length"), "4096");
            EXPECT_EQ(field(record, "archive"), archive);
            EXPECT_EQ(field(record, "device"), field(record, "port"));
            ++perPort[field(record, "port")];
        }
        const auto lines = splitLines(cli.standardOutput());
        for (const auto& [port, dump] : dumpOf) {
            EXPECT_EQ(perPort[port], 3) << port;
            EXPECT_NE(std::find(lines.begin(), lines.end(), port + ": 3 passed, 0 failed"),
                      lines.end())
                << cli.standardOutput();
            EXPECT_EQ(std::count(lines.begin(), lines.end(), port + ": normal end."), 3);
            for (int device = 1; device <= 3; ++device)
                EXPECT_EQ(readBytes(dump + "." + std::to_string(device)), image)
                    << port << " device " << device;
        }
        for (auto& device : devices)
            EXPECT_EQ(device->wait(kDeadline), 0) << "each served its three sessions";
    }
}

TEST(Station, AFailingEraseIsTriedThreeTimesEachRecordedAndEndsWith6) {
    Workspace ws;
    const std::string archive = ws.archive(devsim::sampleImage(0x1000), "image.lzh");
    ChildProcess device(kDevsim, {"--fail", "erase"});
    const auto pty = device.firstLine(10s);
    ASSERT_TRUE(pty) << device.standardError();
    ChildProcess cli(kCli, stationArgs(ws, {"--retries", "2", "--log", ws.path("r.jsonl"),
                                            "--quiet", "--port", *pty, archive}));
    ASSERT_EQ(cli.wait(kDeadline), 6) << cli.standardError();

    const auto records = readRecords(ws.path("r.jsonl"));
    ASSERT_EQ(records.size(), 3u);
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i]["attempt"], i + 1);
        EXPECT_EQ(records[i]["result"], 6);
        EXPECT_EQ(records[i]["lines"][1], "Erase Error.");
        EXPECT_TRUE(records[i]["device_checksum"].is_null());
    }
    const auto lines = splitLines(cli.standardOutput());
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Erase Error."), 3) << "no prefix: one port";
    EXPECT_EQ(lines.back(), *pty + ": 0 passed, 1 failed");
}

TEST(Station, AStopCancelsTheDownloadAndAVanishedPortFailsItsDownload) {
    const struct {
        const char* name;
        bool hangUp; // the device's line goes away mid-download
        int status;
        std::string result;
    } cases[] = {
        {"stopped mid-download", false, 130, "cancelled"},
        {"the port vanishes mid-download", true, 10, "10"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Workspace ws;
        const std::string archive = ws.archive(devsim::sampleImage(0x100000), "image.lzh");
        devsim::Options options;
        options.linger = 0ms;
        options.rate = 115200;
        if (c.hangUp)
            options.hangupAfter = 20000;
        devsim::Simulator device(std::move(options));
        ASSERT_TRUE(device.start()) << device.error();
        const std::string log = ws.path("r.jsonl");
        auto args =
            cliArgs(ws, {"--write-first", "0", "--write-last", "FFFFF", "--loop", "--retries", "3",
                         "--log", log, "--quiet", "--port", device.slavePath(), archive});
        ChildProcess cli(kCli, args);
        if (c.hangUp) {
            // Recorded without a retry (the device has gone with its port), then waited for.
            ASSERT_TRUE(waitForRecords(log, 1));
        } else {
            ASSERT_TRUE(device.waitFor(
                [](const devsim::Status& s) { return s.bytesReceived >= 5000; }, kDeadline));
        }
        cli.signal(SIGTERM);
        ASSERT_EQ(cli.wait(kDeadline), c.status) << cli.standardError();
        const auto records = readRecords(log);
        ASSERT_EQ(records.size(), 1u) << readText(log);
        EXPECT_EQ(field(records[0], "result"), c.result);
        EXPECT_EQ(field(records[0], "attempt"), "1");
        const auto lines = splitLines(cli.standardOutput());
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), device.slavePath() +
                                    (c.hangUp ? ": 0 passed, 1 failed" : ": 0 passed, 0 failed"));
    }
}

TEST(Station, ARecordThatCannotBeWrittenGoesToStderrAndEndsTheLoopWith20) {
    Workspace ws;
    const std::string archive = ws.archive(devsim::sampleImage(0x1000), "image.lzh");
    const std::string log = ws.path("r.jsonl");
    // The log is near the file size limit the program runs under: the record will not fit.
    std::ofstream(log) << std::string(4600, 'x') << "\n";
    ChildProcess device(kDevsim, {});
    const auto pty = device.firstLine(10s);
    ASSERT_TRUE(pty) << device.standardError();
    auto args = stationArgs(ws, {"--loop", "--log", log, "--quiet", "--port", *pty, archive});
    args.insert(args.begin(), {"--fsize=5000", kCli});
    ChildProcess cli("/usr/bin/prlimit", args);
    ASSERT_EQ(cli.wait(kDeadline), 20) << cli.standardError();

    const std::string said = cli.standardError();
    EXPECT_NE(said.find("--log " + log + ": cannot write it"), std::string::npos) << said;
    EXPECT_NE(said.find("\"result\":0"), std::string::npos) << "the record itself: " << said;
    EXPECT_EQ(readText(log), std::string(4600, 'x') + "\n") << "no fragment left behind";
    const auto lines = splitLines(cli.standardOutput());
    EXPECT_NE(std::find(lines.begin(), lines.end(), *pty + ": normal end."), lines.end());
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), *pty + ": 1 passed, 0 failed");
}

} // namespace
} // namespace pexo::test
