#include "cli/StopSignals.h"

#include <windows.h>

#include <atomic>

namespace pexo::cli {
namespace {

// The console's control handler runs on a thread of its own that Windows starts; it only
// counts the stop and sets the event the main loop waits on.
std::atomic<int> pendingStops{0};
std::atomic<HANDLE> stopEvent{nullptr};

BOOL WINAPI onConsoleControl(DWORD type) {
    switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT: // the console window is closing: stop as for Ctrl-Break
        pendingStops.fetch_add(1);
        if (HANDLE event = stopEvent.load())
            ::SetEvent(event);
        // Handled: the process is not ended at once, the run stops and closes its ports.
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

struct StopSignals::Impl {
    HANDLE event = nullptr; // manual reset: set while a stop is pending
};

StopSignals::StopSignals() : impl_(std::make_unique<Impl>()) {
    impl_->event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    pendingStops.store(0);
    stopEvent.store(impl_->event);
    ::SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

StopSignals::~StopSignals() {
    ::SetConsoleCtrlHandler(onConsoleControl, FALSE);
    stopEvent.store(nullptr);
    if (impl_->event)
        ::CloseHandle(impl_->event);
}

bool StopSignals::pending() const {
    return pendingStops.load() > 0;
}

bool StopSignals::take() {
    int n = pendingStops.load();
    while (n > 0 && !pendingStops.compare_exchange_weak(n, n - 1)) {
    }
    if (n <= 0)
        return false;
    if (n == 1 && impl_->event)
        ::ResetEvent(impl_->event);
    // A stop that arrived between the count and the reset sets the event again.
    if (pendingStops.load() > 0 && impl_->event)
        ::SetEvent(impl_->event);
    return true;
}

struct EndBell::Impl {
    HANDLE event = nullptr; // auto reset
};

EndBell::EndBell() : impl_(std::make_unique<Impl>()) {
    impl_->event = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
}

EndBell::~EndBell() {
    if (impl_->event)
        ::CloseHandle(impl_->event);
}

void EndBell::ring() {
    ::SetEvent(impl_->event);
}

Wake waitForWake(StopSignals& signals, EndBell& bell, int timeoutMs) {
    const HANDLE handles[2] = {signals.impl().event, bell.impl().event};
    const DWORD result = ::WaitForMultipleObjects(
        2, handles, FALSE, timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
    Wake wake;
    wake.stop = signals.pending();
    if (result == WAIT_OBJECT_0 + 1)
        wake.bell = true;
    else if (result == WAIT_OBJECT_0)
        // The bell may have rung too; take it now rather than after a needless round.
        wake.bell = ::WaitForSingleObject(bell.impl().event, 0) == WAIT_OBJECT_0;
    return wake;
}

} // namespace pexo::cli
