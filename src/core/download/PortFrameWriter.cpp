#include "core/download/PortFrameWriter.h"

#include "core/protocol/DownloadContext.h"
#include "core/protocol/Frames.h"
#include "core/serial/SerialPort.h"

#include <algorithm>

namespace pexo {
namespace {

// The reply time-out of the step a frame belongs to (the block checksum goes with the blocks).
std::chrono::milliseconds replyTimeoutOf(const DownloadContext& ctx) {
    std::int32_t ms = 0;
    switch (ctx.currentStep()) {
    case command::kSectorSize:
        ms = ctx.rxSectorSizeTimeout;
        break;
    case command::kErase:
        ms = ctx.rxEraseCompletionTimeout;
        break;
    case command::kWriteBlock:
        ms = ctx.rxWriteCompletionTimeout;
        break;
    case command::kChecksumDisplay:
    case command::kFullChecksum:
        ms = ctx.rxChecksumTimeout;
        break;
    default:
        break;
    }
    return std::chrono::milliseconds(std::max(ms, 1));
}

} // namespace

void PortFrameWriter::write(const std::uint8_t* bytes, std::size_t length) {
    WriteLimits limits{writeTimeLimit(length, ctx_.baudRate), {}};
    // From 38400 baud on a write has no limit of its own; a line held by flow control must
    // still end, so a write that makes no progress for the step's reply time-out ends as a
    // slower line's does at its limit.
    if (limits.total.count() == 0)
        limits.stall = replyTimeoutOf(ctx_);
    writePort(ctx_, bytes, length, limits);
}

} // namespace pexo
