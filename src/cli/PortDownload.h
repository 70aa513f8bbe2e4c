#pragma once

#include "core/download/ProgressModel.h"
#include "core/settings/CommSettings.h"
#include "core/settings/ProtocolParameters.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace pexo::cli {

class PortHost;

struct PortOutcome {
    int status = 0;                 // the exit status this port asks for
    std::vector<std::string> lines; // the result report's non-empty lines, in reading order
};

// One port's whole download, run on a thread of its own: set-up, the connect poll (which
// continues by itself at the first echo), the protocol, the result, the port closed.
class PortDownload {
public:
    enum class Phase { Preparing, Connecting, Downloading, Ended };

    struct Limits {
        // Give up polling after this long; none: poll until interrupted.
        std::optional<std::chrono::milliseconds> connectTimeout;
    };

    PortDownload(PortHost& host, const ProtocolParameters& params, const CommSettings& comm,
                 Limits limits, std::function<void()> onEnd);

    // The download; returns when the port is closed and every thread it started has ended.
    void run();
    // Stops the download like Cancel: polling ends, the protocol thread stops at its next
    // pass, the port closes. Any thread, any time.
    void interrupt();

    Phase phase() const { return phase_.load(); }
    // Valid once run() has returned.
    const PortOutcome& outcome() const { return outcome_; }
    // One line of progress for the console; call from one thread only.
    std::string progressText();

private:
    PortOutcome runSteps();
    // Waits for `period`, a completion or an interrupt, whichever comes first.
    void waitEvent(std::chrono::milliseconds period);
    bool interrupted();

    PortHost& host_;
    ProtocolParameters params_;
    CommSettings comm_;
    Limits limits_;
    std::function<void()> onEnd_;
    PortOutcome outcome_;

    std::atomic<Phase> phase_{Phase::Preparing};
    std::atomic<std::int64_t> startedAtMs_{0};
    ProgressModel progress_;

    std::mutex mutex_;
    std::condition_variable event_;
    bool interrupted_ = false;
    std::optional<int> completion_;
};

} // namespace pexo::cli
