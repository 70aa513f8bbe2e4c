#pragma once

#include "core/serial/LineSettings.h"

#include <termios.h>

#include <optional>
#include <string>

namespace pexo {

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
