#pragma once

#include "core/download/PortFrameWriter.h"
#include "core/protocol/Completion.h"
#include "core/protocol/TickClock.h"
#include "core/serial/PortOpenFailure.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace pexo {

class CUDownloadProtocolThread;

// Shown when the system cannot give the protocol its thread; the run then ends as aborted.
inline constexpr std::string_view kThreadStartFailedText = "Failed to start the download thread.";
class Host;
struct CommSettings;
struct DownloadContext;
struct ProtocolParameters;

// One download from the settings copy to the closed port. Both front ends drive it: the
// desktop program through its dialogs, the command line by itself. All calls come from one
// thread (the front end's); the protocol and reader threads live inside.
//
//   prepare() -> beginConnectPoll() -> pollTick()... -> startProtocol() -> finishProtocol()
//   -> (result lines) -> close()          close() runs on every path that opened the port.
class DownloadSession {
public:
    enum class Setup {
        Ready,                  // the port is open
        ParameterDataSetFailed, // "Parameter data set failed."
        Rs232cDataSetFailed,    // "RS232C data set failed."
        WriteRangeInverted,     // the first write address lies above the last; nothing sent
        FileLengthError,        // result code 8 recorded; the port was not touched
        PortOpenFailed,         // "RS232C connection failed."
    };

    explicit DownloadSession(Host& host, TickClock clock = steadyTickMs);
    DownloadSession(const DownloadSession&) = delete;
    DownloadSession& operator=(const DownloadSession&) = delete;
    // Stops the protocol thread and closes the port if the owner has not.
    ~DownloadSession();

    // Copies the settings into the context, checks the image length against the write range
    // and opens the port. `portFailure` receives the system's reason when the port fails
    // (openFailure().text()).
    Setup prepare(const ProtocolParameters& params, const CommSettings& comm,
                  std::string* portFailure = nullptr);
    // Why the last prepare() could not open the port, told apart.
    const PortOpenFailure& openFailure() const { return openFailure_; }

    // The connect poll: resets the run, then each tick notes whether the device has echoed
    // an earlier poll (checked before this tick's send) and sends 0xD6 again. A tick never
    // waits for the line: a poll the line will not take now is not sent (nor counted).
    void beginConnectPoll();
    bool pollTick();
    bool echoSeen() const { return echoSeen_; }
    // Echoes received since beginConnectPoll(), until the protocol starts: a count that stops
    // growing tells that the device has gone quiet. Any thread.
    std::uint64_t echoCount() const;
    // Code30, or 20 ms when it is 0.
    std::chrono::milliseconds pollInterval() const;

    // The origin of the elapsed time: the moment the progress display is made. Later calls
    // keep the first origin.
    void startClock();

    // Moves to the first protocol step and starts the protocol thread, whose completion
    // command goes to `sink` on that thread (or, when no thread can be had, Aborted at once
    // on the caller's). Never waits: on its own thread the protocol first lets the echoes of
    // the last polls arrive (briefly), so that a late echo is not taken for the start of the
    // sector-size reply. Starts the clock when startClock() was not called.
    void startProtocol(CompletionSink sink);

    // Asks the protocol thread to stop at its next pass and releases a write that the line
    // holds (flow control), so that the thread ends promptly; never blocks.
    void requestStop();
    // True once the protocol thread has ended (or never started); waits at most `timeout`.
    bool waitForProtocolEnd(std::chrono::milliseconds timeout);
    // The end sequence: stop requested, thread ended, elapsed seconds stored.
    void finishProtocol();
    // Whole seconds since the clock started (0 before).
    std::uint32_t elapsedSeconds() const;

    // Replaces the bound of the wait for the echoes of the last polls (about as long as they
    // take on the line, 2 s at most). Tests make it long, to show that the wait ends by itself
    // once the echoes are in.
    void setEchoWaitLimit(std::chrono::milliseconds limit) { echoWaitLimit_ = limit; }

    // Closes the port if this session opened it.
    void close();
    bool portOpen() const { return portOpened_; }

private:
    void receive(std::span<const std::uint8_t> chunk);
    void awaitOutstandingEchoes(std::uint32_t baudRate, std::chrono::milliseconds pollPeriod,
                                std::optional<std::chrono::milliseconds> limit);

    Host& host_;
    TickClock clock_;
    std::unique_ptr<PortFrameWriter> writer_;
    std::unique_ptr<CUDownloadProtocolThread> thread_;
    bool portOpened_ = false;
    PortOpenFailure openFailure_;
    bool polling_ = false;
    bool echoSeen_ = false;
    bool started_ = false;
    std::uint32_t startSecond_ = 0;
    std::optional<std::chrono::milliseconds> echoWaitLimit_;

    // The connect poll's accounting, for the wait before the first request. Polls are sent by
    // the owner's thread, echoes counted by the reader thread, the wait runs on the protocol
    // thread: all under echoMutex_.
    mutable std::mutex echoMutex_;
    std::condition_variable echoArrived_;
    std::uint64_t pollsSent_ = 0;
    std::uint64_t echoesSeen_ = 0;
    std::uint64_t pollsAtFirstEcho_ = 0; // polls sent when the first echo arrived
    std::chrono::steady_clock::time_point lastLineActivity_{};
    bool stopping_ = false;
    std::atomic<bool> countingEchoes_{false};
};

} // namespace pexo
