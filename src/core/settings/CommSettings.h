#pragma once

#include <cstdint>

namespace pexo {

// The serial settings as the RS232C dialog and the settings file hold them. All fields but
// Flow are positions in the RS232C dialog's lists (CommLists.h), not physical values; values
// outside the lists are kept as they are and mapped to fallbacks only when copied into a
// download. A default-constructed record holds the built-in defaults.
struct CommSettings {
    std::int32_t Port = 0;      // 0 COM1, 1 COM2
    std::int32_t BaudRate = 11; // 57600
    std::int32_t DataBits = 3;  // 8 bits
    std::int32_t Parity = 1;    // Even
    std::int32_t StopBits = 0;  // 1 stop bit
    std::int32_t Flow = 0;      // bit 0 DTR/DSR, bit 1 RTS/CTS, bit 2 XON/XOFF

    friend bool operator==(const CommSettings&, const CommSettings&) = default;
};

} // namespace pexo
