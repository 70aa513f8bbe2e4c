#include "core/protocol/ResultTexts.h"

#include "core/protocol/DownloadContext.h"
#include "core/protocol/Frames.h"
#include "core/protocol/ResultCode.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace pexo {

namespace {

[[gnu::format(printf, 1, 2)]] std::string format(const char* fmt, ...) {
    char buffer[256];
    va_list args;
    va_start(args, fmt);
    const int n = std::vsnprintf(buffer, sizeof buffer, fmt, args);
    va_end(args);
    if (n < 0)
        return {};
    return std::string(buffer,
                       std::min<std::size_t>(static_cast<std::size_t>(n), sizeof buffer - 1));
}

unsigned byteOf(std::uint32_t value, int shift) {
    return (value >> shift) & 0xFFu;
}

std::string checksumBytesText(std::uint32_t value) {
    return format(" RX[0x%02X] data:0x%02X,0x%02X,0x%02X,0x%02X", unsigned{reply::kChecksum},
                  byteOf(value, 24), byteOf(value, 16), byteOf(value, 8), byteOf(value, 0));
}

std::string timeoutText(std::uint8_t awaited, int optionCode) {
    return format("RX[0x%02X] timeout : Option code %d", unsigned{awaited}, optionCode);
}

std::string errorReplyText(const DownloadContext& ctx) {
    return format(" RX[0x%02X] data:0x%02X", unsigned{ctx.replyBytes[0].load()},
                  unsigned{ctx.replyBytes[1].load()});
}

std::string receivedBytesText(const DownloadContext& ctx) {
    std::string text = " RX:";
    const std::int32_t stored = ctx.replyLength.load();
    const std::size_t count = stored <= 0 ? 0
                                          : std::min<std::size_t>(static_cast<std::size_t>(stored),
                                                                  DownloadContext::kReplyCapacity);
    for (std::size_t i = 0; i < count; ++i)
        text += format("0x%02X ", unsigned{ctx.replyBytes[i].load()});
    return text;
}

} // namespace

std::string durationText(std::uint32_t seconds) {
    return format("%02u:%02u:%02u", seconds / 3600, (seconds / 60) % 60, seconds % 60);
}

NormalEndLines normalEndLines(const DownloadContext* ctx) {
    NormalEndLines lines;
    if (ctx == nullptr)
        return lines;
    lines.timeLine = "Total time : " + durationText(ctx->elapsedSeconds.load());
    lines.pcChecksumLine = format(" PC Side Write Data Checksum : 0x%08X", ctx->pcChecksum.load());
    // Both checksum requests are answered with 0x86, so both are labelled with it.
    const std::uint32_t value =
        ctx->fullChecksumEnabled ? ctx->deviceFullChecksum.load() : ctx->deviceChecksum.load();
    lines.deviceChecksumLine = " Checksum" + checksumBytesText(value);
    return lines;
}

ErrorEndLines errorEndLines(const DownloadContext* ctx, std::uint32_t imageLength) {
    ErrorEndLines lines;
    if (ctx == nullptr)
        return lines;
    lines.timeLine = "stop time : " + durationText(ctx->elapsedSeconds.load());
    switch (static_cast<ResultCode>(ctx->resultCode.load())) {
    case ResultCode::SectorSizeTimeout:
        lines.errorLine = timeoutText(reply::kSectorSize, 52);
        break;
    case ResultCode::EraseTimeout:
        lines.errorLine = timeoutText(reply::kEraseDone, 53);
        break;
    case ResultCode::WriteCompletionTimeout:
        lines.errorLine = timeoutText(reply::kWriteDone, 51);
        break;
    case ResultCode::ChecksumTimeout:
        lines.errorLine = timeoutText(reply::kChecksum, 54);
        break;
    case ResultCode::SectorSizeMismatch:
        lines.errorLine = "Error occured in sector size.";
        lines.detailLine = errorReplyText(*ctx);
        break;
    case ResultCode::EraseError:
        lines.errorLine = "Erase Error.";
        lines.detailLine = errorReplyText(*ctx);
        break;
    case ResultCode::WriteError:
        lines.errorLine = "Write Error.";
        lines.detailLine = errorReplyText(*ctx);
        break;
    case ResultCode::ImageTooShort:
        lines.errorLine = "File Length Error : Option Code 63.";
        lines.detailLine = format(" File Length:0x%06X.", imageLength);
        break;
    case ResultCode::ProtocolError:
        lines.errorLine = "Protocol Error.";
        lines.detailLine = receivedBytesText(*ctx);
        break;
    case ResultCode::SerialError:
        lines.errorLine = "RS232C Error.";
        lines.detailLine = " " + ctx->commErrorText();
        break;
    case ResultCode::FullChecksumMismatch:
        lines.errorLine = "Checksum error occured. Code 72.";
        lines.detailLine = checksumBytesText(ctx->deviceFullChecksum.load());
        break;
    default:
        break; // no error, or a value no one sets: the stop time only
    }
    return lines;
}

} // namespace pexo
