#pragma once

#include <termios.h>

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

// The termios speed for a rate termios names, or none (such rates need setCustomSpeed).
std::optional<speed_t> standardSpeed(std::uint32_t baudRate);

// Turns `t`, as read from the port, into a raw line with `s`. Settings the context does not
// name keep their values. Returns false, with the reason in `why`, for values no line takes.
// A rate termios does not name is left for setCustomSpeed.
//
// Linux has no 1.5 stop bits: 1.5 gives two, the usual reading of it above 5 data bits.
// Linux has no DSR output handshake either: with bit 0, DTR is simply held raised.
bool applyLineSettings(termios& t, const LineSettings& s, std::string* why);

} // namespace pexo
