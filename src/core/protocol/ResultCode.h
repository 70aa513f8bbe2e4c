#pragma once

#include <cstdint>

namespace pexo {

// The outcome of a download as kept in DownloadContext::resultCode.
enum class ResultCode : std::int32_t {
    None = 0,
    SectorSizeTimeout = 1,      // no reply to 0x82 within Code52
    EraseTimeout = 2,           // no reply to 0x85 within Code53
    WriteCompletionTimeout = 3, // no reply to 0x84 within Code51
    ChecksumTimeout = 4,        // no reply to 0x86 / 0x89 within Code54
    SectorSizeMismatch = 5,
    EraseError = 6,
    WriteError = 7,
    ImageTooShort = 8,
    ProtocolError = 9,
    SerialError = 10,
    FullChecksumMismatch = 11,
};

constexpr std::int32_t toInt(ResultCode code) {
    return static_cast<std::int32_t>(code);
}

} // namespace pexo
