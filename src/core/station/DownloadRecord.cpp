#include "core/station/DownloadRecord.h"

#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>

namespace pexo {
namespace {

using Json = nlohmann::ordered_json;

std::string hex(const char* format, std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string resultText(const DownloadRecord& record) {
    return record.result ? std::to_string(*record.result) : "cancelled";
}

std::string elapsedText(std::chrono::milliseconds elapsed) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", static_cast<double>(elapsed.count()) / 1000.0);
    return text;
}

Json optionalText(const std::optional<std::string>& text) {
    return text ? Json(*text) : Json(nullptr);
}

// Every column as text, in the log's order; null as none.
std::vector<std::pair<const char*, std::optional<std::string>>> columns(const DownloadRecord& r) {
    const auto usb = [&](std::string UsbIdentity::*field) -> std::optional<std::string> {
        if (!r.identity.usb)
            return std::nullopt;
        return (*r.identity.usb).*field;
    };
    std::string lines;
    for (const std::string& line : r.lines)
        lines += (lines.empty() ? "" : "\n") + line;
    std::optional<std::string> device;
    if (r.deviceChecksum)
        device = hex("0x%08X", *r.deviceChecksum);
    return {
        {"started", utcTimestamp(r.started)},
        {"ended", utcTimestamp(r.ended)},
        {"host", r.host},
        {"port", r.port},
        {"device", r.identity.device},
        {"by_id", r.identity.byId},
        {"by_path", r.identity.byPath},
        {"usb_vid", usb(&UsbIdentity::vid)},
        {"usb_pid", usb(&UsbIdentity::pid)},
        {"usb_serial", usb(&UsbIdentity::serial)},
        {"usb_manufacturer", usb(&UsbIdentity::manufacturer)},
        {"usb_product", usb(&UsbIdentity::product)},
        {"archive", r.archive},
        {"image_sha256", r.imageSha256},
        {"image_length", std::to_string(r.imageLength)},
        {"write_first", hex("0x%06X", r.writeFirst)},
        {"write_last", hex("0x%06X", r.writeLast)},
        {"sector_size", std::to_string(r.sectorSize)},
        {"baud", std::to_string(r.baud)},
        {"attempt", std::to_string(r.attempt)},
        {"result", resultText(r)},
        {"lines", lines},
        {"elapsed_s", elapsedText(r.elapsed)},
        {"pc_checksum", hex("0x%08X", r.pcChecksum)},
        {"device_checksum", device},
        {"pexo_version", r.pexoVersion},
    };
}

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

} // namespace

std::string utcTimestamp(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    // The calendar arithmetic of the standard library: the same on every platform, and whole
    // days counted downwards, so that a time before 1970 still counts its milliseconds upwards.
    const sys_time<milliseconds> ms{duration_cast<milliseconds>(time.time_since_epoch())};
    const sys_days day = floor<days>(ms);
    const year_month_day date{day};
    const hh_mm_ss clock{ms - day};
    char text[48];
    std::snprintf(
        text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
        static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
        static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
        static_cast<int>(clock.seconds().count()), static_cast<int>(clock.subseconds().count()));
    return text;
}

std::string recordJsonLine(const DownloadRecord& r) {
    Json usb(nullptr);
    if (r.identity.usb)
        usb = Json{{"vid", r.identity.usb->vid},
                   {"pid", r.identity.usb->pid},
                   {"serial", r.identity.usb->serial},
                   {"manufacturer", r.identity.usb->manufacturer},
                   {"product", r.identity.usb->product}};
    Json json;
    json["started"] = utcTimestamp(r.started);
    json["ended"] = utcTimestamp(r.ended);
    json["host"] = r.host;
    json["port"] = r.port;
    json["device"] = r.identity.device;
    json["by_id"] = optionalText(r.identity.byId);
    json["by_path"] = optionalText(r.identity.byPath);
    json["usb"] = std::move(usb);
    json["archive"] = r.archive;
    json["image_sha256"] = r.imageSha256;
    json["image_length"] = r.imageLength;
    json["write_first"] = hex("0x%06X", r.writeFirst);
    json["write_last"] = hex("0x%06X", r.writeLast);
    json["sector_size"] = r.sectorSize;
    json["baud"] = r.baud;
    json["attempt"] = r.attempt;
    json["result"] = r.result ? Json(*r.result) : Json("cancelled");
    json["lines"] = r.lines;
    json["elapsed_s"] = static_cast<double>(r.elapsed.count()) / 1000.0;
    json["pc_checksum"] = hex("0x%08X", r.pcChecksum);
    json["device_checksum"] =
        r.deviceChecksum ? Json(hex("0x%08X", *r.deviceChecksum)) : Json(nullptr);
    json["pexo_version"] = r.pexoVersion;
    return json.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string recordCsvHeader() {
    std::string row;
    for (const auto& [name, value] : columns(DownloadRecord{}))
        row += (row.empty() ? "" : ",") + std::string(name);
    return row + "\r\n";
}

std::string recordCsvRow(const DownloadRecord& record) {
    std::string row;
    bool first = true;
    for (const auto& [name, value] : columns(record)) {
        if (!first)
            row += ',';
        first = false;
        if (value)
            row += csvField(*value);
    }
    return row + "\r\n";
}

} // namespace pexo
