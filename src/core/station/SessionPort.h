#pragma once

#include "core/download/ProgressModel.h"
#include "core/protocol/Completion.h"
#include "core/settings/CommSettings.h"
#include "core/settings/ProtocolParameters.h"
#include "core/station/StationPort.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace pexo {

class DownloadSession;
class Host;

// A station port over the real download: each open is a DownloadSession on the host's
// context (whose devicePath names the port), with the settings given.
class SessionPort : public StationPort {
public:
    SessionPort(Host& host, const ProtocolParameters& params, const CommSettings& comm);
    ~SessionPort() override;

    bool present() const override;
    Open open(std::string& why, TryOutcome& refusal) override;
    void close() override;

    void beginPolling() override;
    void pollTick() override;
    std::uint64_t echoCount() const override;
    std::chrono::milliseconds pollInterval() const override;
    std::optional<TryOutcome> lineFailure() const override;

    void startDownload(std::function<void()> ended) override;
    bool downloadEnded() const override;
    TryOutcome finishDownload() override;
    TryProgress progress() const override;

private:
    TryOutcome failedOutcome() const;

    Host& host_;
    const ProtocolParameters params_;
    const CommSettings comm_;
    std::unique_ptr<DownloadSession> session_;
    std::function<void()> ended_;

    mutable std::mutex mutex_; // the completion and the progress, shared with other threads
    std::optional<CompletionCommand> completion_;
    bool downloading_ = false;
    mutable ProgressModel progress_{0};
};

} // namespace pexo
