#include "core/protocol/ProtocolEngine.h"

#include "core/app/Host.h"
#include "core/protocol/Checksum.h"
#include "core/protocol/DownloadContext.h"
#include "core/protocol/FrameWriter.h"
#include "core/protocol/Frames.h"
#include "core/protocol/ResultCode.h"

#include <algorithm>
#include <new>

namespace pexo {

namespace {

// Time-outs and pauses are compared as elapsed ticks, so they stay right when the 32-bit
// counter wraps. A negative setting counts as 0.
std::uint32_t ticks(std::int32_t ms) {
    return static_cast<std::uint32_t>(std::max(ms, 0));
}

// A write stamped at tick 0 is kept as 1 (0 means nothing sent): seen from tick 0 it lies one
// tick ahead, which is no time at all, not 2^32 - 1 ms.
std::uint32_t elapsed(std::uint32_t now, std::uint32_t since) {
    return since == 1 && now == 0 ? 0 : now - since;
}

bool expired(std::uint32_t now, std::uint32_t since, std::int32_t timeout) {
    return elapsed(now, since) > ticks(timeout);
}

// Ticks until expired() turns true.
std::uint32_t untilExpired(std::uint32_t now, std::uint32_t since, std::int32_t timeout) {
    const std::uint32_t gone = elapsed(now, since);
    return gone > ticks(timeout) ? 0 : ticks(timeout) - gone + 1;
}

// The reply time-out of a step of one request; none for the write step and the connect poll.
std::optional<std::int32_t> replyTimeout(const DownloadContext& ctx) {
    switch (ctx.currentStep()) {
    case command::kSectorSize:
        return ctx.rxSectorSizeTimeout;
    case command::kErase:
        return ctx.rxEraseCompletionTimeout;
    case command::kChecksumDisplay:
    case command::kFullChecksum:
        return ctx.rxChecksumTimeout;
    default:
        return std::nullopt;
    }
}

} // namespace

ProtocolEngine::ProtocolEngine(Host& host, FrameWriter& port, CompletionSink sink, TickClock clock)
    : host_(host), port_(port), sink_(std::move(sink)), clock_(std::move(clock)),
      image_(host.imageBytes()) {}

void ProtocolEngine::pass(std::uint32_t now) {
    if (completion_)
        return;
    DownloadContext* ctx = host_.downloadContext();
    if (ctx == nullptr) {
        abort("Memory error.");
        return;
    }
    if (ctx->resultCode.load() != 0) {
        complete(CompletionCommand::Failed);
        return;
    }

    const std::int32_t index = ctx->stepIndex.load();
    if (index != stepIndex_) {
        stepIndex_ = index;
        requestSent_ = false;
    }
    switch (ctx->currentStep()) {
    case command::kSectorSize:
        requestStep(*ctx, now, sectorSizeFrame(ctx->sectorSizeCode), ctx->rxSectorSizeTimeout,
                    toInt(ResultCode::SectorSizeTimeout));
        break;
    case command::kErase:
        requestStep(*ctx, now, eraseFrame(ctx->eraseAddress, ctx->eraseSectorCount),
                    ctx->rxEraseCompletionTimeout, toInt(ResultCode::EraseTimeout));
        break;
    case command::kWriteBlock:
        writeStep(*ctx, now);
        break;
    case command::kChecksumDisplay:
        requestStep(*ctx, now, checksumDisplayFrame(), ctx->rxChecksumTimeout,
                    toInt(ResultCode::ChecksumTimeout));
        break;
    case command::kFullChecksum:
        requestStep(*ctx, now, fullChecksumFrame(ctx->fullChecksum), ctx->rxChecksumTimeout,
                    toInt(ResultCode::ChecksumTimeout));
        break;
    case command::kEnd:
        complete(CompletionCommand::Success);
        break;
    default:
        break; // the connect poll belongs to the connect prompt
    }
}

std::optional<std::uint32_t> ProtocolEngine::nextDeadline(std::uint32_t now) const {
    if (completion_)
        return std::nullopt;
    const DownloadContext* ctx = host_.downloadContext();
    if (ctx == nullptr || ctx->resultCode.load() != 0 || ctx->stepIndex.load() != stepIndex_)
        return 0;
    const std::uint8_t step = ctx->currentStep();
    if (step == command::kEnd)
        return 0;
    if (step == command::kWriteBlock)
        return writeDeadline(*ctx, now);
    const std::optional<std::int32_t> timeout = replyTimeout(*ctx);
    if (!timeout)
        return std::nullopt; // the connect poll: not the engine's
    if (!requestSent_)
        return 0;
    const std::uint32_t sentAt = ctx->lastTxTick.load();
    if (sentAt == 0)
        return std::nullopt; // the reply is being accepted; the step change will tell
    return untilExpired(now, sentAt, *timeout);
}

std::optional<std::uint32_t> ProtocolEngine::writeDeadline(const DownloadContext& ctx,
                                                           std::uint32_t now) const {
    if (blockBuffer_.empty())
        return 0;
    const std::uint32_t sentAt = ctx.lastTxTick.load();
    if (lastBlockSent_) {
        if (sentAt == 0)
            return std::nullopt;
        return untilExpired(now, sentAt, ctx.rxWriteCompletionTimeout);
    }
    if (requestSent_ && sentAt == 0)
        return std::nullopt;
    if (sentAt != 0 && elapsed(now, sentAt) < ticks(ctx.txWaitSurplusTime))
        return ticks(ctx.txWaitSurplusTime) - elapsed(now, sentAt);
    return 0;
}

void ProtocolEngine::requestStep(DownloadContext& ctx, std::uint32_t now,
                                 std::span<const std::uint8_t> frame, std::int32_t timeout,
                                 std::int32_t timeoutResult) {
    if (!requestSent_) {
        requestSent_ = true;
        send(ctx, frame);
        return;
    }
    // Each request goes out once; no retries.
    const std::uint32_t sentAt = ctx.lastTxTick.load();
    if (sentAt == 0)
        return; // a reply is being accepted right now; the next pass sees the next step
    if (expired(now, sentAt, timeout)) {
        ctx.recordResult(timeoutResult);
        complete(CompletionCommand::Failed);
    }
}

void ProtocolEngine::writeStep(DownloadContext& ctx, std::uint32_t now) {
    if (blockBuffer_.empty()) {
        blockSize_ = sectorSizeBytes(ctx.deviceSectorSizeCode.load());
        if (blockSize_ == 0) {
            // A code outside 1..7 was agreed: without a block size the write range would
            // never be covered, so the download stops with the sector size error.
            ctx.recordResult(toInt(ResultCode::SectorSizeMismatch));
            complete(CompletionCommand::Failed);
            return;
        }
        try {
            blockBuffer_.assign(kWriteHeaderSize + static_cast<std::size_t>(blockSize_), 0);
        } catch (const std::bad_alloc&) {
            abort("Memory error.");
            return;
        }
    }

    const std::uint32_t sentAt = ctx.lastTxTick.load();
    if (lastBlockSent_) {
        if (sentAt != 0 && expired(now, sentAt, ctx.rxWriteCompletionTimeout)) {
            ctx.recordResult(toInt(ResultCode::WriteCompletionTimeout));
            complete(CompletionCommand::Failed);
        }
        return; // waiting for the write-complete reply
    }
    if (requestSent_ && sentAt == 0)
        return; // the device ended the write step early; its reply is being accepted
    if (sentAt != 0 && elapsed(now, sentAt) < ticks(ctx.txWaitSurplusTime))
        return; // pacing between blocks
    sendBlock(ctx);
}

void ProtocolEngine::sendBlock(DownloadContext& ctx) {
    const std::int32_t address =
        requestSent_ ? ctx.writeAddress.load() + blockSize_ : ctx.writeFirstAddress;
    // The device may have ended the write step meanwhile: then the context belongs to the
    // next step.
    if (ctx.stepIndex.load() != stepIndex_)
        return;
    ctx.writeAddress.store(address);
    if (image_.empty()) {
        abort("read data set failed.");
        return;
    }
    requestSent_ = true;
    fillWriteBlock(blockBuffer_, address, image_);
    const std::uint32_t sum =
        accumulateChecksum(ctx.pcChecksum.load(), blockBuffer_.data() + kWriteHeaderSize,
                           static_cast<std::size_t>(blockSize_));
    const bool sent = send(ctx, blockBuffer_);
    if (sent)
        ctx.pcChecksum.store(sum); // the sum covers the data actually sent

    // 64-bit sum: a write range reaching the top of the 32-bit range must still end.
    lastBlockSent_ = std::int64_t{address} + blockSize_ >= std::int64_t{ctx.writeLastAddress};
    // A last block that failed has ended the run: 0x84 after it would only wait out a line
    // held by flow control a second time.
    if (lastBlockSent_ && sent && ctx.resultCode.load() == 0) {
        const auto frame = blockChecksumFrame(ctx.pcChecksum.load());
        send(ctx, frame);
    }
}

bool ProtocolEngine::send(DownloadContext& ctx, std::span<const std::uint8_t> frame) {
    // A reply accepted meanwhile (the device may end the write step early) means this step
    // is over: its frame is not sent, and nothing in the next step awaits a reply to it.
    if (ctx.stepIndex.load() != stepIndex_)
        return false;
    // Only a request that goes out is awaited; set before the write, so that a reply beating
    // the write's return is matched to it.
    ctx.pendingRequest.store(frame[0]);
    const std::uint32_t before = txTick();
    ctx.lastTxTick.store(before);
    port_.write(frame.data(), frame.size());
    // The refresh belongs to this step: when the reply was accepted while the write was
    // still returning, lastTxTick is already 0 for the next step and must stay so.
    std::uint32_t expected = before;
    ctx.lastTxTick.compare_exchange_strong(expected, txTick());
    return true;
}

std::uint32_t ProtocolEngine::txTick() const {
    // 0 means "nothing sent in this step", so a tick that happens to read 0 is stored as 1.
    const std::uint32_t t = clock_();
    return t == 0 ? 1 : t;
}

void ProtocolEngine::complete(CompletionCommand command) {
    completion_ = command;
    if (sink_)
        sink_(command);
}

void ProtocolEngine::abort(std::string_view message) {
    host_.showMessage(message, MessageIcon::Stop);
    complete(CompletionCommand::Aborted);
}

} // namespace pexo
