#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace pexo {

struct DownloadContext;

// The line as the context describes it, in the serial driver's numbering.
struct LineSettings {
    std::uint32_t baudRate = 9600;
    std::uint8_t dataBits = 8;
    std::uint8_t parity = 0;      // 0 none, 1 odd, 2 even
    std::uint8_t stopBits = 0;    // 0 one, 1 one and a half, 2 two
    std::uint8_t flowControl = 0; // bit 0 DTR/DSR, bit 1 RTS/CTS, bit 2 XON/XOFF
};

LineSettings lineSettingsOf(const DownloadContext& ctx);

// Refuses values no line takes (data bits outside 5..8, parity above 2, stop bits above 2,
// rate 0), with the reason in `why`.
bool checkLineSettings(const LineSettings& s, std::string* why);

} // namespace pexo
