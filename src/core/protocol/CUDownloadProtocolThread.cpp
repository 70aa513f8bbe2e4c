#include "core/protocol/CUDownloadProtocolThread.h"

#include "core/app/Host.h"
#include "core/protocol/DownloadContext.h"

#include <algorithm>
#include <system_error>

namespace pexo {

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// Another clock (a test's) moves without telling anyone and cannot be turned into a moment
// to wait for, so with it the loop looks again this often.
constexpr milliseconds kForeignClockLook{1};

bool readsSteadyClock(const TickClock& clock) {
    const auto* function = clock.target<std::uint32_t (*)()>();
    return function != nullptr && *function == &steadyTickMs;
}

} // namespace

CUDownloadProtocolThread::CUDownloadProtocolThread(Host& host, FrameWriter& port,
                                                   CompletionSink sink, TickClock clock)
    : ctx_(host.downloadContext()), clock_(clock), steadyClock_(readsSteadyClock(clock_)),
      engine_(host, port, std::move(sink), std::move(clock)) {}

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
    // The loop may be waiting on the context. Only while it runs: the context must outlive
    // the loop, not this object.
    if (ctx_ && started_.load() && !ended_.load())
        ctx_->notifyChange();
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
    // The tick is read before the moment the wait is measured from, so it never ends early.
    const std::uint32_t now = clock_();
    const std::optional<std::uint32_t> due = engine_.nextDeadline(now);
    std::optional<steady_clock::time_point> until;
    if (!steadyClock_) {
        until = steady_clock::now() + kForeignClockLook;
    } else if (due) {
        // The tick changes on whole milliseconds of the steady clock. Unless the context has
        // changed, a pass comes at most once a tick, as it always has: with no pause between
        // blocks they leave a tick apart, not back to back.
        until = std::chrono::floor<milliseconds>(steady_clock::now()) +
                milliseconds(std::max<std::uint32_t>(*due, 1));
    }
    if (ctx_) {
        ctx_->waitForChangeUntil(until);
        return;
    }
    std::unique_lock lock(stateMutex_);
    const auto stopped = [this] { return stopRequested_.load(); };
    if (until)
        stateCv_.wait_until(lock, *until, stopped);
    else
        stateCv_.wait(lock, stopped);
}

} // namespace pexo
