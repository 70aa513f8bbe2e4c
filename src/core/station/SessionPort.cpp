#include "core/station/SessionPort.h"

#include "core/app/Host.h"
#include "core/download/DownloadSession.h"
#include "core/protocol/DownloadContext.h"
#include "core/protocol/ResultCode.h"
#include "core/protocol/ResultTexts.h"
#include "core/serial/PortDevice.h"
#include "core/settings/DataSet.h"
#include "core/settings/ParameterChecks.h"
#include "core/station/StationHost.h"

namespace pexo {
namespace {

void addLine(std::vector<std::string>& lines, const std::string& line) {
    if (!line.empty())
        lines.push_back(line);
}

} // namespace

SessionPort::SessionPort(Host& host, const ProtocolParameters& params, const CommSettings& comm)
    : host_(host), params_(params), comm_(comm) {}

SessionPort::~SessionPort() {
    close();
}

bool SessionPort::present() const {
    const DownloadContext* ctx = host_.downloadContext();
    if (!ctx)
        return false;
    return portDevicePresent(resolvePortDevice(*ctx));
}

StationPort::Open SessionPort::open(std::string& why, TryOutcome& refusal) {
    session_ = std::make_unique<DownloadSession>(host_);
    const auto refuse = [&](std::string_view text) {
        host_.showMessage(text, MessageIcon::Stop);
        session_.reset();
        return Open::Refused;
    };
    switch (session_->prepare(params_, comm_, &why)) {
    case DownloadSession::Setup::Ready:
        return Open::Ready;
    case DownloadSession::Setup::ParameterDataSetFailed:
        return refuse(kParameterDataSetFailedText);
    case DownloadSession::Setup::Rs232cDataSetFailed:
        return refuse(kRs232cDataSetFailedText);
    case DownloadSession::Setup::WriteRangeInverted:
        return refuse(kWriteRangeInvertedMessage);
    case DownloadSession::Setup::FileLengthError:
        refusal = failedOutcome();
        session_.reset();
        return Open::Refused;
    case DownloadSession::Setup::PortOpenFailed:
        break;
    }
    session_.reset();
    return Open::Unavailable;
}

void SessionPort::close() {
    if (session_)
        session_->close();
    session_.reset();
    std::lock_guard lock(mutex_);
    downloading_ = false;
}

void SessionPort::beginPolling() {
    if (session_)
        session_->beginConnectPoll();
}

void SessionPort::pollTick() {
    if (session_)
        session_->pollTick();
}

std::uint64_t SessionPort::echoCount() const {
    return session_ ? session_->echoCount() : 0;
}

std::chrono::milliseconds SessionPort::pollInterval() const {
    return session_ ? session_->pollInterval() : std::chrono::milliseconds(20);
}

std::optional<TryOutcome> SessionPort::lineFailure() const {
    const DownloadContext* ctx = host_.downloadContext();
    if (!ctx || ctx->resultCode.load() == 0)
        return std::nullopt;
    return failedOutcome();
}

void SessionPort::startDownload(std::function<void()> ended) {
    ended_ = std::move(ended);
    {
        std::lock_guard lock(mutex_);
        completion_.reset();
        downloading_ = true;
        progress_ = ProgressModel(host_.imageSize());
    }
    session_->startProtocol([this](CompletionCommand command) {
        {
            std::lock_guard lock(mutex_);
            completion_ = command;
        }
        if (ended_)
            ended_();
    });
}

bool SessionPort::downloadEnded() const {
    {
        std::lock_guard lock(mutex_);
        if (completion_)
            return true;
    }
    // A thread that ended without a word must not hold the port forever.
    return !session_ || session_->waitForProtocolEnd(std::chrono::milliseconds(0));
}

TryOutcome SessionPort::finishDownload() {
    if (session_)
        session_->finishProtocol(); // no completion comes after this
    std::optional<CompletionCommand> completion;
    {
        std::lock_guard lock(mutex_);
        completion = completion_;
        downloading_ = false;
    }
    TryOutcome outcome;
    if (!completion) {
        outcome.end = TryOutcome::End::Cancelled;
        return outcome;
    }
    switch (*completion) {
    case CompletionCommand::Aborted:
        outcome.end = TryOutcome::End::Aborted;
        return outcome;
    case CompletionCommand::Failed:
        return failedOutcome();
    case CompletionCommand::Success:
        break;
    }
    const DownloadContext& ctx = *host_.downloadContext();
    const NormalEndLines lines = normalEndLines(&ctx);
    addLine(outcome.lines, lines.timeLine);
    outcome.lines.emplace_back(kNormalEndText);
    addLine(outcome.lines, lines.pcChecksumLine);
    addLine(outcome.lines, lines.deviceChecksumLine);
    outcome.pcChecksum = ctx.pcChecksum.load();
    outcome.deviceChecksum =
        ctx.fullChecksumEnabled ? ctx.deviceFullChecksum.load() : ctx.deviceChecksum.load();
    return outcome;
}

TryOutcome SessionPort::failedOutcome() const {
    const DownloadContext& ctx = *host_.downloadContext();
    TryOutcome outcome;
    const std::int32_t code = ctx.resultCode.load();
    // A failure always counts as one, even if no code was recorded.
    outcome.resultCode = code >= 1 && code <= 11 ? code : toInt(ResultCode::ProtocolError);
    const ErrorEndLines lines = errorEndLines(&ctx, host_.imageSize());
    addLine(outcome.lines, lines.timeLine);
    addLine(outcome.lines, lines.errorLine);
    addLine(outcome.lines, lines.detailLine);
    addLine(outcome.lines, lines.thirdLine);
    outcome.pcChecksum = ctx.pcChecksum.load();
    if (code == toInt(ResultCode::FullChecksumMismatch))
        outcome.deviceChecksum = ctx.deviceFullChecksum.load();
    return outcome;
}

TryProgress SessionPort::progress() const {
    const DownloadContext* ctx = host_.downloadContext();
    std::lock_guard lock(mutex_);
    if (!downloading_ || !ctx)
        return {};
    progress_.update(*ctx);
    TryProgress progress;
    const std::uint32_t maximum = progress_.barMaximum();
    progress.percent = maximum == 0 ? 0.0 : 100.0 * progress_.barPosition() / maximum;
    progress.percentText = progress_.percentText();
    progress.step = progress_.processLine();
    return progress;
}

} // namespace pexo
