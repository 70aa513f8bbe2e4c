#include "core/serial/LineSettings.h"

#include "core/protocol/DownloadContext.h"

#include <utility>

namespace pexo {

LineSettings lineSettingsOf(const DownloadContext& ctx) {
    LineSettings s;
    s.baudRate = ctx.baudRate;
    s.dataBits = ctx.dataBits;
    s.parity = ctx.parity;
    s.stopBits = ctx.stopBits;
    s.flowControl = ctx.flowControl;
    return s;
}

namespace {

bool refuse(std::string* why, std::string text) {
    if (why)
        *why = std::move(text);
    return false;
}

} // namespace

bool checkLineSettings(const LineSettings& s, std::string* why) {
    if (s.dataBits < 5 || s.dataBits > 8)
        return refuse(why, "unsupported data bits " + std::to_string(s.dataBits));
    if (s.parity > 2)
        return refuse(why, "unsupported parity " + std::to_string(s.parity));
    if (s.stopBits > 2)
        return refuse(why, "unsupported stop bits " + std::to_string(s.stopBits));
    // Speed 0 would hang the line up rather than set a rate.
    if (s.baudRate == 0)
        return refuse(why, "unsupported baud rate 0");
    return true;
}

} // namespace pexo
