#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace pexo::devsim {

// The steps of a download as the device sees them; faults are injected per step.
enum class Step : std::uint8_t { Connect, Sector, Erase, Write, Checksum };

inline constexpr std::uint8_t stepBit(Step step) {
    return static_cast<std::uint8_t>(1u << static_cast<unsigned>(step));
}

// A set of steps, as a bit mask (bit n for Step n).
struct StepSet {
    std::uint8_t bits = 0;

    bool contains(Step step) const { return (bits & stepBit(step)) != 0; }
    void add(Step step) { bits = static_cast<std::uint8_t>(bits | stepBit(step)); }
    bool empty() const { return bits == 0; }

    static StepSet all() { return StepSet{0x1F}; }
    // Every step after the connect poll: what --garbage disturbs by default, so that the
    // host still connects and then meets the nonsense.
    static StepSet afterConnect() { return StepSet{0x1E}; }
};

// "connect", "sector", "erase", "write", "checksum".
std::string_view stepName(Step step);
std::optional<Step> parseStep(std::string_view name);

struct Options {
    // A symbolic link made to the pseudo-terminal's slave path (empty: none).
    std::string linkPath;
    // The sector size code answered to every 0x82; by default the code requested.
    std::optional<std::uint8_t> sectorCode;
    // The step answered with a failure (Connect cannot fail: it is only an echo).
    std::optional<Step> fail;
    // Steps never answered.
    StepSet silent;
    // Steps answered with bytes that fit no reply rule.
    StepSet garbage;
    // The line is hung up once this many bytes have been received.
    std::optional<std::uint64_t> hangupAfter;
    // Once this many write blocks of one session have arrived, the device sends XOFF and
    // reads nothing more, ever. At least 1 (open() refuses 0).
    std::optional<std::uint64_t> xoffAfterBlocks;
    // Once this many write blocks of one download have been stored, the device answers the
    // write step's completion (0x82) at once and takes the step as over: later blocks and the
    // step's 0x84 are neither stored nor answered. At least 1 (open() refuses 0).
    std::optional<std::uint64_t> completeEarlyAfter;
    // Connect polls of each session that go unechoed, as if the device were plugged in late.
    unsigned deafPolls = 0;
    // Every answer (echoes included) leaves this long after its request has arrived whole,
    // as from a slow device. XOFF is flow control, not an answer: it is never held back.
    std::chrono::milliseconds replyDelay{0};
    // Line rate in bits per second (10 bits a byte) both ways; 0 for no limit.
    std::uint32_t rate = 0;
    // Memory from the lowest to the highest address written, rewritten at each session end.
    std::string dumpPath;
    // Number of sessions to serve before the device stops; 0 for no limit.
    unsigned sessions = 0;
    // Receives one line per frame when set (--verbose writes them on stderr).
    std::function<void(std::string_view)> log;
    // When readable, the device stops (the executable passes a signalfd); -1 for none.
    int stopFd = -1;
    // After the last session, how long the device waits for the host to close the line
    // before it takes the line down, so that its last reply is not lost in the hang-up
    // (longer by replyDelay, which holds that reply back).
    std::chrono::milliseconds linger{2000};
    // Device after device (--replug): after each download (a session that reached the checksum
    // request) the device keeps answering for `onFixture` (--linger), then is unplugged for
    // `replug`: it hears nothing and says nothing. Then a fresh device, its memory cleared,
    // answers. None: one device for good.
    std::optional<std::chrono::milliseconds> replug;
    std::chrono::milliseconds onFixture{0};
    // How many received frames are kept for inspection; older ones are dropped.
    std::size_t frameHistory = 65536;
};

} // namespace pexo::devsim
