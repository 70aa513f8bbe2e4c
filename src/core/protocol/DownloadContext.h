#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace pexo {

struct SerialLink; // serial/'s state of the open port

// The one record shared by the UI thread, the serial reader thread and the protocol thread.
//
// The settings group (portNumber..baudRate, txIntervalTime..fullChecksum) is written on the
// UI thread before any worker starts and only read while they run: thread start orders it.
// Everything a worker writes, or that is written while a worker runs, is atomic.
struct DownloadContext {
    static constexpr std::size_t kReplyCapacity = 10;
    static constexpr std::size_t kStepCount = 6;
    static constexpr std::size_t kCommErrorTextSize = 128;

    DownloadContext();
    DownloadContext(const DownloadContext&) = delete;
    DownloadContext& operator=(const DownloadContext&) = delete;
    ~DownloadContext();

    // --- Port and reader thread (serial/ only) -------------------------------------------
    int commHandle = -1; // the open port: its descriptor, or its handle on Windows (32 bits by
                         // the system's guarantee); -1 when closed
    std::uint8_t portNumber = 1;    // 1 for COM1, 2 for COM2
    std::atomic<bool> connected{false};
    std::uint8_t dataBits = 8;
    std::uint8_t flowControl = 0;   // bit 0 DTR/DSR, bit 1 RTS/CTS, bit 2 XON/XOFF
    std::uint8_t parity = 0;        // 0 none, 1 odd, 2 even
    std::uint8_t stopBits = 0;      // 0 one, 1 one and a half, 2 two
    std::uint32_t baudRate = 9600;
    std::thread readerThread;
    std::atomic<std::uint32_t> readerThreadId{0};
    // Explicit device path; when empty the port number's entry in "RS232C Devices" is used.
    std::string devicePath;
    // The open port as serial/ keeps it (descriptors, wake-up, writer accounting). Made by
    // the first openPort and kept for the record's life, so a late writer never sees it swapped.
    std::shared_ptr<SerialLink> serialLink;
    // Set by the serial module while the port is open, so that a context destroyed with its
    // port still open closes it, and ends the reader thread, before its fields go.
    std::atomic<void (*)(DownloadContext&)> closeOpenPort{nullptr};

    // --- Protocol parameters (copied from the settings at each download) ------------------
    std::int32_t txIntervalTime = 0;           // Code30
    std::int32_t txWaitSurplusTime = 0;        // Code31
    std::int32_t rxWriteCompletionTimeout = 0; // Code51
    std::int32_t rxSectorSizeTimeout = 0;      // Code52
    std::int32_t rxEraseCompletionTimeout = 0; // Code53
    std::int32_t rxChecksumTimeout = 0;        // Code54
    std::uint8_t sectorSizeCode = 0;
    std::int32_t eraseAddress = 0;       // Code62_1
    std::int32_t eraseSectorCount = 0;   // Code62_2
    std::int32_t writeFirstAddress = 0;  // Code63_1
    std::int32_t writeLastAddress = 0;   // Code63_2
    bool fullChecksumEnabled = false;    // CheckCode72
    std::uint32_t fullChecksum = 0;      // Code72

    // --- Protocol state ------------------------------------------------------------------
    std::atomic<std::uint8_t> deviceSectorSizeCode{0};
    std::atomic<std::uint32_t> pcChecksum{0};
    std::atomic<std::int32_t> resultCode{0};
    std::atomic<std::int32_t> stepIndex{0};
    std::atomic<std::int32_t> writeAddress{0};
    std::array<std::atomic<std::uint8_t>, kStepCount> steps{};
    std::atomic<std::uint8_t> pendingRequest{0};
    std::array<std::atomic<std::uint8_t>, kReplyCapacity> replyBytes{};
    std::atomic<std::int32_t> replyLength{0};
    std::atomic<std::uint32_t> lastTxTick{0};
    std::atomic<std::uint32_t> elapsedSeconds{0};
    std::atomic<std::uint32_t> deviceChecksum{0};
    std::atomic<std::uint32_t> deviceFullChecksum{0};

    // The serial error text shown with result code 10 (at most 127 characters kept).
    std::string commErrorText() const;
    void setCommErrorText(std::string_view text);

    // Sets resultCode and wakes a waiting protocol thread.
    void recordResult(std::int32_t code);

    // The command byte of the current step (0 when stepIndex is outside the table).
    std::uint8_t currentStep() const;

    // Snapshot of the reply bytes stored so far (at most kReplyCapacity).
    std::array<std::uint8_t, kReplyCapacity> replySnapshot() const;

    // Wakes whoever waits in waitForChange(); called whenever a worker changes the step
    // or the result, so the protocol loop need not poll blindly.
    void notifyChange();
    // Waits until notifyChange() is called or `timeout` passes. Returns true when notified.
    // A change since the last wait ended counts: a notification is never lost between waits.
    bool waitForChange(std::chrono::microseconds timeout);
    // As waitForChange, until `deadline`; none: for as long as it takes.
    bool waitForChangeUntil(std::optional<std::chrono::steady_clock::time_point> deadline);

private:
    mutable std::mutex textMutex_;
    char commErrorText_[kCommErrorTextSize] = {};

    std::mutex changeMutex_;
    std::condition_variable changeCv_;
    std::uint64_t changeCount_ = 0;
    std::uint64_t seenCount_ = 0;
};

// Clears the protocol state for a new download and fills the step table.
void resetProtocolState(DownloadContext& ctx);

// Moves to the next step: stepIndex + 1, pendingRequest, replyBytes, replyLength and
// lastTxTick back to 0.
void advanceStep(DownloadContext& ctx);

} // namespace pexo
