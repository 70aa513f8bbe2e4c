#include "core/download/DownloadSession.h"

#include "core/app/Host.h"
#include "core/protocol/CUDownloadProtocolThread.h"
#include "core/protocol/DownloadContext.h"
#include "core/protocol/Frames.h"
#include "core/protocol/ReplyHandler.h"
#include "core/protocol/ResultCode.h"
#include "core/serial/SerialPort.h"
#include "core/settings/DataSet.h"
#include "core/settings/ParameterChecks.h"

#include <algorithm>

namespace pexo {

DownloadSession::DownloadSession(Host& host, TickClock clock)
    : host_(host), clock_(std::move(clock)) {}

DownloadSession::~DownloadSession() {
    requestStop();
    if (thread_)
        thread_->join();
    close();
}

DownloadSession::Setup DownloadSession::prepare(const ProtocolParameters& params,
                                                const CommSettings& comm,
                                                std::string* portFailure) {
    if (!ParameterDataSet(params, host_))
        return Setup::ParameterDataSetFailed;
    if (!RS232CDataSet(comm, host_))
        return Setup::Rs232cDataSetFailed;

    DownloadContext* ctx = host_.downloadContext();
    // A settings file can hold what the dialog refuses; such a range would send one block
    // and end "normally".
    if (checkWriteRange(ctx->writeFirstAddress, ctx->writeLastAddress))
        return Setup::WriteRangeInverted;
    // An image exactly as long as the last address passes.
    const std::uint32_t size = host_.imageSize();
    if (size < static_cast<std::uint32_t>(ctx->writeFirstAddress) ||
        size < static_cast<std::uint32_t>(ctx->writeLastAddress)) {
        ctx->recordResult(toInt(ResultCode::ImageTooShort));
        ctx->elapsedSeconds = 0; // nothing ran: the report must not show the last run's time
        return Setup::FileLengthError;
    }

    auto sink = [this](std::span<const std::uint8_t> chunk) { receive(chunk); };
    if (!openPort(*ctx, sink, &openFailure_)) {
        if (portFailure)
            *portFailure = openFailure_.text();
        return Setup::PortOpenFailed;
    }
    portOpened_ = true;
    writer_ = std::make_unique<PortFrameWriter>(*ctx);
    return Setup::Ready;
}

void DownloadSession::receive(std::span<const std::uint8_t> chunk) {
    handleReceivedBytes(host_, chunk.data(), chunk.size());
    // Counted only once handled, so that whoever waits for an echo finds it consumed.
    if (countingEchoes_.load()) {
        const auto echoes = static_cast<std::uint64_t>(
            std::count(chunk.begin(), chunk.end(), command::kConnectPoll));
        if (echoes != 0) {
            std::lock_guard lock(echoMutex_);
            if (echoesSeen_ == 0)
                pollsAtFirstEcho_ = pollsSent_;
            echoesSeen_ += echoes;
            lastLineActivity_ = std::chrono::steady_clock::now();
            echoArrived_.notify_all();
        }
    }
}

void DownloadSession::beginConnectPoll() {
    DownloadContext* ctx = host_.downloadContext();
    if (!ctx)
        return;
    resetProtocolState(*ctx);
    polling_ = true;
    echoSeen_ = false;
    {
        std::lock_guard lock(echoMutex_);
        pollsSent_ = 0;
        echoesSeen_ = 0;
        pollsAtFirstEcho_ = 0;
        stopping_ = false;
    }
    countingEchoes_ = true;
}

bool DownloadSession::pollTick() {
    DownloadContext* ctx = host_.downloadContext();
    if (!ctx || !polling_)
        return echoSeen_;
    if (ctx->pendingRequest.load() == command::kConnectPoll &&
        ctx->replyBytes[0].load() == reply::kConnected)
        echoSeen_ = true;
    // pendingRequest first, so the reader matches an echo that beats the write's return.
    ctx->pendingRequest = command::kConnectPoll;
    const auto frame = connectPollFrame();
    // Held for the (non-blocking) offer, so that an echo is counted against the polls sent.
    std::lock_guard lock(echoMutex_);
    if (offerPortBytes(*ctx, frame.data(), frame.size()) == frame.size()) {
        ++pollsSent_;
        lastLineActivity_ = std::chrono::steady_clock::now();
    }
    return echoSeen_;
}

std::uint64_t DownloadSession::echoCount() const {
    std::lock_guard lock(echoMutex_);
    return echoesSeen_;
}

std::chrono::milliseconds DownloadSession::pollInterval() const {
    const DownloadContext* ctx = host_.downloadContext();
    const int interval = ctx ? ctx->txIntervalTime : 0;
    return std::chrono::milliseconds(interval > 0 ? interval : 20);
}

// A device that echoes every poll is answering the last ones while the operator continues;
// an echo arriving after 0x82 has gone out would spoil the sector-size reply. So wait until
// every poll sent since the device began to answer has been echoed and the line has then
// been quiet for a moment (a slow line may still carry echoes of polls sent before the first
// echo came back), for about as long as the echoes take on the line at most; then go on
// regardless (a device that stopped echoing meets the protocol's own time-outs). Polls sent
// before the device was there are never echoed and are not waited for. A slow device echoes
// late, one poll period apart: the moment of quiet is longer than a poll period, so that the
// echoes of polls still on their way are never taken for their end.
void DownloadSession::awaitOutstandingEchoes(std::uint32_t baudRate,
                                             std::chrono::milliseconds pollPeriod,
                                             std::optional<std::chrono::milliseconds> limit) {
    using namespace std::chrono;
    const std::uint64_t baud = baudRate > 0 ? baudRate : 9600;
    const auto charTime = [&](std::uint64_t chars) {
        return milliseconds((chars * 10'000 + baud - 1) / baud);
    };
    // A poll period is counted in up to 100 ms: past that, a device would have to echo more
    // than a period late for the count to miss an echo, and the start must not wait seconds.
    const milliseconds quiet = std::max<milliseconds>(milliseconds(50), charTime(6)) +
                               std::min<milliseconds>(pollPeriod, milliseconds(100));

    std::unique_lock lock(echoMutex_);
    if (echoesSeen_ == 0 || stopping_)
        return;
    const std::uint64_t due = pollsSent_ - pollsAtFirstEcho_ + 1;
    if (!limit)
        limit = std::min<milliseconds>(milliseconds(500) + charTime(2 * due), milliseconds(2000));
    const auto giveUpAt = steady_clock::now() + *limit;
    for (;;) {
        if (stopping_)
            return;
        const auto now = steady_clock::now();
        const auto quietUntil = lastLineActivity_ + quiet;
        if (echoesSeen_ >= due && now >= quietUntil)
            return;
        if (now >= giveUpAt)
            return;
        echoArrived_.wait_until(lock,
                                echoesSeen_ >= due ? std::min(quietUntil, giveUpAt) : giveUpAt);
    }
}

void DownloadSession::startClock() {
    if (started_)
        return;
    startSecond_ = clock_() / 1000;
    started_ = true;
}

void DownloadSession::startProtocol(CompletionSink sink) {
    polling_ = false;
    startClock();
    DownloadContext* ctx = host_.downloadContext();
    if (!ctx || !writer_) {
        countingEchoes_ = false;
        return;
    }
    advanceStep(*ctx);
    thread_ = std::make_unique<CUDownloadProtocolThread>(host_, *writer_, sink, clock_);
    const std::uint32_t baud = ctx->baudRate;
    const bool started =
        thread_->start([this, baud, period = pollInterval(), limit = echoWaitLimit_] {
            awaitOutstandingEchoes(baud, period, limit);
            countingEchoes_ = false;
        });
    if (!started) {
        countingEchoes_ = false;
        host_.showMessage(kThreadStartFailedText, MessageIcon::Stop);
        if (sink)
            sink(CompletionCommand::Aborted);
    }
}

void DownloadSession::requestStop() {
    {
        std::lock_guard lock(echoMutex_);
        stopping_ = true;
    }
    echoArrived_.notify_all();
    if (thread_)
        thread_->requestStop();
    // A line held by flow control would keep the thread in its write until the step's
    // time-out; the stop must not wait for that.
    if (DownloadContext* ctx = host_.downloadContext(); ctx && portOpened_)
        cancelPortWrites(*ctx);
}

bool DownloadSession::waitForProtocolEnd(std::chrono::milliseconds timeout) {
    return !thread_ || thread_->waitForEnd(timeout);
}

void DownloadSession::finishProtocol() {
    requestStop();
    if (thread_)
        thread_->join();
    if (DownloadContext* ctx = host_.downloadContext(); ctx && started_)
        ctx->elapsedSeconds = elapsedSeconds();
}

std::uint32_t DownloadSession::elapsedSeconds() const {
    return started_ ? clock_() / 1000 - startSecond_ : 0;
}

void DownloadSession::close() {
    if (!portOpened_)
        return;
    // The protocol thread must be gone before the port it writes to.
    requestStop();
    if (thread_)
        thread_->join();
    if (DownloadContext* ctx = host_.downloadContext())
        closePort(*ctx);
    portOpened_ = false;
}

} // namespace pexo
