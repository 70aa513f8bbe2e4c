#include "core/protocol/ReplyHandler.h"

#include "core/app/Host.h"
#include "core/protocol/DownloadContext.h"
#include "core/protocol/Frames.h"
#include "core/protocol/ResultCode.h"

namespace pexo {

namespace {

// Appends `byte` when fewer than `limit` bytes are stored; returns the new length, or -1
// when the reply is already complete and the byte is ignored.
int appendReplyByte(DownloadContext& ctx, std::uint8_t byte, int limit) {
    const std::int32_t length = ctx.replyLength.load();
    if (length < 0 || length >= limit)
        return -1;
    ctx.replyBytes[static_cast<std::size_t>(length)].store(byte);
    ctx.replyLength.store(length + 1);
    return length + 1;
}

void fail(DownloadContext& ctx, ResultCode code) {
    ctx.recordResult(toInt(code));
}

void onSectorSizeByte(DownloadContext& ctx, std::uint8_t byte) {
    // The first byte is not judged before the second arrives.
    if (appendReplyByte(ctx, byte, 2) != 2)
        return;
    if (ctx.replyBytes[0].load() != reply::kSectorSize) {
        fail(ctx, ResultCode::ProtocolError);
        return;
    }
    const std::uint8_t code = ctx.replyBytes[1].load();
    ctx.deviceSectorSizeCode.store(code);
    if (code == ctx.sectorSizeCode)
        advanceStep(ctx);
    else
        fail(ctx, ResultCode::SectorSizeMismatch);
}

// Replies of one byte on success or two (failure byte, error byte) on failure.
void onShortReplyByte(DownloadContext& ctx, std::uint8_t byte, std::uint8_t doneByte,
                      std::uint8_t failedByte, ResultCode failedCode) {
    const int length = appendReplyByte(ctx, byte, 2);
    if (length == 1) {
        if (byte == doneByte)
            advanceStep(ctx);
    } else if (length == 2) {
        fail(ctx, ctx.replyBytes[0].load() == failedByte ? failedCode : ResultCode::ProtocolError);
    }
}

void onChecksumByte(DownloadContext& ctx, std::uint8_t byte, std::uint8_t request) {
    if (appendReplyByte(ctx, byte, 5) != 5)
        return;
    if (ctx.replyBytes[0].load() != reply::kChecksum) {
        fail(ctx, ResultCode::ProtocolError);
        return;
    }
    std::uint32_t value = 0;
    for (std::size_t i = 1; i <= 4; ++i)
        value = (value << 8) | ctx.replyBytes[i].load();
    if (request == command::kChecksumDisplay) {
        ctx.deviceChecksum.store(value);
        advanceStep(ctx);
        return;
    }
    ctx.deviceFullChecksum.store(value);
    if (value == ctx.fullChecksum)
        advanceStep(ctx);
    else
        fail(ctx, ResultCode::FullChecksumMismatch);
}

void handleByte(DownloadContext& ctx, std::uint8_t byte) {
    const std::uint8_t request = ctx.pendingRequest.load();
    switch (request) {
    case command::kConnectPoll:
        // The connect prompt only looks for the echo at position 0; replyLength stays 0.
        if (byte == reply::kConnected)
            ctx.replyBytes[0].store(byte);
        break;
    case command::kSectorSize:
        onSectorSizeByte(ctx, byte);
        break;
    case command::kWriteBlock:
    case command::kBlockChecksum:
        onShortReplyByte(ctx, byte, reply::kWriteDone, reply::kWriteFailed, ResultCode::WriteError);
        break;
    case command::kErase:
        onShortReplyByte(ctx, byte, reply::kEraseDone, reply::kEraseFailed, ResultCode::EraseError);
        break;
    case command::kChecksumDisplay:
    case command::kFullChecksum:
        onChecksumByte(ctx, byte, request);
        break;
    default:
        break; // nothing awaited: stray or trailing bytes
    }
}

} // namespace

void handleReceivedBytes(DownloadContext& ctx, const std::uint8_t* bytes, std::size_t length) {
    if (bytes == nullptr)
        return;
    for (std::size_t i = 0; i < length; ++i)
        handleByte(ctx, bytes[i]);
}

int handleReceivedBytes(Host& host, const std::uint8_t* bytes, std::size_t length) {
    DownloadContext* ctx = host.downloadContext();
    if (ctx == nullptr)
        return 0;
    handleReceivedBytes(*ctx, bytes, length);
    return 1;
}

} // namespace pexo
