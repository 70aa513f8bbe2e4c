#pragma once

#include "core/protocol/Completion.h"
#include "core/protocol/ProtocolEngine.h"
#include "core/protocol/TickClock.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace pexo {

class FrameWriter;
class Host;
struct DownloadContext;

// The protocol thread of one download: a thin loop around ProtocolEngine::pass that sleeps
// between passes until the reply handler signals a change, the engine's next deadline comes
// or the owner stops the run, so that many downloads at once cost next to nothing.
//
// Ending a run: the owner calls requestStop() (never blocks, safe from any thread and from
// inside the sink), then join() or waitForEnd(). Once either reports the end, the thread
// will never write to the port or call the sink again.
//
// The sink is called on this thread with no lock held. It may block (e.g. until the GUI
// thread has handled the command), but not on a thread that is itself waiting in join():
// a GUI owner that cancels should requestStop() and keep serving its event loop while it
// waits with waitForEnd(), so a completion racing the Cancel can still be delivered.
class CUDownloadProtocolThread {
public:
    CUDownloadProtocolThread(Host& host, FrameWriter& port, CompletionSink sink,
                             TickClock clock = steadyTickMs);
    CUDownloadProtocolThread(const CUDownloadProtocolThread&) = delete;
    CUDownloadProtocolThread& operator=(const CUDownloadProtocolThread&) = delete;
    // Stops and joins. Never destroy the object from inside its own sink.
    ~CUDownloadProtocolThread();

    // Starts the loop; only the first call has an effect. `beforeFirstPass` runs on the new
    // thread before the first pass (to wait out what must not meet the first request); it
    // must return promptly once the owner stops the run.
    // False when no thread could be made; the object then counts as ended.
    bool start(std::function<void()> beforeFirstPass = {});

    // The loop ends at its next pass; a pass under way (a frame being written) finishes first.
    void requestStop();
    bool stopRequested() const { return stopRequested_.load(); }

    // Waits until the thread has ended. Returns at once when it never started or when called
    // on the protocol thread itself (from the sink).
    void join();
    // As join(), but gives up after `timeout`; true when the thread has ended.
    bool waitForEnd(std::chrono::milliseconds timeout);

    // True once the loop has returned (or when it never started).
    bool ended() const;

private:
    void run();
    void waitBetweenPasses();

    DownloadContext* ctx_; // whose change signal the loop waits on; may be null
    TickClock clock_;
    bool steadyClock_;      // clock_ reads the steady clock, so its deadlines can be waited for
    ProtocolEngine engine_; // used only by the protocol thread once started
    std::function<void()> beforeFirstPass_; // set before the thread starts

    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> started_{false};
    std::atomic<bool> ended_{false};
    mutable std::mutex stateMutex_; // guards the waits on stop and end
    std::condition_variable stateCv_;
    std::mutex joinMutex_; // serialises std::thread::join
    std::atomic<std::thread::id> loopThreadId_{};
    std::thread thread_;
};

} // namespace pexo
