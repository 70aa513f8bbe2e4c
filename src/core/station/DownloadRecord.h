#pragma once

#include "core/station/PortIdentity.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pexo {

// One download try as the record log keeps it. The fields are in the order the log writes
// them, as JSON names and as CSV columns.
struct DownloadRecord {
    std::chrono::system_clock::time_point started, ended;
    std::string host;
    std::string port; // as the operator named it
    PortIdentity identity;
    std::string archive; // absolute path
    std::string imageSha256;
    std::uint32_t imageLength = 0;
    std::uint32_t writeFirst = 0, writeLast = 0;
    std::uint32_t sectorSize = 0; // bytes
    std::uint32_t baud = 0;
    unsigned attempt = 1;
    std::optional<std::int32_t> result; // none: cancelled
    std::vector<std::string> lines;
    std::chrono::milliseconds elapsed{0};
    std::uint32_t pcChecksum = 0;
    std::optional<std::uint32_t> deviceChecksum;
    std::string pexoVersion;
};

// One line of JSON, newline included. Text that is not UTF-8 (a path may hold any bytes)
// has each stray byte replaced by U+FFFD, so the line stays valid JSON.
std::string recordJsonLine(const DownloadRecord& record);

// The CSV header row and one record's row (RFC 4180: fields quoted when they hold a comma, a
// quote or a line break; CRLF ends each row). Null fields are empty; the result lines are
// joined by LF in one field; `usb` takes five columns.
std::string recordCsvHeader();
std::string recordCsvRow(const DownloadRecord& record);

// "2024-05-01T10:00:00.123Z".
std::string utcTimestamp(std::chrono::system_clock::time_point time);

} // namespace pexo
