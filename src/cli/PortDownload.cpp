#include "cli/PortDownload.h"

#include "cli/ExitStatus.h"
#include "cli/PortHost.h"
#include "core/download/DownloadSession.h"
#include "core/protocol/Completion.h"
#include "core/protocol/ResultTexts.h"
#include "core/settings/DataSet.h"
#include "core/settings/ParameterChecks.h"

#include <cstdio>

namespace pexo::cli {
namespace {

using Clock = std::chrono::steady_clock;

std::int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               Clock::now().time_since_epoch())
        .count();
}

void addLine(std::vector<std::string>& lines, const std::string& line) {
    if (!line.empty())
        lines.push_back(line);
}

PortOutcome errorOutcome(const DownloadContext& ctx, std::uint32_t imageSize) {
    PortOutcome outcome;
    const std::int32_t code = ctx.resultCode.load();
    // A failure always exits non-zero, even if no code was recorded.
    outcome.status = code >= 1 && code <= 11 ? code : 9;
    const ErrorEndLines lines = errorEndLines(&ctx, imageSize);
    addLine(outcome.lines, lines.timeLine);
    addLine(outcome.lines, lines.errorLine);
    addLine(outcome.lines, lines.detailLine);
    addLine(outcome.lines, lines.thirdLine);
    return outcome;
}

PortOutcome normalOutcome(const DownloadContext& ctx) {
    PortOutcome outcome;
    const NormalEndLines lines = normalEndLines(&ctx);
    addLine(outcome.lines, lines.timeLine);
    outcome.lines.emplace_back(kNormalEndText);
    addLine(outcome.lines, lines.pcChecksumLine);
    addLine(outcome.lines, lines.deviceChecksumLine);
    return outcome;
}

std::string bar(std::uint32_t position, std::uint32_t maximum) {
    constexpr std::uint64_t kWidth = 24;
    const std::uint64_t filled =
        maximum == 0 ? 0 : std::min<std::uint64_t>(kWidth, std::uint64_t{position} * kWidth / maximum);
    std::string text;
    text.reserve(kWidth + 2);
    text += '[';
    text.append(filled, '#');
    text.append(kWidth - filled, '.');
    text += ']';
    return text;
}

} // namespace

PortDownload::PortDownload(PortHost& host, const ProtocolParameters& params,
                           const CommSettings& comm, Limits limits, std::function<void()> onEnd)
    : host_(host), params_(params), comm_(comm), limits_(limits), onEnd_(std::move(onEnd)),
      progress_(host.imageSize()) {}

void PortDownload::interrupt() {
    std::lock_guard lock(mutex_);
    interrupted_ = true;
    event_.notify_all();
}

bool PortDownload::interrupted() {
    std::lock_guard lock(mutex_);
    return interrupted_;
}

void PortDownload::waitEvent(std::chrono::milliseconds period) {
    std::unique_lock lock(mutex_);
    event_.wait_for(lock, period, [this] { return interrupted_ || completion_.has_value(); });
}

void PortDownload::run() {
    outcome_ = runSteps();
    phase_ = Phase::Ended;
    if (onEnd_)
        onEnd_();
}

PortOutcome PortDownload::runSteps() {
    DownloadContext& ctx = *host_.downloadContext();
    DownloadSession session(host_);
    std::string why;
    switch (session.prepare(params_, comm_, &why)) {
    case DownloadSession::Setup::Ready:
        break;
    case DownloadSession::Setup::ParameterDataSetFailed:
        host_.showMessage(kParameterDataSetFailedText, MessageIcon::Stop);
        return {kExitSetupFailed, {}};
    case DownloadSession::Setup::Rs232cDataSetFailed:
        host_.showMessage(kRs232cDataSetFailedText, MessageIcon::Stop);
        return {kExitSetupFailed, {}};
    case DownloadSession::Setup::WriteRangeInverted:
        host_.showMessage(kWriteRangeInvertedMessage, MessageIcon::Stop);
        return {kExitSetupFailed, {}};
    case DownloadSession::Setup::FileLengthError:
        return errorOutcome(ctx, host_.imageSize());
    case DownloadSession::Setup::PortOpenFailed:
        // The desktop program's line as it is; what to do about it on the next.
        host_.showMessage("RS232C connection failed.\n" + why, MessageIcon::Stop);
        return {kExitSetupFailed, {}};
    }

    phase_ = Phase::Connecting;
    session.beginConnectPoll();
    const Clock::time_point giveUpAt = limits_.connectTimeout
                                           ? Clock::now() + *limits_.connectTimeout
                                           : Clock::time_point::max();
    while (!session.pollTick()) {
        if (interrupted())
            return {kExitInterrupted, {}}; // the session closes the port
        // A line that failed under the poll (the device gone, the adapter pulled) never echoes.
        if (ctx.resultCode.load() != 0)
            return errorOutcome(ctx, host_.imageSize());
        if (Clock::now() >= giveUpAt) {
            host_.showMessage("No answer from the device: it never echoed the connect poll.",
                              MessageIcon::Stop);
            return {kExitConnectTimeout, {}};
        }
        waitEvent(session.pollInterval());
    }
    // The echo to the last poll may still be on its way: let one poll interval pass.
    waitEvent(session.pollInterval());
    if (interrupted())
        return {kExitInterrupted, {}};

    startedAtMs_ = nowMs();
    phase_ = Phase::Downloading;
    session.startProtocol([this](CompletionCommand command) {
        std::lock_guard lock(mutex_);
        completion_ = static_cast<int>(command);
        event_.notify_all();
    });
    {
        // Only this thread stops the protocol thread, and only after this wait: until then it
        // ends the run by its completion, so nothing else needs looking at.
        std::unique_lock lock(mutex_);
        event_.wait(lock, [this] { return interrupted_ || completion_.has_value(); });
    }
    session.finishProtocol(); // stops the thread if it still runs; no completion after this
    session.close();
    std::optional<int> completion;
    {
        // A completion that raced the interrupt counts: the run had ended by itself.
        std::lock_guard lock(mutex_);
        completion = completion_;
    }
    if (!completion)
        return {kExitInterrupted, {}};
    switch (static_cast<CompletionCommand>(*completion)) {
    case CompletionCommand::Success:
        return normalOutcome(ctx);
    case CompletionCommand::Failed:
        return errorOutcome(ctx, host_.imageSize());
    case CompletionCommand::Aborted:
        break;
    }
    return {kExitSetupFailed, {}}; // the engine has said why
}

std::string PortDownload::progressText() {
    switch (phase_.load()) {
    case Phase::Preparing:
        return "opening the port";
    case Phase::Connecting:
        return "Please Connect Mobiles (polling)";
    case Phase::Ended:
        return "ended";
    case Phase::Downloading:
        break;
    }
    progress_.update(*host_.downloadContext());
    const auto seconds = static_cast<std::uint32_t>((nowMs() - startedAtMs_.load()) / 1000);
    return bar(progress_.barPosition(), progress_.barMaximum()) + " " +
           progress_.percentText() + "  " + progress_.processLine() + "  " +
           durationText(seconds);
}

} // namespace pexo::cli
