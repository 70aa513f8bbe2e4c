#pragma once

#include "core/protocol/DownloadContext.h"
#include "core/protocol/FrameWriter.h"
#include "core/protocol/Frames.h"
#include "core/protocol/ReplyHandler.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace pexo::test {

using Bytes = std::vector<std::uint8_t>;

// A tick counter the test moves by hand.
struct FakeClock {
    std::atomic<std::uint32_t> now{1000};
    std::uint32_t operator()() const { return now.load(); }
    void advance(std::uint32_t ms) { now.fetch_add(ms); }
};

// Records every frame with the ticks at which its write started and returned. A write takes
// `writeMs` on the fake clock; `onWrite` runs inside the write (a reply arriving meanwhile,
// a serial failure, a Cancel...).
class FakePort : public FrameWriter {
public:
    struct Frame {
        Bytes bytes;
        std::uint32_t startedAt = 0;
        std::uint32_t returnedAt = 0;
    };

    explicit FakePort(FakeClock* clock = nullptr) : clock_(clock) {}

    void write(const std::uint8_t* bytes, std::size_t length) override {
        Frame frame{Bytes(bytes, bytes + length), tick(), 0};
        if (clock_ != nullptr)
            clock_->advance(writeMs);
        frame.returnedAt = tick();
        {
            std::lock_guard lock(mutex_);
            frames_.push_back(frame);
        }
        cv_.notify_all();
        if (onWrite)
            onWrite(frame.bytes);
    }

    std::vector<Frame> frames() const {
        std::lock_guard lock(mutex_);
        return frames_;
    }
    std::size_t count() const {
        std::lock_guard lock(mutex_);
        return frames_.size();
    }
    // Waits until at least `n` frames were written or `timeout` passed.
    bool waitForFrames(std::size_t n, std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, timeout, [&] { return frames_.size() >= n; });
    }

    std::uint32_t writeMs = 0;
    std::function<void(const Bytes&)> onWrite;

private:
    std::uint32_t tick() const { return clock_ != nullptr ? clock_->now.load() : 0; }

    FakeClock* clock_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<Frame> frames_;
};

// Answers requests the way a healthy device does: the reply that completes each step, with
// the byte sum of all block data as its checksum. Steps can be silenced one by one.
class FakeDevice {
public:
    Bytes replyTo(const Bytes& frame) {
        switch (frame.at(0)) {
        case command::kSectorSize:
            return silent(command::kSectorSize) ? Bytes{} : Bytes{reply::kSectorSize, frame.at(1)};
        case command::kErase:
            return silent(command::kErase) ? Bytes{} : Bytes{reply::kEraseDone};
        case command::kWriteBlock:
            for (std::size_t i = kWriteHeaderSize; i < frame.size(); ++i)
                sum += frame[i];
            ++blocks;
            return {};
        case command::kBlockChecksum:
            return silent(command::kBlockChecksum) ? Bytes{} : Bytes{reply::kWriteDone};
        case command::kChecksumDisplay:
            return silent(command::kChecksumDisplay) ? Bytes{} : checksumReply(sum);
        case command::kFullChecksum:
            return silent(command::kFullChecksum)
                       ? Bytes{}
                       : checksumReply(std::uint32_t{frame.at(1)} << 24 |
                                       std::uint32_t{frame.at(2)} << 16 |
                                       std::uint32_t{frame.at(3)} << 8 | frame.at(4));
        default:
            return {};
        }
    }

    static Bytes checksumReply(std::uint32_t value) {
        return {reply::kChecksum, static_cast<std::uint8_t>(value >> 24),
                static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 8),
                static_cast<std::uint8_t>(value)};
    }

    std::uint8_t silentStep = 0;
    std::uint32_t sum = 0;
    std::size_t blocks = 0;

private:
    bool silent(std::uint8_t request) const { return silentStep == request; }
};

// The default parameters of the settings, with the connect poll already passed (index 1),
// as the progress dialog leaves the context before it starts the protocol thread.
inline void prepareDefaultDownload(DownloadContext& ctx, bool fullChecksum = false,
                                   std::uint32_t fullChecksumValue = 0) {
    ctx.txIntervalTime = 20;
    ctx.txWaitSurplusTime = 0;
    ctx.rxWriteCompletionTimeout = 700;
    ctx.rxSectorSizeTimeout = 300;
    ctx.rxEraseCompletionTimeout = 500;
    ctx.rxChecksumTimeout = 900;
    ctx.sectorSizeCode = 4;
    ctx.eraseAddress = 0x4000;
    ctx.eraseSectorCount = 34;
    ctx.writeFirstAddress = 0x6000;
    ctx.writeLastAddress = 0x1FFFFF;
    ctx.fullChecksumEnabled = fullChecksum;
    ctx.fullChecksum = fullChecksumValue;
    resetProtocolState(ctx);
    advanceStep(ctx);
}

} // namespace pexo::test
