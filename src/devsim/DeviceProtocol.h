#pragma once

#include "devsim/Frame.h"
#include "devsim/Options.h"
#include "devsim/SparseMemory.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace pexo::devsim {

// Error bytes the device sends after 0x88 (erase failed) or 0x83 (write failed).
namespace deviceError {
inline constexpr std::uint8_t kInjected = 0x01;     // --fail erase / --fail write
inline constexpr std::uint8_t kBadChecksum = 0x02;  // 0x84 sum differs from the data received
inline constexpr std::uint8_t kNoSectorSize = 0x03; // erase or write before any 0x82
inline constexpr std::uint8_t kOutOfRange = 0x04;   // range reaches past the 16 MiB memory
} // namespace deviceError

// The device's side of the protocol as a byte-stream state machine: bytes may arrive in any
// chunking. It is not thread-safe; the simulator calls it under its own lock.
//
// A session is what one host does with the line: it begins with the first byte received
// and ends when the device has received the checksum request (0x86 or 0x89) or the line is
// reset (the host closed or reopened it, or the device stops).
class DeviceProtocol {
public:
    struct Output {
        std::vector<std::uint8_t> reply; // bytes to send, in order
        std::vector<Frame> frames;       // requests completed
    };

    DeviceProtocol(const Options& options, SparseMemory& memory);

    // Takes bytes until all are taken or a session ends, so that the caller can act on the
    // end before the next session begins. Returns the number of bytes taken.
    std::size_t receive(std::span<const std::uint8_t> bytes, Output& out);

    // Drops any partial request and ends the session in progress.
    void lineReset();
    // The device is taken off the line: whatever it was doing is dropped, and no session is
    // counted for it (an unplugged device has not served a host).
    void unplug();

    // How many more bytes complete the request being collected: 1 between requests (the next
    // byte starts one), unlimited while bytes are dropped. Reading no further than this lets
    // the caller stop right after any request.
    std::size_t bytesToRequestEnd() const;

    bool sessionActive() const { return sessionActive_; }
    unsigned sessionsEnded() const { return sessionsEnded_; }
    // Byte sum of the block data stored since the last 0x82: what 0x86 and 0x89 report.
    std::uint32_t downloadSum() const { return sum_; }
    std::optional<std::uint8_t> agreedSectorCode() const { return agreedCode_; }

private:
    enum class Phase { Idle, Request, Discard };

    void begin(std::uint8_t commandByte, Output& out);
    void complete(Output& out);
    void answer(Step step, std::vector<std::uint8_t> normal, Frame& frame, Output& out) const;
    void startDownload();
    void endSession();

    void onSectorSize(Frame& frame, Output& out);
    void onErase(Frame& frame, Output& out);
    void onWriteBlock(Frame& frame, Output& out);
    void onBlockChecksum(Frame& frame, Output& out);
    void onChecksum(Frame& frame, Output& out);

    std::uint32_t blockSize() const;

    const Options& options_;
    SparseMemory& memory_;

    Phase phase_ = Phase::Idle;
    std::vector<std::uint8_t> request_; // the request being collected, command byte first
    std::size_t need_ = 0;              // its full length

    bool sessionActive_ = false;
    unsigned sessionsEnded_ = 0;
    unsigned pollsThisSession_ = 0; // counted against Options::deafPolls

    // Per download (reset at session start and at each 0x82).
    std::optional<std::uint8_t> agreedCode_;
    std::uint32_t sum_ = 0;
    bool firstBlockSeen_ = false;
    std::optional<std::uint8_t> writeError_; // a failed write step refuses the rest of it
    std::uint64_t blocksStored_ = 0;
    bool writeStepOver_ = false; // completed early (Options::completeEarlyAfter)
};

// 128, 256, ... 8192 bytes for codes 1 to 7; 0 for any other code.
std::uint32_t sectorSizeBytes(std::uint8_t code);

} // namespace pexo::devsim
