#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pexo {

// How one download try on a port ended.
struct TryOutcome {
    enum class End {
        Completed, // the protocol ran to its end: `resultCode` says how (0 normal end)
        Cancelled, // stopped before it ended
        Aborted,   // the protocol could not run at all (a message has been shown)
    };
    End end = End::Completed;
    std::int32_t resultCode = 0;
    std::vector<std::string> lines; // the result report's non-empty lines
    std::uint32_t pcChecksum = 0;
    std::optional<std::uint32_t> deviceChecksum; // when the device reported one
};

// A download in progress, for a display.
struct TryProgress {
    double percent = 0;
    std::string percentText; // "12.5 %"
    std::string step;        // the step and block being worked on
};

// One serial port as the station drives it. The real one runs a DownloadSession on the
// device; tests put a scripted one here. Every call comes from the port's own thread, except
// progress(), which may come from any thread.
class StationPort {
public:
    enum class Open {
        Ready,       // the port is open
        Unavailable, // it cannot be opened now (missing, in use): `why` says so
        Refused,     // the settings or the image cannot serve: `refusal` says why
    };

    virtual ~StationPort() = default;

    // The port's path names a device now.
    virtual bool present() const = 0;
    // Opens the port. On Refused, `refusal` holds the status the run ends with (a result
    // code, or 0 for a set-up failure) and the lines that tell why.
    virtual Open open(std::string& why, TryOutcome& refusal) = 0;
    virtual void close() = 0;

    // The connect poll: begin, then one poll per tick. echoCount() grows with every echo.
    virtual void beginPolling() = 0;
    virtual void pollTick() = 0;
    virtual std::uint64_t echoCount() const = 0;
    virtual std::chrono::milliseconds pollInterval() const = 0;
    // The line failed under the poll; the outcome tells how (result 10 and its lines).
    virtual std::optional<TryOutcome> lineFailure() const = 0;

    // Starts the protocol; `ended` is called, on any thread, once it has ended by itself.
    virtual void startDownload(std::function<void()> ended) = 0;
    virtual bool downloadEnded() const = 0;
    // Stops the protocol if it still runs and tells how the try ended.
    virtual TryOutcome finishDownload() = 0;
    virtual TryProgress progress() const = 0;
};

} // namespace pexo
