// The protocol without the serial line and its threads: the reply handler and the engine
// driven together on one thread, with a fake clock, a recording writer and device bytes from
// the input, fed between passes or while a frame is being written. Whatever the device sends
// and whenever, every frame is well formed for its step, blocks carry the image's bytes, the
// run ends once, not before its time-outs and not long after them.
//
// Input: the download's parameters, then operations (device bytes now or during the next
// write, clock steps, passes, a serial failure, a stop) until the input is used up; then the
// clock runs on without device bytes until the run ends.
#include "core/app/Host.h"
#include "core/protocol/Checksum.h"
#include "core/protocol/DownloadContext.h"
#include "core/protocol/FrameWriter.h"
#include "core/protocol/Frames.h"
#include "core/protocol/ProtocolEngine.h"
#include "core/protocol/ReplyHandler.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace pexo;

void check(bool holds) {
    if (!holds)
        __builtin_trap();
}

// With clock steps below 2^16 ms, no wait spans the 32-bit tick counter's whole range.
constexpr std::size_t kMaxOps = 2048;
constexpr std::size_t kMaxChunk = 16;
constexpr std::int32_t kWriteStep = 3;
constexpr std::int32_t kEndStep = 5;

std::uint32_t be32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

std::int32_t clampToInt32(std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

struct Params {
    std::uint8_t sectorSizeCode = 0;
    std::size_t imageSize = 0;
    std::int32_t eraseAddress = 0;
    std::int32_t eraseCount = 0;
    std::int32_t writeFirst = 0;
    std::int32_t writeLast = 0;
    std::array<std::int32_t, 4> timeouts{}; // write completion, sector size, erase, checksum
    std::int32_t pacing = 0;
    bool fullChecksumEnabled = false;
    std::uint32_t fullChecksum = 0;
    std::uint32_t startTick = 0;
    std::uint32_t writeMs = 0;
};

// Mostly codes 1..7; now and then one the device cannot give a block size for.
std::uint8_t drawSectorSizeCode(FuzzedDataProvider& in) {
    static constexpr std::uint8_t kOdd[] = {0, 8, 9, 0x7F, 0x80, 0xFE, 0xFF, 7};
    const std::uint8_t raw = in.ConsumeIntegral<std::uint8_t>();
    return raw < 0xF8 ? static_cast<std::uint8_t>(1 + raw % 7) : kOdd[raw - 0xF8];
}

// Write ranges around a small image, below 0, at the top of the 24-bit and 32-bit ranges.
std::int32_t drawWriteFirst(FuzzedDataProvider& in, std::size_t imageSize) {
    const auto offset = static_cast<std::int64_t>(in.ConsumeIntegral<std::uint16_t>());
    switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
        return static_cast<std::int32_t>(offset % (static_cast<std::int64_t>(imageSize) + 1025));
    case 1:
        return static_cast<std::int32_t>(-(offset % 2049));
    case 2:
        return static_cast<std::int32_t>(0xFFFFFF - offset % 16384);
    default:
        return std::numeric_limits<std::int32_t>::max() - static_cast<std::int32_t>(offset % 16384);
    }
}

Params drawParams(FuzzedDataProvider& in) {
    Params p;
    p.sectorSizeCode = drawSectorSizeCode(in);
    p.imageSize = in.ConsumeIntegralInRange<std::size_t>(0, 6144);
    p.eraseAddress = in.ConsumeIntegral<std::int32_t>();
    p.eraseCount = in.ConsumeIntegral<std::int32_t>();
    p.writeFirst = drawWriteFirst(in, p.imageSize);
    p.writeLast = clampToInt32(std::int64_t{p.writeFirst} +
                               in.ConsumeIntegralInRange<std::int64_t>(-1024, 8192));
    for (auto& t : p.timeouts)
        t = in.ConsumeIntegralInRange<std::int32_t>(-2, 300);
    p.pacing = in.ConsumeIntegralInRange<std::int32_t>(-2, 40);
    p.fullChecksumEnabled = in.ConsumeBool();
    p.fullChecksum = in.ConsumeIntegral<std::uint32_t>();
    p.startTick = in.ConsumeIntegral<std::uint32_t>();
    p.writeMs = in.ConsumeIntegralInRange<std::uint32_t>(0, 3);
    return p;
}

class FuzzHost final : public Host {
public:
    explicit FuzzHost(std::size_t imageSize) : image_(imageSize) {
        for (std::size_t i = 0; i < imageSize; ++i)
            image_[i] = static_cast<std::uint8_t>(i * 131 + (i >> 8) + 7);
    }

    DownloadContext* downloadContext() override { return &ctx; }
    void showMessage(std::string_view, MessageIcon) override { ++messages; }
    std::string& imageFile() override { return file_; }
    std::uint32_t& imageSize() override { return size_; }
    std::span<const std::uint8_t> imageBytes() const override { return image_; }

    // Byte `address` of the device's memory as the image defines it: zero outside the image.
    std::uint8_t at(std::int64_t address) const {
        return address >= 0 && address < static_cast<std::int64_t>(image_.size())
                   ? image_[static_cast<std::size_t>(address)]
                   : 0;
    }

    DownloadContext ctx;
    int messages = 0;

private:
    std::vector<std::uint8_t> image_; // exactly the image's size: a read past it is caught
    std::string file_;
    std::uint32_t size_ = 0;
};

// What the next frame's write does besides taking the bytes.
struct DuringWrite {
    std::vector<std::uint8_t> reply; // arrives while the write is under way
    std::vector<std::uint8_t> late;  // arrives once the pass has returned
    bool serialFailure = false;
    bool stop = false;
};

class Download final : public FrameWriter {
public:
    explicit Download(FuzzedDataProvider& in)
        : p_(drawParams(in)), host_(p_.imageSize),
          engine_(
              host_, *this, [this](CompletionCommand c) { onCompletion(c); },
              [this] { return tick(); }) {
        DownloadContext& ctx = host_.ctx;
        ctx.txWaitSurplusTime = p_.pacing;
        ctx.rxWriteCompletionTimeout = p_.timeouts[0];
        ctx.rxSectorSizeTimeout = p_.timeouts[1];
        ctx.rxEraseCompletionTimeout = p_.timeouts[2];
        ctx.rxChecksumTimeout = p_.timeouts[3];
        ctx.sectorSizeCode = p_.sectorSizeCode;
        ctx.eraseAddress = p_.eraseAddress;
        ctx.eraseSectorCount = p_.eraseCount;
        ctx.writeFirstAddress = p_.writeFirst;
        ctx.writeLastAddress = p_.writeLast;
        ctx.fullChecksumEnabled = p_.fullChecksumEnabled;
        ctx.fullChecksum = p_.fullChecksum;
        resetProtocolState(ctx);
        advanceStep(ctx); // the connect poll has been answered
        step_ = ctx.stepIndex.load();
    }

    void run(FuzzedDataProvider& in) {
        for (std::size_t ops = 0; ops < kMaxOps && in.remaining_bytes() > 0; ++ops) {
            switch (in.ConsumeIntegral<std::uint8_t>() % 8) {
            case 0:
                feed(drawChunk(in));
                break;
            case 1:
                now_ += in.ConsumeIntegral<std::uint8_t>();
                break;
            case 2:
                now_ += in.ConsumeIntegral<std::uint16_t>(); // long waits; cross the wrap
                break;
            case 3:
            case 4:
                pass();
                break;
            case 5: {
                std::vector<std::uint8_t> reply = drawChunk(in);
                const auto split = in.ConsumeIntegralInRange<std::size_t>(0, reply.size());
                next_.late.assign(reply.begin() + static_cast<std::ptrdiff_t>(split), reply.end());
                reply.resize(split);
                next_.reply = std::move(reply);
                break;
            }
            case 6:
                (in.ConsumeBool() ? next_.serialFailure : next_.stop) = true;
                break;
            default:
                stopped_ = true;
                break;
            }
        }
        if (!stopped_)
            drain();
    }

private:
    static std::vector<std::uint8_t> drawChunk(FuzzedDataProvider& in) {
        return in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, kMaxChunk));
    }

    std::uint32_t tick() const { return p_.startTick + static_cast<std::uint32_t>(now_); }

    // The reader thread keeps handing over bytes after a stop or a completion.
    void feed(const std::vector<std::uint8_t>& bytes) {
        DownloadContext& ctx = host_.ctx;
        const std::int32_t before = ctx.stepIndex.load();
        check(handleReceivedBytes(host_, bytes.data(), bytes.size()) == 1);
        const std::int32_t after = ctx.stepIndex.load();
        // One reply completes at most one step, and only one whose request went out.
        check(after == before || (after == before + 1 && requested_[before]));
        checkContext();
    }

    void pass() {
        if (stopped_)
            return; // the loop has ended
        passAt_ = now_;
        engine_.pass(tick());
        inStoppedPass_ = false;
        checkContext();
        std::vector<std::uint8_t> late;
        late.swap(late_);
        if (!late.empty())
            feed(late);
    }

    // No more device bytes: the run must end within its time-outs.
    void drain() {
        const std::int64_t blockSize = sectorSizeBytes(p_.sectorSizeCode);
        std::int64_t blocks = 1;
        if (blockSize > 0 && p_.writeLast > p_.writeFirst)
            blocks = (std::int64_t{p_.writeLast} - p_.writeFirst + blockSize - 1) / blockSize;
        const std::int64_t perStep = std::max(p_.pacing, 0) + p_.writeMs + 2;
        const std::int64_t longest = *std::max_element(p_.timeouts.begin(), p_.timeouts.end());
        const std::int64_t bound = (blocks + 6) * perStep + std::max<std::int64_t>(longest, 0) + 2;
        for (std::int64_t n = 0; !completion_ && !stopped_; ++n) {
            check(n <= bound);
            pass();
            ++now_;
        }
        // A finished engine stays quiet.
        for (int n = 0; n < 3; ++n) {
            pass();
            now_ += 1000;
        }
    }

    void checkContext() {
        const DownloadContext& ctx = host_.ctx;
        const std::int32_t step = ctx.stepIndex.load();
        check(step >= step_ && step <= kEndStep);
        step_ = step;
        const std::int32_t result = ctx.resultCode.load();
        check(result >= 0 && result <= 11);
        const std::int32_t length = ctx.replyLength.load();
        check(length >= 0 && static_cast<std::size_t>(length) <= DownloadContext::kReplyCapacity);
    }

    void write(const std::uint8_t* bytes, std::size_t length) override {
        check(!completion_ && (!stopped_ || inStoppedPass_));
        check(length > 0 && bytes != nullptr);
        DownloadContext& ctx = host_.ctx;
        // Set before the frame goes out, so a reply during the write is matched to it.
        check(ctx.pendingRequest.load() == bytes[0]);
        const std::int32_t step = ctx.stepIndex.load();
        check(step >= 1 && step < kEndStep);
        checkFrame(step, bytes, length);
        requested_[step] = true;

        now_ += p_.writeMs;
        lastReturn_ = now_;
        if (bytes[0] == command::kWriteBlock)
            lastBlockReturn_ = now_;
        DuringWrite during;
        std::swap(during, next_);
        if (!during.reply.empty())
            feed(during.reply);
        late_.insert(late_.end(), during.late.begin(), during.late.end());
        if (during.serialFailure) {
            ctx.setCommErrorText("<CE-8>");
            ctx.recordResult(10);
        }
        if (during.stop) {
            stopped_ = true; // the pass under way still finishes
            inStoppedPass_ = true;
        }
    }

    void checkFrame(std::int32_t step, const std::uint8_t* bytes, std::size_t length) {
        const DownloadContext& ctx = host_.ctx;
        const std::uint8_t command = bytes[0];
        if (step == kWriteStep) {
            check(command == command::kWriteBlock || command == command::kBlockChecksum);
            if (command == command::kWriteBlock)
                checkBlock(bytes, length);
            else
                checkBlockChecksum(bytes, length);
            return;
        }
        check(!requested_[step]); // each request once, no retries
        // Addresses go out as 24 bits, the sector count as 16, checksums as 32, big-endian.
        const auto byte = [](std::uint32_t v, int shift) {
            return static_cast<std::uint8_t>(v >> shift);
        };
        const auto erase = static_cast<std::uint32_t>(p_.eraseAddress);
        const auto count = static_cast<std::uint32_t>(p_.eraseCount);
        std::vector<std::uint8_t> expected;
        if (step == 1)
            expected = {command::kSectorSize, p_.sectorSizeCode};
        else if (step == 2)
            expected = {command::kErase, byte(erase, 16), byte(erase, 8),
                        byte(erase, 0),  byte(count, 8),  byte(count, 0)};
        else if (p_.fullChecksumEnabled)
            expected = {command::kFullChecksum, byte(p_.fullChecksum, 24),
                        byte(p_.fullChecksum, 16), byte(p_.fullChecksum, 8),
                        byte(p_.fullChecksum, 0)};
        else
            expected = {command::kChecksumDisplay};
        check(expected.at(0) == ctx.steps[static_cast<std::size_t>(step)].load());
        check(std::equal(bytes, bytes + length, expected.begin(), expected.end()));
    }

    void checkBlock(const std::uint8_t* bytes, std::size_t length) {
        const std::int64_t blockSize = sectorSizeBytes(host_.ctx.deviceSectorSizeCode.load());
        check(blockSize > 0 && blockSize == sectorSizeBytes(p_.sectorSizeCode));
        check(length == kWriteHeaderSize + static_cast<std::size_t>(blockSize));
        check(!checksumSent_);
        const std::int64_t address = std::int64_t{p_.writeFirst} + blocks_ * blockSize;
        // The range is covered block by block up to the first block that reaches its end.
        check(blocks_ == 0 || address < p_.writeLast);
        if (blocks_ > 0) // paced from the return of the previous block's write
            check(now_ - lastBlockReturn_ >= static_cast<std::uint64_t>(std::max(p_.pacing, 0)));
        const auto a = static_cast<std::uint32_t>(address);
        check(bytes[1] == static_cast<std::uint8_t>(a >> 16) &&
              bytes[2] == static_cast<std::uint8_t>(a >> 8) &&
              bytes[3] == static_cast<std::uint8_t>(a));
        for (std::int64_t i = 0; i < blockSize; ++i) {
            const std::uint8_t data = bytes[kWriteHeaderSize + static_cast<std::size_t>(i)];
            check(data == host_.at(address + i));
            sum_ += data;
        }
        lastBlockEnd_ = address + blockSize;
        ++blocks_;
    }

    void checkBlockChecksum(const std::uint8_t* bytes, std::size_t length) {
        check(length == 5 && !checksumSent_ && blocks_ > 0 && lastBlockEnd_ >= p_.writeLast);
        check(be32(bytes + 1) == sum_);
        checksumSent_ = true;
    }

    void onCompletion(CompletionCommand command) {
        check(!completion_ && (!stopped_ || inStoppedPass_));
        completion_ = command;
        const DownloadContext& ctx = host_.ctx;
        const std::int32_t result = ctx.resultCode.load();
        switch (command) {
        case CompletionCommand::Success:
            check(result == 0 && ctx.stepIndex.load() == kEndStep);
            check(requested_[1] && requested_[2] && requested_[kWriteStep] && requested_[4]);
            check(!p_.fullChecksumEnabled || ctx.deviceFullChecksum.load() == p_.fullChecksum);
            break;
        case CompletionCommand::Failed:
            check(result != 0);
            if (result >= 1 && result <= 4)
                checkTimeout(result);
            break;
        case CompletionCommand::Aborted:
            check(p_.imageSize == 0 && host_.messages == 1);
            break;
        }
    }

    // A time-out is never declared before its time has passed since the request's write
    // returned.
    void checkTimeout(std::int32_t result) {
        static constexpr std::int32_t kStepOf[] = {0, 1, 2, kWriteStep, 4};
        const std::int32_t step = host_.ctx.stepIndex.load();
        check(step == kStepOf[result] && requested_[step]);
        if (step == kWriteStep)
            check(checksumSent_);
        const std::int32_t limit = result == 1   ? p_.timeouts[1]
                                   : result == 2 ? p_.timeouts[2]
                                   : result == 3 ? p_.timeouts[0]
                                                 : p_.timeouts[3];
        check(passAt_ - lastReturn_ > static_cast<std::uint64_t>(std::max(limit, 0)));
    }

    const Params p_;
    FuzzHost host_;
    std::uint64_t now_ = 0; // ms since the start; the engine sees it as a wrapping tick
    std::uint64_t passAt_ = 0;
    ProtocolEngine engine_;

    DuringWrite next_;
    std::vector<std::uint8_t> late_;
    bool stopped_ = false;
    bool inStoppedPass_ = false;
    std::optional<CompletionCommand> completion_;
    std::int32_t step_ = 0;
    std::array<bool, DownloadContext::kStepCount> requested_{};
    std::uint64_t lastReturn_ = 0;
    std::uint64_t lastBlockReturn_ = 0;
    std::int64_t blocks_ = 0;
    std::int64_t lastBlockEnd_ = 0;
    bool checksumSent_ = false;
    std::uint32_t sum_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    Download download(in);
    download.run(in);
    return 0;
}
