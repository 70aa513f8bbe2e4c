#include "core/download/DownloadSession.h"

#include "core/app/Host.h"
#include "core/protocol/CUDownloadProtocolThread.h"
#include "core/protocol/DownloadContext.h"
#include "core/protocol/Frames.h"
#include "core/protocol/ReplyHandler.h"
#include "core/protocol/ResultCode.h"
#include "core/serial/SerialPort.h"
#include "core/settings/DataSet.h"

#include <algorithm>

namespace pexo {

DownloadSession::DownloadSession(Host& host, TickClock clock)
    : host_(host), clock_(std::move(clock)) {}

DownloadSession::~DownloadSession() {
    if (thread_) {
        thread_->requestStop();
        thread_->join();
    }
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
    // An image exactly as long as the last address passes.
    const std::uint32_t size = host_.imageSize();
    if (size < static_cast<std::uint32_t>(ctx->writeFirstAddress) ||
        size < static_cast<std::uint32_t>(ctx->writeLastAddress)) {
        ctx->recordResult(toInt(ResultCode::ImageTooShort));
        return Setup::FileLengthError;
    }

    auto sink = [this](std::span<const std::uint8_t> chunk) { receive(chunk); };
    if (!openPort(*ctx, sink, portFailure))
        return Setup::PortOpenFailed;
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
            echoesSeen_ += echoes;
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
    pollsSent_ = 0;
    {
        std::lock_guard lock(echoMutex_);
        echoesSeen_ = 0;
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
    ++pollsSent_;
    writePort(*ctx, frame.data(), frame.size());
    return echoSeen_;
}

std::chrono::milliseconds DownloadSession::pollInterval() const {
    const DownloadContext* ctx = host_.downloadContext();
    const int interval = ctx ? ctx->txIntervalTime : 0;
    return std::chrono::milliseconds(interval > 0 ? interval : 20);
}

// A device that echoes every poll is answering the last ones while the operator continues;
// an echo arriving after 0x82 has gone out would spoil the sector-size reply. So wait for
// the echoes still due, for about as long as they take on the line, then go on regardless
// (a device that stopped echoing meets the protocol's own time-outs).
void DownloadSession::awaitOutstandingEchoes() {
    const DownloadContext* ctx = host_.downloadContext();
    if (!ctx || !echoSeen_ || pollsSent_ == 0)
        return;
    const std::uint32_t baud = ctx->baudRate > 0 ? ctx->baudRate : 9600;
    const auto lineTime = std::chrono::milliseconds(pollsSent_ * 10'000 / baud);
    // Generous, since only a device that went silent in this very moment waits it out.
    const auto limit = std::min<std::chrono::milliseconds>(
        std::chrono::milliseconds(500) + lineTime, std::chrono::milliseconds(2000));
    std::unique_lock lock(echoMutex_);
    echoArrived_.wait_for(lock, limit, [&] { return echoesSeen_ >= pollsSent_; });
}

void DownloadSession::startProtocol(CompletionSink sink) {
    polling_ = false;
    awaitOutstandingEchoes();
    countingEchoes_ = false;
    startSecond_ = clock_() / 1000;
    started_ = true;
    DownloadContext* ctx = host_.downloadContext();
    if (!ctx || !writer_)
        return;
    advanceStep(*ctx);
    thread_ = std::make_unique<CUDownloadProtocolThread>(host_, *writer_, sink, clock_);
    if (!thread_->start()) {
        host_.showMessage(kThreadStartFailedText, MessageIcon::Stop);
        if (sink)
            sink(CompletionCommand::Aborted);
    }
}

void DownloadSession::requestStop() {
    if (thread_)
        thread_->requestStop();
}

bool DownloadSession::waitForProtocolEnd(std::chrono::milliseconds timeout) {
    return !thread_ || thread_->waitForEnd(timeout);
}

void DownloadSession::finishProtocol() {
    if (thread_) {
        thread_->requestStop();
        thread_->join();
    }
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
    if (thread_) {
        thread_->requestStop();
        thread_->join();
    }
    if (DownloadContext* ctx = host_.downloadContext())
        closePort(*ctx);
    portOpened_ = false;
}

} // namespace pexo
