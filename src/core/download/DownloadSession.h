#pragma once

#include "core/download/PortFrameWriter.h"
#include "core/protocol/Completion.h"
#include "core/protocol/TickClock.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
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
        FileLengthError,        // result code 8 recorded; the port was not touched
        PortOpenFailed,         // "RS232C connection failed."
    };

    explicit DownloadSession(Host& host, TickClock clock = steadyTickMs);
    DownloadSession(const DownloadSession&) = delete;
    DownloadSession& operator=(const DownloadSession&) = delete;
    // Stops the protocol thread and closes the port if the owner has not.
    ~DownloadSession();

    // Copies the settings into the context, checks the image length against the write range
    // and opens the port. `portFailure` receives the system's reason when the port fails.
    Setup prepare(const ProtocolParameters& params, const CommSettings& comm,
                  std::string* portFailure = nullptr);

    // The connect poll: resets the run, then each tick notes whether the device has echoed
    // an earlier poll (checked before this tick's send) and sends 0xD6 again.
    void beginConnectPoll();
    bool pollTick();
    bool echoSeen() const { return echoSeen_; }
    // Code30, or 20 ms when it is 0.
    std::chrono::milliseconds pollInterval() const;

    // Moves to the first protocol step and starts the protocol thread, whose completion
    // command goes to `sink` on that thread (or, when no thread can be had, Aborted at once
    // on the caller's). The elapsed time counts from here. The echoes
    // of polls still on the line are awaited first (briefly), so that a late echo is not
    // taken for the start of the sector-size reply.
    void startProtocol(CompletionSink sink);

    // Asks the protocol thread to stop at its next pass; never blocks.
    void requestStop();
    // True once the protocol thread has ended (or never started); waits at most `timeout`.
    bool waitForProtocolEnd(std::chrono::milliseconds timeout);
    // The end sequence: stop requested, thread ended, elapsed seconds stored.
    void finishProtocol();
    // Whole seconds since startProtocol() (0 before).
    std::uint32_t elapsedSeconds() const;

    // Closes the port if this session opened it.
    void close();
    bool portOpen() const { return portOpened_; }

private:
    void receive(std::span<const std::uint8_t> chunk);
    void awaitOutstandingEchoes();

    Host& host_;
    TickClock clock_;
    std::unique_ptr<PortFrameWriter> writer_;
    std::unique_ptr<CUDownloadProtocolThread> thread_;
    bool portOpened_ = false;
    bool polling_ = false;
    bool echoSeen_ = false;
    bool started_ = false;
    std::uint32_t startSecond_ = 0;

    // Polls sent and echoes seen in this connect poll; the reader thread counts the echoes.
    std::uint64_t pollsSent_ = 0;
    std::mutex echoMutex_;
    std::condition_variable echoArrived_;
    std::uint64_t echoesSeen_ = 0;
    std::atomic<bool> countingEchoes_{false};
};

} // namespace pexo
