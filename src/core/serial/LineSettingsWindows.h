#pragma once

#include "core/serial/LineSettings.h"

#include <windows.h>

#include <string>

namespace pexo {

// Turns `dcb`, as read from the port, into the line `s` describes: rate (any; the driver
// picks its divisor), framing, handshakes, XON/XOFF characters and limits, binary mode and
// parity checking. Settings the context does not name keep their values, except that an error
// no longer aborts the port's I/O (the reader would take it for a vanished device). Returns
// false, with the reason in `why`, for values no line takes.
bool applyLineSettings(DCB& dcb, const LineSettings& s, std::string* why);

} // namespace pexo
