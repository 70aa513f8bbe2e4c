#include "devsim/DeviceProtocol.h"

#include <algorithm>
#include <cstdint>

namespace pexo::devsim {
namespace {

std::uint32_t bigEndian32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

std::uint32_t bigEndian24(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[2];
}

// Request lengths by command byte; 0 for a byte that starts no request. The write block's
// length depends on the agreed sector size and is worked out apart.
std::size_t requestLength(std::uint8_t commandByte) {
    switch (commandByte) {
    case command::kConnect:
    case command::kChecksum:
        return 1;
    case command::kSectorSize:
        return 2;
    case command::kBlockChecksum:
    case command::kFullChecksum:
        return 5;
    case command::kErase:
        return 6;
    default:
        return 0;
    }
}

// Long enough for the host to judge the reply (it waits for two bytes after 0x82, 0x85 and
// 0x84, five after 0x86), and starting with a byte no reply rule accepts.
std::vector<std::uint8_t> garbageReply(Step step) {
    static constexpr std::uint8_t kPattern[] = {0xA5, 0x5A, 0xA5, 0x5A, 0xA5};
    std::size_t length = 2;
    if (step == Step::Connect)
        length = 1;
    else if (step == Step::Checksum)
        length = 5;
    return {kPattern, kPattern + length};
}

} // namespace

std::uint32_t sectorSizeBytes(std::uint8_t code) {
    return code >= 1 && code <= 7 ? 128u << (code - 1) : 0u;
}

DeviceProtocol::DeviceProtocol(const Options& options, SparseMemory& memory)
    : options_(options), memory_(memory) {}

std::size_t DeviceProtocol::receive(std::span<const std::uint8_t> bytes, Output& out) {
    std::size_t taken = 0;
    while (taken < bytes.size()) {
        if (!sessionActive_) {
            sessionActive_ = true;
            pollsThisSession_ = 0;
            startDownload();
        }
        switch (phase_) {
        case Phase::Discard:
            taken = bytes.size();
            break;
        case Phase::Idle:
            begin(bytes[taken++], out);
            break;
        case Phase::Request: {
            const std::size_t n = std::min(need_ - request_.size(), bytes.size() - taken);
            request_.insert(request_.end(), bytes.begin() + static_cast<std::ptrdiff_t>(taken),
                            bytes.begin() + static_cast<std::ptrdiff_t>(taken + n));
            taken += n;
            break;
        }
        }
        if (phase_ == Phase::Request && request_.size() == need_) {
            complete(out);
            if (!sessionActive_)
                return taken;
        }
    }
    return taken;
}

std::size_t DeviceProtocol::bytesToRequestEnd() const {
    switch (phase_) {
    case Phase::Request:
        return need_ - request_.size();
    case Phase::Discard:
        return SIZE_MAX;
    case Phase::Idle:
        break;
    }
    return 1;
}

void DeviceProtocol::lineReset() {
    phase_ = Phase::Idle;
    request_.clear();
    if (sessionActive_)
        endSession();
}

void DeviceProtocol::unplug() {
    phase_ = Phase::Idle;
    request_.clear();
    sessionActive_ = false;
    startDownload();
}

void DeviceProtocol::begin(std::uint8_t commandByte, Output& out) {
    std::size_t length = requestLength(commandByte);
    if (commandByte == command::kWriteBlock) {
        const std::uint32_t size = blockSize();
        if (size == 0) {
            // Without an agreed sector size the block's length is unknown, so nothing that
            // follows can be parsed: refuse it and drop the rest until the line is reset.
            Frame frame;
            frame.command = commandByte;
            answer(Step::Write, {reply::kWriteFailed, deviceError::kNoSectorSize}, frame, out);
            out.frames.push_back(std::move(frame));
            phase_ = Phase::Discard;
            return;
        }
        length = 4 + size;
    }
    if (length == 0) {
        Frame frame;
        frame.command = commandByte;
        frame.known = false;
        out.frames.push_back(std::move(frame));
        return;
    }
    request_.clear();
    request_.reserve(length);
    request_.push_back(commandByte);
    need_ = length;
    phase_ = Phase::Request;
}

void DeviceProtocol::complete(Output& out) {
    phase_ = Phase::Idle;
    Frame frame;
    frame.command = request_[0];
    switch (frame.command) {
    case command::kConnect:
        if (pollsThisSession_ < options_.deafPolls)
            ++pollsThisSession_; // not there yet: the poll goes unheard
        else
            answer(Step::Connect, {reply::kConnected}, frame, out);
        break;
    case command::kSectorSize:
        onSectorSize(frame, out);
        break;
    case command::kErase:
        onErase(frame, out);
        break;
    case command::kWriteBlock:
        onWriteBlock(frame, out);
        break;
    case command::kBlockChecksum:
        onBlockChecksum(frame, out);
        break;
    case command::kChecksum:
    case command::kFullChecksum:
        onChecksum(frame, out);
        break;
    default:
        break;
    }
    const bool last =
        frame.command == command::kChecksum || frame.command == command::kFullChecksum;
    out.frames.push_back(std::move(frame));
    if (last)
        endSession();
}

void DeviceProtocol::answer(Step step, std::vector<std::uint8_t> normal, Frame& frame,
                            Output& out) const {
    if (options_.silent.contains(step))
        return;
    frame.reply = options_.garbage.contains(step) ? garbageReply(step) : std::move(normal);
    out.reply.insert(out.reply.end(), frame.reply.begin(), frame.reply.end());
}

void DeviceProtocol::startDownload() {
    agreedCode_.reset();
    sum_ = 0;
    firstBlockSeen_ = false;
    writeError_.reset();
    blocksStored_ = 0;
    writeStepOver_ = false;
}

void DeviceProtocol::endSession() {
    sessionActive_ = false;
    ++sessionsEnded_;
    phase_ = Phase::Idle;
    request_.clear();
}

std::uint32_t DeviceProtocol::blockSize() const {
    return agreedCode_ ? sectorSizeBytes(*agreedCode_) : 0;
}

void DeviceProtocol::onSectorSize(Frame& frame, Output& out) {
    startDownload();
    frame.value = request_[1];
    std::uint8_t code = options_.sectorCode.value_or(request_[1]);
    if (options_.fail == Step::Sector)
        code = static_cast<std::uint8_t>(code % 7 + 1); // another valid code, never the same
    // The device works with the code it answers, right or wrong.
    if (sectorSizeBytes(code) != 0)
        agreedCode_ = code;
    answer(Step::Sector, {reply::kSectorSize, code}, frame, out);
}

void DeviceProtocol::onErase(Frame& frame, Output& out) {
    frame.address = bigEndian24(&request_[1]);
    frame.value = static_cast<std::uint32_t>(request_[4]) << 8 | request_[5];
    std::uint8_t error = 0;
    if (options_.fail == Step::Erase)
        error = deviceError::kInjected;
    else if (blockSize() == 0)
        error = deviceError::kNoSectorSize;
    else if (!memory_.erase(frame.address, std::uint64_t{frame.value} * blockSize()))
        error = deviceError::kOutOfRange;
    if (error != 0)
        answer(Step::Erase, {reply::kEraseFailed, error}, frame, out);
    else
        answer(Step::Erase, {reply::kEraseDone}, frame, out);
}

void DeviceProtocol::onWriteBlock(Frame& frame, Output& out) {
    frame.address = bigEndian24(&request_[1]);
    const std::span<const std::uint8_t> data(request_.begin() + 4, request_.end());
    frame.dataLength = static_cast<std::uint32_t>(data.size());
    const bool first = !firstBlockSeen_;
    firstBlockSeen_ = true;
    if (writeError_ || writeStepOver_)
        return; // already refused or completed: the host is only finishing its burst
    std::uint8_t error = 0;
    if (options_.fail == Step::Write && first)
        error = deviceError::kInjected;
    else if (!memory_.write(frame.address, data))
        error = deviceError::kOutOfRange;
    if (error != 0) {
        writeError_ = error;
        answer(Step::Write, {reply::kWriteFailed, error}, frame, out);
        return;
    }
    for (std::uint8_t b : data)
        sum_ += b;
    if (options_.completeEarlyAfter && ++blocksStored_ == *options_.completeEarlyAfter) {
        writeStepOver_ = true;
        answer(Step::Write, {reply::kWriteDone}, frame, out);
    }
}

void DeviceProtocol::onBlockChecksum(Frame& frame, Output& out) {
    frame.value = bigEndian32(&request_[1]);
    if (writeStepOver_)
        return; // answered already, at the early completion
    if (!writeError_ && frame.value != sum_)
        writeError_ = deviceError::kBadChecksum;
    if (writeError_)
        answer(Step::Write, {reply::kWriteFailed, *writeError_}, frame, out);
    else
        answer(Step::Write, {reply::kWriteDone}, frame, out);
}

void DeviceProtocol::onChecksum(Frame& frame, Output& out) {
    if (frame.command == command::kFullChecksum)
        frame.value = bigEndian32(&request_[1]);
    const std::uint32_t reported = options_.fail == Step::Checksum ? ~sum_ : sum_;
    answer(Step::Checksum,
           {reply::kChecksum, static_cast<std::uint8_t>(reported >> 24),
            static_cast<std::uint8_t>(reported >> 16), static_cast<std::uint8_t>(reported >> 8),
            static_cast<std::uint8_t>(reported)},
           frame, out);
}

} // namespace pexo::devsim
