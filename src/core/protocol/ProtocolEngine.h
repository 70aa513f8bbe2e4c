#pragma once

#include "core/protocol/Completion.h"
#include "core/protocol/TickClock.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace pexo {

class FrameWriter;
class Host;
struct DownloadContext;

// The protocol's sending side, one pass at a time: sends each step's request, paces the
// write blocks, watches the reply time-outs and ends the run with one completion command.
// Replies are not read here; the reply handler moves the context on and this only watches it.
//
// Not thread-safe itself: one thread calls pass() (CUDownloadProtocolThread, or a test).
class ProtocolEngine {
public:
    // The image is taken from host.imageBytes() now, and must outlive the engine.
    ProtocolEngine(Host& host, FrameWriter& port, CompletionSink sink,
                   TickClock clock = steadyTickMs);
    ProtocolEngine(const ProtocolEngine&) = delete;
    ProtocolEngine& operator=(const ProtocolEngine&) = delete;

    // One pass at tick `now`; does nothing once the completion command has been sent.
    void pass(std::uint32_t now);

    // Ticks from `now` until a pass next has something to do by itself: 0 at once, none when
    // only a change in the context (a reply, a result) or a stop can move the run on. A pass
    // earlier does no harm; one later is late. Call between passes, on the passing thread.
    std::optional<std::uint32_t> nextDeadline(std::uint32_t now) const;

    bool completed() const { return completion_.has_value(); }
    std::optional<CompletionCommand> completion() const { return completion_; }

private:
    void complete(CompletionCommand command);
    void abort(std::string_view message);
    void requestStep(DownloadContext& ctx, std::uint32_t now, std::span<const std::uint8_t> frame,
                     std::int32_t timeout, std::int32_t timeoutResult);
    void writeStep(DownloadContext& ctx, std::uint32_t now);
    void sendBlock(DownloadContext& ctx);
    std::optional<std::uint32_t> writeDeadline(const DownloadContext& ctx, std::uint32_t now) const;
    bool send(DownloadContext& ctx, std::span<const std::uint8_t> frame);
    std::uint32_t txTick() const;

    Host& host_;
    FrameWriter& port_;
    CompletionSink sink_;
    TickClock clock_;
    std::span<const std::uint8_t> image_;

    // The step being worked on, and whether its request (or first block) has gone out.
    // Kept here rather than read from lastTxTick: the reply handler clears lastTxTick before
    // it moves stepIndex on, and a pass between the two must not send the old request again.
    std::int32_t stepIndex_ = -1;
    bool requestSent_ = false;

    std::vector<std::uint8_t> blockBuffer_;
    std::int32_t blockSize_ = 0;
    bool lastBlockSent_ = false;

    std::optional<CompletionCommand> completion_;
};

} // namespace pexo
