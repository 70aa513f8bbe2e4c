#pragma once

#include <cstdint>

namespace pexo {

// The protocol parameters as the Parameter dialog and the settings file hold them. Ranges are
// the dialog's business (ParameterChecks.h); loading takes values as they stand. A
// default-constructed record holds the built-in defaults.
struct ProtocolParameters {
    std::int32_t Code30 = 10;         // TX interval, ms
    std::int32_t Code31 = 1000;       // TX wait surplus, ms
    std::int32_t Code51 = 180000;     // write-completion time-out, ms
    std::int32_t Code52 = 180000;     // sector-size designation time-out, ms
    std::int32_t Code53 = 180000;     // erase-completion time-out, ms
    std::int32_t Code54 = 180000;     // checksum time-out, ms
    std::int32_t Code61 = 3;          // sector-size list position (1024 bytes); -1 none chosen
    std::int32_t Code62_1 = 0x4000;   // first address to erase
    std::int32_t Code62_2 = 0x22;     // number of sectors to erase
    std::int32_t Code63_1 = 0x6000;   // first address written
    std::int32_t Code63_2 = 0x1FFFFF; // last address written
    std::int32_t CheckCode72 = 0;     // 1: the device compares Code72 with its own sum
    std::uint32_t Code72 = 0xFFFFFFFF;

    friend bool operator==(const ProtocolParameters&, const ProtocolParameters&) = default;
};

} // namespace pexo
