#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pexo {

struct DownloadContext;

// The normal-end report's second line.
inline constexpr std::string_view kNormalEndText = "normal end.";

// Whole seconds as "HH:MM:SS"; the hours are not wrapped (100 hours print as "100:00:00").
std::string durationText(std::uint32_t seconds);

// The lines of the normal-end report; all empty without a context.
struct NormalEndLines {
    std::string timeLine;           // "Total time : HH:MM:SS"
    std::string pcChecksumLine;     // " PC Side Write Data Checksum : 0x%08X"
    std::string deviceChecksumLine; // " Checksum RX[0x86] data:0x..,0x..,0x..,0x.."
};

// The lines of the error report; all empty without a context. thirdLine is always empty.
struct ErrorEndLines {
    std::string timeLine; // "stop time : HH:MM:SS"
    std::string errorLine;
    std::string detailLine;
    std::string thirdLine;
};

NormalEndLines normalEndLines(const DownloadContext* ctx);

// `imageLength` is the length of the loaded image, shown with result code 8.
ErrorEndLines errorEndLines(const DownloadContext* ctx, std::uint32_t imageLength);

} // namespace pexo
