// Records written to a real log file and read back, as JSON Lines and as CSV.
#include "core/station/RecordLog.h"

#include "support/ScratchFolder.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

namespace pexo {

using test::ScratchFolder;
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class Folder {
public:
    std::string file(const std::string& name) const { return (scratch_.path() / name).string(); }

private:
    ScratchFolder scratch_{"pexo-records"};
};

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A passed try with every field set, text that needs escaping included, and a cancelled one
// with every field that can be null left so.
std::vector<DownloadRecord> samples() {
    DownloadRecord passed;
    passed.started = std::chrono::system_clock::time_point{} + 1714557600123ms; // 2024-05-01
    passed.ended = passed.started + 4567ms;
    passed.host = "line-3";
    passed.port = "COM1";
    passed.identity = {"/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI_\"A\",1-if00",
                       "/dev/serial/by-path/pci-0:1.0",
                       UsbIdentity{"0403", "6001", "A1B2", "FTDI", "FT232R\tUSB"}};
    passed.archive = std::string("/srv/images/caf\xC3\xA9/bad\xFF\x01name.lzh");
    passed.imageSha256 = std::string(64, 'a');
    passed.imageLength = 4096;
    passed.writeFirst = 0;
    passed.writeLast = 0xFFF;
    passed.sectorSize = 1024;
    passed.baud = 115200;
    passed.attempt = 2;
    passed.result = 0;
    passed.lines = {"Total time : 00:00:04", "normal end.",
                    " PC Side Write Data Checksum : 0x0007F800"};
    passed.elapsed = 4567ms;
    passed.pcChecksum = 0x7F800;
    passed.deviceChecksum = 0x7F800;
    passed.pexoVersion = "1.0";

    DownloadRecord cancelled = passed;
    cancelled.identity = {"/dev/pts/7", {}, {}, {}};
    cancelled.archive = "/tmp/a.lzh";
    cancelled.attempt = 1;
    cancelled.result.reset();
    cancelled.lines.clear();
    cancelled.deviceChecksum.reset();
    return {passed, cancelled};
}

TEST(RecordLog, JsonLinesReadBackFieldForFieldInOrder) {
    Folder folder;
    const std::string path = folder.file("r.jsonl");
    for (const DownloadRecord& record : samples()) {
        RecordLog log; // reopened for each: appends, never truncates
        ASSERT_FALSE(log.open(path));
        EXPECT_EQ(log.format(), RecordLog::Format::JsonLines);
        ASSERT_FALSE(log.append(record));
    }
    std::istringstream lines(contents(path));
    std::string line;
    std::vector<nlohmann::ordered_json> read;
    while (std::getline(lines, line))
        read.push_back(nlohmann::ordered_json::parse(line)); // throws on invalid UTF-8
    ASSERT_EQ(read.size(), 2u);

    std::vector<std::string> names;
    for (const auto& item : read[0].items())
        names.push_back(item.key());
    const std::vector<std::string> expected{
        "started",         "ended",       "host",       "port",        "device",
        "by_id",           "by_path",     "usb",        "archive",     "image_sha256",
        "image_length",    "write_first", "write_last", "sector_size", "baud",
        "attempt",         "result",      "lines",      "elapsed_s",   "pc_checksum",
        "device_checksum", "pexo_version"};
    EXPECT_EQ(names, expected);

    const auto& passed = read[0];
    EXPECT_EQ(passed["started"], "2024-05-01T10:00:00.123Z");
    EXPECT_EQ(passed["ended"], "2024-05-01T10:00:04.690Z");
    EXPECT_EQ(passed["by_id"], "/dev/serial/by-id/usb-FTDI_\"A\",1-if00");
    EXPECT_EQ(passed["usb"]["product"], "FT232R\tUSB");
    EXPECT_EQ(passed["usb"]["vid"], "0403");
    EXPECT_EQ(passed["archive"], "/srv/images/caf\xC3\xA9/bad\xEF\xBF\xBD\x01name.lzh")
        << "a stray byte becomes U+FFFD, the rest is kept";
    EXPECT_EQ(passed["image_length"], 4096);
    EXPECT_EQ(passed["write_last"], "0x000FFF");
    EXPECT_EQ(passed["sector_size"], 1024);
    EXPECT_EQ(passed["attempt"], 2);
    EXPECT_EQ(passed["result"], 0);
    EXPECT_EQ(passed["lines"].size(), 3u);
    EXPECT_EQ(passed["lines"][1], "normal end.");
    EXPECT_DOUBLE_EQ(passed["elapsed_s"].get<double>(), 4.567);
    EXPECT_EQ(passed["pc_checksum"], "0x0007F800");
    EXPECT_EQ(passed["device_checksum"], "0x0007F800");
    EXPECT_EQ(passed["pexo_version"], "1.0");

    const auto& cancelled = read[1];
    EXPECT_EQ(cancelled["result"], "cancelled");
    for (const char* name : {"by_id", "by_path", "usb", "device_checksum"})
        EXPECT_TRUE(cancelled[name].is_null()) << name;
    EXPECT_TRUE(cancelled["lines"].empty());
}

// RFC 4180 fields, quoted ones with doubled quotes and line breaks inside.
std::vector<std::vector<std::string>> parseCsv(const std::string& text) {
    std::vector<std::vector<std::string>> rows(1);
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"')
                field += text[++i];
            else if (c == '"')
                quoted = false;
            else
                field += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            rows.back().push_back(std::exchange(field, {}));
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            rows.back().push_back(std::exchange(field, {}));
            rows.emplace_back();
            ++i;
        } else {
            field += c;
        }
    }
    rows.pop_back(); // after the last CRLF
    return rows;
}

TEST(RecordLog, CsvHasOneHeaderAndReadsBackQuotedFields) {
    Folder folder;
    const std::string path = folder.file("records.CSV");
    for (const DownloadRecord& record : samples()) {
        RecordLog log;
        ASSERT_FALSE(log.open(path));
        EXPECT_EQ(log.format(), RecordLog::Format::Csv);
        ASSERT_FALSE(log.append(record));
    }
    const auto rows = parseCsv(contents(path));
    ASSERT_EQ(rows.size(), 3u) << "one header, written only to the new file";
    const auto& header = rows[0];
    ASSERT_EQ(header.size(), 26u);
    EXPECT_EQ(header.front(), "started");
    EXPECT_EQ(header[7], "usb_vid");
    EXPECT_EQ(header.back(), "pexo_version");
    const auto column = [&](const std::vector<std::string>& row, const std::string& name) {
        const auto at = std::find(header.begin(), header.end(), name);
        return row.at(static_cast<std::size_t>(at - header.begin()));
    };
    const auto& passed = rows[1];
    ASSERT_EQ(passed.size(), header.size());
    EXPECT_EQ(column(passed, "by_id"), "/dev/serial/by-id/usb-FTDI_\"A\",1-if00");
    EXPECT_EQ(column(passed, "archive"), "/srv/images/caf\xC3\xA9/bad\xFF\x01name.lzh")
        << "CSV keeps the bytes";
    EXPECT_EQ(column(passed, "lines"),
              "Total time : 00:00:04\nnormal end.\n PC Side Write Data Checksum : 0x0007F800");
    EXPECT_EQ(column(passed, "usb_product"), "FT232R\tUSB");
    EXPECT_EQ(column(passed, "result"), "0");
    EXPECT_EQ(column(passed, "elapsed_s"), "4.567");
    const auto& cancelled = rows[2];
    EXPECT_EQ(column(cancelled, "result"), "cancelled");
    EXPECT_EQ(column(cancelled, "usb_vid"), "");
    EXPECT_EQ(column(cancelled, "device_checksum"), "");
}

// Two logs on one file stand for two programs: each takes the file's own lock, so their
// records never interleave and the CSV header is written once.
TEST(RecordLog, LogsSharingAFileKeepEveryRecordWhole) {
    Folder folder;
    for (const std::string name : {"shared.jsonl", "shared.csv"}) {
        const std::string path = folder.file(name);
        RecordLog first;
        RecordLog second;
        ASSERT_FALSE(first.open(path));
        ASSERT_FALSE(second.open(path));
        constexpr int kEach = 50;
        const auto appendAll = [](RecordLog& log) {
            for (int i = 0; i < kEach; ++i)
                EXPECT_FALSE(log.append(samples()[static_cast<std::size_t>(i % 2)]));
        };
        std::thread other(appendAll, std::ref(second));
        appendAll(first);
        other.join();
        const std::string text = contents(path);
        if (first.format() == RecordLog::Format::Csv) {
            const auto rows = parseCsv(text);
            ASSERT_EQ(rows.size(), 1u + 2 * kEach);
            EXPECT_EQ(rows[0].front(), "started");
            for (const auto& row : rows)
                EXPECT_EQ(row.size(), rows[0].size());
            continue;
        }
        std::istringstream lines(text);
        int count = 0;
        for (std::string line; std::getline(lines, line); ++count)
            EXPECT_TRUE(nlohmann::json::accept(line)) << line;
        EXPECT_EQ(count, 2 * kEach);
    }
}

TEST(RecordLog, TimesAreUtcWithMillisecondsOnBothSidesOf1970) {
    const struct {
        std::chrono::milliseconds sinceEpoch;
        const char* text;
    } cases[] = {
        {0ms, "1970-01-01T00:00:00.000Z"},
        {-1500ms, "1969-12-31T23:59:58.500Z"},
        {1709251199999ms, "2024-02-29T23:59:59.999Z"},
        {4102444800000ms, "2100-01-01T00:00:00.000Z"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(utcTimestamp(std::chrono::system_clock::time_point{c.sinceEpoch}), c.text);
}

TEST(RecordLog, AFileThatCannotServeIsRefusedAtOpen) {
    Folder folder;
    fs::create_directory(folder.file("dir"));
    for (const std::string& path : {folder.file("dir"), folder.file("missing/r.jsonl")}) {
        RecordLog log;
        const auto refused = log.open(path);
        ASSERT_TRUE(refused) << path;
        EXPECT_FALSE(log.isOpen());
        EXPECT_TRUE(log.append(samples()[0]));
    }
}

} // namespace
} // namespace pexo
