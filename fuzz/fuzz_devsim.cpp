// The simulated device's request parser and flash model, fed any host bytes in any chunking,
// with its fault options and line resets drawn from the input. Whatever the host sends, the
// parser keeps its contract (bytes taken, sessions, replies in order, replies as documented)
// and memory is written only inside its 16 MiB. Fed request by request, as the simulator reads
// under --xoff-after, every block and erase is checked against a model of the flash.
#include "devsim/DeviceProtocol.h"
#include "devsim/Frame.h"
#include "devsim/Options.h"
#include "devsim/SparseMemory.h"

#include <algorithm>
#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>
#include <iterator>
#include <map>
#include <optional>
#include <span>
#include <vector>

namespace {

using namespace pexo::devsim;
using Bytes = std::vector<std::uint8_t>;

void check(bool holds) {
    if (!holds)
        __builtin_trap();
}

std::uint32_t byteSum(std::span<const std::uint8_t> bytes) {
    std::uint32_t sum = 0;
    for (std::uint8_t b : bytes)
        sum += b;
    return sum;
}

std::optional<Step> stepOf(std::uint8_t commandByte) {
    switch (commandByte) {
    case command::kConnect:
        return Step::Connect;
    case command::kSectorSize:
        return Step::Sector;
    case command::kErase:
        return Step::Erase;
    case command::kWriteBlock:
    case command::kBlockChecksum:
        return Step::Write;
    case command::kChecksum:
    case command::kFullChecksum:
        return Step::Checksum;
    default:
        return std::nullopt;
    }
}

Options drawOptions(FuzzedDataProvider& in) {
    Options options;
    if (in.ConsumeBool())
        options.sectorCode = in.ConsumeIntegral<std::uint8_t>();
    if (const int fail = in.ConsumeIntegralInRange(0, 5); fail != 0)
        options.fail = static_cast<Step>(fail - 1);
    options.silent.bits = in.ConsumeIntegral<std::uint8_t>() & 0x1F;
    options.garbage.bits = in.ConsumeIntegral<std::uint8_t>() & 0x1F;
    if (const int blocks = in.ConsumeIntegralInRange(0, 8); blocks != 0)
        options.xoffAfterBlocks = blocks;
    options.deafPolls = in.ConsumeIntegralInRange(0u, 3u);
    if (const int blocks = in.ConsumeIntegralInRange(0, 4); blocks != 0)
        options.completeEarlyAfter = blocks;
    return options;
}

// The flash as the accepted blocks and erases leave it: address -> byte written.
class FlashModel {
public:
    // Whether memory agrees with the model over [address, address + length), clipped to memory.
    bool matches(const SparseMemory& memory, std::uint32_t address, std::uint64_t length) const {
        const std::uint64_t end = std::min<std::uint64_t>(address + length, SparseMemory::kSize);
        if (end <= address)
            return true;
        const Bytes bytes = memory.read(address, end - address);
        for (std::uint64_t a = address; a < end; ++a) {
            const auto it = written_.find(static_cast<std::uint32_t>(a));
            const bool written = it != written_.end();
            if (memory.isWritten(static_cast<std::uint32_t>(a)) != written ||
                bytes[a - address] != (written ? it->second : SparseMemory::kErased))
                return false;
        }
        return true;
    }

    void write(std::uint32_t address, std::span<const std::uint8_t> data) {
        for (std::size_t i = 0; i < data.size(); ++i)
            written_[address + static_cast<std::uint32_t>(i)] = data[i];
    }

    // The addresses written in [address, address + length).
    std::vector<std::uint32_t> heldIn(std::uint32_t address, std::uint64_t length) const {
        std::vector<std::uint32_t> held;
        for (auto it = written_.lower_bound(address);
             it != written_.end() && it->first < address + length; ++it)
            held.push_back(it->first);
        return held;
    }

    bool matchesAt(const SparseMemory& memory, const std::vector<std::uint32_t>& addresses) const {
        for (std::uint32_t a : addresses)
            if (!matches(memory, a, 1))
                return false;
        return true;
    }

    void erase(std::uint32_t address, std::uint64_t length) {
        const auto from = written_.lower_bound(address);
        auto to = from;
        while (to != written_.end() && to->first < address + length)
            ++to;
        written_.erase(from, to);
    }

    std::optional<SparseMemory::Range> range() const {
        if (written_.empty())
            return std::nullopt;
        return SparseMemory::Range{written_.begin()->first, written_.rbegin()->first};
    }

    bool matchesEverywhere(const SparseMemory& memory) const {
        for (auto it = written_.begin(); it != written_.end();) {
            // Runs of consecutive addresses, each checked in one read.
            auto end = std::next(it);
            while (end != written_.end() && end->first == std::prev(end)->first + 1)
                ++end;
            const std::uint32_t first = it->first;
            if (!matches(memory, first, std::prev(end)->first - first + 1))
                return false;
            it = end;
        }
        return true;
    }

private:
    std::map<std::uint32_t, std::uint8_t> written_;
};

class Harness {
public:
    // Fed request by request (as the simulator reads under --xoff-after), each completed
    // request is known byte for byte, and memory is checked against the model of the flash.
    Harness(const Options& options, bool byRequest)
        : options_(options), byRequest_(byRequest), protocol_(options_, memory_) {}

    void feed(std::span<const std::uint8_t> chunk) {
        while (!chunk.empty() && !xoff_) {
            std::size_t n = chunk.size();
            if (byRequest_)
                n = std::min(n, protocol_.bytesToRequestEnd());
            chunk = chunk.subspan(receive(chunk.first(n)));
        }
        checkMemoryBounds();
    }

    // The host closed or reopened the line.
    void lineReset() {
        const bool active = protocol_.sessionActive();
        const unsigned ended = protocol_.sessionsEnded();
        const auto range = memory_.writtenRange();
        protocol_.lineReset();
        check(!protocol_.sessionActive() && protocol_.bytesToRequestEnd() == 1);
        check(protocol_.sessionsEnded() == ended + (active ? 1 : 0));
        check(sameRange(memory_.writtenRange(), range));
        request_.clear();
    }

    void finish() const {
        checkMemoryBounds();
        if (byRequest_)
            check(model_.matchesEverywhere(memory_));
    }

private:
    static bool sameRange(const std::optional<SparseMemory::Range>& a,
                          const std::optional<SparseMemory::Range>& b) {
        return a.has_value() == b.has_value() &&
               (!a || (a->first == b->first && a->last == b->last));
    }

    std::size_t receive(std::span<const std::uint8_t> bytes) {
        const bool wasActive = protocol_.sessionActive();
        const unsigned ended = protocol_.sessionsEnded();
        const std::size_t toEnd = protocol_.bytesToRequestEnd();
        const std::uint32_t sumBefore = wasActive ? protocol_.downloadSum() : 0;
        if (!wasActive) {
            pollsThisSession_ = 0;
            blocksThisSession_ = 0;
            completedEarly_ = false;
        }
        const bool completedEarly = completedEarly_;
        DeviceProtocol::Output out;
        const std::size_t taken = protocol_.receive(bytes, out);

        // Every byte is taken unless a session ended, and then the call returns at its end.
        check(taken >= 1 && taken <= bytes.size());
        const bool sessionEnded = protocol_.sessionsEnded() != ended;
        check(protocol_.sessionsEnded() - ended <= 1);
        check(sessionEnded ? !protocol_.sessionActive() : protocol_.sessionActive());
        check(taken == bytes.size() || sessionEnded);

        // The reply is the frames' replies in order, and nothing else.
        Bytes replies;
        std::size_t lastSector = out.frames.size();
        for (std::size_t i = 0; i < out.frames.size(); ++i) {
            replies.insert(replies.end(), out.frames[i].reply.begin(), out.frames[i].reply.end());
            if (out.frames[i].command == command::kSectorSize)
                lastSector = i;
        }
        check(replies == out.reply);
        for (std::size_t i = 0; i < out.frames.size(); ++i)
            checkFrame(out.frames[i], i + 1 == out.frames.size(), i == lastSector);

        if (byRequest_) {
            // Reading no further than the request's end completes at most that request.
            check(taken < toEnd ? out.frames.empty() : out.frames.size() <= 1);
            if (toEnd > 1 && toEnd != SIZE_MAX && taken == toEnd)
                check(out.frames.size() == 1);
            trackRequest(bytes.first(taken), out, sumBefore, completedEarly);
        }
        for (const Frame& frame : out.frames)
            if (frame.command == command::kWriteBlock && frame.dataLength != 0 &&
                options_.xoffAfterBlocks && ++blocksThisSession_ == *options_.xoffAfterBlocks)
                xoff_ = true; // the simulator reads nothing more, for good
        return taken;
    }

    // After each chunk: what is written lies inside memory, and fed request by request, where
    // the model says.
    void checkMemoryBounds() const {
        const auto range = memory_.writtenRange();
        if (byRequest_)
            check(sameRange(range, model_.range()));
        if (!range)
            return;
        check(range->first <= range->last && range->last < SparseMemory::kSize);
        check(memory_.isWritten(range->first) && memory_.isWritten(range->last));
        check(range->first == 0 || !memory_.isWritten(range->first - 1));
        check(range->last == SparseMemory::kSize - 1 || !memory_.isWritten(range->last + 1));
        check(memory_.read(SparseMemory::kSize - 1, 2)[1] == SparseMemory::kErased);
    }

    // What the device answered, against what it documents for each request.
    void checkFrame(const Frame& frame, bool lastOfCall, bool lastSectorOfCall) {
        check(!describe(frame).empty());
        const auto step = stepOf(frame.command);
        check(frame.known == step.has_value());
        if (frame.command == command::kWriteBlock)
            check(frame.dataLength == 0 || (frame.dataLength >= 128 && frame.dataLength <= 8192 &&
                                            (frame.dataLength & (frame.dataLength - 1)) == 0));
        if (frame.command == command::kSectorSize)
            completedEarly_ = false;
        if (frame.command == command::kSectorSize && lastSectorOfCall) {
            // The device works with the code it answers, when that is one.
            const std::uint8_t code = answeredCode(frame);
            check(protocol_.agreedSectorCode() ==
                  (sectorSizeBytes(code) != 0 ? std::optional<std::uint8_t>(code) : std::nullopt));
        }
        const Bytes& r = frame.reply;
        if (!step || options_.silent.contains(*step)) {
            check(r.empty());
            return;
        }
        if (frame.command == command::kConnect && pollsThisSession_++ < options_.deafPolls) {
            check(r.empty());
            return;
        }
        if (options_.garbage.contains(*step)) {
            const std::size_t length = *step == Step::Connect ? 1 : *step == Step::Checksum ? 5 : 2;
            check(r.empty() || (r.size() == length && r[0] == 0xA5));
            return;
        }
        switch (frame.command) {
        case command::kConnect:
            check(r == Bytes{reply::kConnected});
            break;
        case command::kSectorSize:
            check(r == Bytes{reply::kSectorSize, answeredCode(frame)});
            break;
        case command::kErase:
            check(r == Bytes{reply::kEraseDone} || isFailure(r, reply::kEraseFailed));
            if (options_.fail == Step::Erase)
                check(r == Bytes{reply::kEraseFailed, deviceError::kInjected});
            break;
        case command::kWriteBlock:
            // A block is answered only when refused or when it completes the step early; one of
            // unknown length for want of a size.
            check(r.empty() || isFailure(r, reply::kWriteFailed) ||
                  (options_.completeEarlyAfter && r == Bytes{reply::kWriteDone}));
            check((frame.dataLength == 0) ==
                  (r == Bytes{reply::kWriteFailed, deviceError::kNoSectorSize}));
            // After an early completion the step's further blocks go unanswered.
            check(!completedEarly_ || frame.dataLength == 0 || r.empty());
            if (r == Bytes{reply::kWriteDone})
                completedEarly_ = true;
            break;
        case command::kBlockChecksum:
            check(r == Bytes{reply::kWriteDone} || isFailure(r, reply::kWriteFailed) ||
                  (options_.completeEarlyAfter && r.empty()));
            check(!completedEarly_ || r.empty());
            if (r == Bytes{reply::kWriteDone} && lastOfCall)
                check(frame.value == protocol_.downloadSum());
            break;
        default: {
            // 0x86 and 0x89 end the session: nothing after them changed the sum.
            check(lastOfCall);
            std::uint32_t sum = protocol_.downloadSum();
            if (options_.fail == Step::Checksum)
                sum = ~sum;
            check(r == Bytes{reply::kChecksum, static_cast<std::uint8_t>(sum >> 24),
                             static_cast<std::uint8_t>(sum >> 16),
                             static_cast<std::uint8_t>(sum >> 8), static_cast<std::uint8_t>(sum)});
            break;
        }
        }
    }

    static bool isFailure(const Bytes& r, std::uint8_t head) {
        return r.size() == 2 && r[0] == head && r[1] >= deviceError::kInjected &&
               r[1] <= deviceError::kOutOfRange;
    }

    std::uint8_t answeredCode(const Frame& frame) const {
        std::uint8_t code = options_.sectorCode.value_or(static_cast<std::uint8_t>(frame.value));
        if (options_.fail == Step::Sector)
            code = static_cast<std::uint8_t>(code % 7 + 1);
        return code;
    }

    std::uint32_t agreedBlockSize() const {
        const auto code = protocol_.agreedSectorCode();
        return code ? sectorSizeBytes(*code) : 0;
    }

    // A completed request is the bytes collected since the last one.
    void trackRequest(std::span<const std::uint8_t> bytes, const DeviceProtocol::Output& out,
                      std::uint32_t sumBefore, bool completedEarly) {
        if (protocol_.bytesToRequestEnd() == SIZE_MAX)
            request_.clear(); // everything is dropped until the line is reset
        else
            request_.insert(request_.end(), bytes.begin(), bytes.end());
        const std::uint32_t sumAfter = protocol_.downloadSum();
        if (!out.frames.empty()) {
            const Frame& frame = out.frames.front();
            if (frame.command == command::kWriteBlock && frame.dataLength != 0)
                checkBlock(frame, sumAfter - sumBefore, completedEarly);
            else if (frame.command == command::kErase)
                checkErase(frame);
            if (frame.command == command::kSectorSize)
                check(sumAfter == 0);
            else if (frame.command != command::kWriteBlock)
                check(sumAfter == sumBefore);
            request_.clear();
        } else {
            check(sumAfter == sumBefore);
        }
    }

    void checkBlock(const Frame& frame, std::uint32_t sumAdded, bool completedEarly) {
        check(request_.size() == 4 + std::size_t{frame.dataLength} &&
              request_[0] == command::kWriteBlock);
        check(frame.address ==
              (std::uint32_t{request_[1]} << 16 | std::uint32_t{request_[2]} << 8 | request_[3]));
        check(frame.dataLength == agreedBlockSize());
        const std::span<const std::uint8_t> data(request_.begin() + 4, request_.end());
        if (completedEarly) {
            // The step is over: the block is neither stored nor counted.
            check(model_.matches(memory_, frame.address, data.size()) && sumAdded == 0);
            return;
        }
        if (model_.matches(memory_, frame.address, data.size())) {
            // Refused, or the very bytes already there written again.
            check(sumAdded == 0 || sumAdded == byteSum(data));
            return;
        }
        // Stored: whole, inside memory, counted in the sum, and not refused.
        check(std::uint64_t{frame.address} + data.size() <= SparseMemory::kSize);
        check(!isFailure(frame.reply, reply::kWriteFailed) && sumAdded == byteSum(data));
        model_.write(frame.address, data);
        check(model_.matches(memory_, frame.address, data.size()));
    }

    // An erase depends on nothing but the agreed size and the options, so its answer and its
    // effect are known.
    void checkErase(const Frame& frame) {
        const std::uint64_t length = std::uint64_t{frame.value} * agreedBlockSize();
        Bytes expected{reply::kEraseDone};
        if (options_.fail == Step::Erase)
            expected = {reply::kEraseFailed, deviceError::kInjected};
        else if (agreedBlockSize() == 0)
            expected = {reply::kEraseFailed, deviceError::kNoSectorSize};
        else if (frame.address + length > SparseMemory::kSize)
            expected = {reply::kEraseFailed, deviceError::kOutOfRange};
        if (!frame.reply.empty() && !options_.garbage.contains(Step::Erase))
            check(frame.reply == expected);
        const std::vector<std::uint32_t> held = model_.heldIn(frame.address, length);
        if (expected.size() == 1)
            model_.erase(frame.address, length);
        check(model_.matchesAt(memory_, held));
    }

    const Options& options_;
    const bool byRequest_;
    SparseMemory memory_;
    DeviceProtocol protocol_;
    FlashModel model_;
    Bytes request_;
    unsigned pollsThisSession_ = 0;
    std::uint64_t blocksThisSession_ = 0;
    bool xoff_ = false;
    // A block was answered with the write step's completion (seen unless that step is silent
    // or disturbed); until the next download.
    bool completedEarly_ = false;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const Options options = drawOptions(in);
    // The simulator reads request by request under --xoff-after; otherwise as bytes come.
    const bool byRequest = options.xoffAfterBlocks || in.ConsumeBool();
    Harness harness(options, byRequest);
    while (in.remaining_bytes() > 0) {
        if (in.ConsumeIntegralInRange(0, 15) == 0) {
            harness.lineReset();
            continue;
        }
        const Bytes chunk = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange(0, 8300));
        harness.feed(chunk);
    }
    harness.finish();
    return 0;
}
