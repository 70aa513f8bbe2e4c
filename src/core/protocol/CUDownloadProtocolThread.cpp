#include "core/protocol/CUDownloadProtocolThread.h"

#include "core/app/Host.h"
#include "core/protocol/DownloadContext.h"

#include <system_error>

namespace pexo {

namespace {
// Bounds the reaction to time-outs, pacing and stop when nothing signals the loop.
constexpr std::chrono::milliseconds kPassInterval{1};
} // namespace

CUDownloadProtocolThread::CUDownloadProtocolThread(Host& host, FrameWriter& port,
                                                   CompletionSink sink, TickClock clock)
    : host_(host), clock_(clock), engine_(host, port, std::move(sink), std::move(clock)) {}

CUDownloadProtocolThread::~CUDownloadProtocolThread() {
    requestStop();
    join();
}

bool CUDownloadProtocolThread::start(std::function<void()> beforeFirstPass) {
    std::lock_guard lock(joinMutex_);
    if (started_.exchange(true))
        return true;
    beforeFirstPass_ = std::move(beforeFirstPass);
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        started_.store(false); // never started: waiting for its end must not hang
        return false;
    }
    return true;
}

void CUDownloadProtocolThread::requestStop() {
    {
        std::lock_guard lock(stateMutex_);
        stopRequested_.store(true);
    }
    stateCv_.notify_all();
}

void CUDownloadProtocolThread::join() {
    // Checked before the lock: the owner may hold it while joining, and the sink runs on the
    // protocol thread itself.
    if (loopThreadId_.load() == std::this_thread::get_id())
        return;
    std::lock_guard lock(joinMutex_);
    if (thread_.joinable())
        thread_.join();
}

bool CUDownloadProtocolThread::waitForEnd(std::chrono::milliseconds timeout) {
    {
        std::unique_lock lock(stateMutex_);
        if (!stateCv_.wait_for(lock, timeout, [this] { return ended(); }))
            return false;
    }
    join();
    return true;
}

bool CUDownloadProtocolThread::ended() const {
    return !started_.load() || ended_.load();
}

void CUDownloadProtocolThread::run() {
    loopThreadId_.store(std::this_thread::get_id());
    if (beforeFirstPass_)
        beforeFirstPass_();
    while (!stopRequested_.load()) {
        engine_.pass(clock_());
        waitBetweenPasses();
    }
    {
        std::lock_guard lock(stateMutex_);
        ended_.store(true);
    }
    stateCv_.notify_all();
}

void CUDownloadProtocolThread::waitBetweenPasses() {
    if (engine_.completed()) {
        // Nothing more to do but wait for the owner to stop the loop.
        std::unique_lock lock(stateMutex_);
        stateCv_.wait(lock, [this] { return stopRequested_.load(); });
        return;
    }
    if (DownloadContext* ctx = host_.downloadContext()) {
        ctx->waitForChange(kPassInterval);
        return;
    }
    std::unique_lock lock(stateMutex_);
    stateCv_.wait_for(lock, kPassInterval, [this] { return stopRequested_.load(); });
}

} // namespace pexo
