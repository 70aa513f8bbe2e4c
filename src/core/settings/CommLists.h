#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace pexo {

// The entries of the settings dialogs' lists, position 0 first, exactly as shown.
inline constexpr std::array<std::string_view, 2> kPortList{"COM1", "COM2"};
inline constexpr std::array<std::string_view, 15> kBaudRateList{
    "110",   "300",   "600",   "1200",  "2400",   "4800",   "9600",  "14400",
    "19200", "38400", "56000", "57600", "115200", "128000", "256000"};
inline constexpr std::array<std::string_view, 4> kDataBitsList{"5", "6", "7", "8"};
inline constexpr std::array<std::string_view, 3> kParityList{"None", "Even", "Odd"};
inline constexpr std::array<std::string_view, 3> kStopBitsList{"1", "1.5", "2"};
inline constexpr std::array<std::string_view, 7> kSectorSizeList{"128",  "256",  "512", "1024",
                                                                 "2048", "4096", "8192"};

// The position of `entry` in `list`, or -1 (a list showing no entry) when it is not there.
std::int32_t positionIn(std::span<const std::string_view> list, std::string_view entry);

// What a download uses for each list position. Positions outside a list take a fixed
// fallback (noted below), so values from a hand-edited file never stop a download.
std::uint8_t portNumberFor(std::int32_t port);       // COM number; COM1 unless position 1
std::uint32_t baudRateFor(std::int32_t position);    // bits per second; 57600
std::uint8_t dataBitsFor(std::int32_t position);     // 8
std::uint8_t parityCodeFor(std::int32_t position);   // port code 0 none, 1 odd, 2 even; 0
std::uint8_t stopBitsCodeFor(std::int32_t position); // port code 0 one, 1 one and a half, 2 two; 0
std::uint8_t sectorSizeCodeFor(std::int32_t code61); // 1..7 (128 << code-1 bytes); 4

// The flow-control check boxes and the Flow bit set they stand for. Bits above bit 2 have no
// box, so they are dropped on the way through the boxes.
struct FlowChecks {
    bool dtrDsr = false;  // bit 0
    bool rtsCts = false;  // bit 1
    bool xonXoff = false; // bit 2

    friend bool operator==(const FlowChecks&, const FlowChecks&) = default;
};
FlowChecks flowChecksFrom(std::int32_t flow);
std::int32_t flowFrom(FlowChecks checks);

} // namespace pexo
