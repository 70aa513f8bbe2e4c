#pragma once

#include <QMetaObject>
#include <QObject>

#include <mutex>
#include <utility>

namespace pexo::gui {

// Taken around every cross-thread hand-over below.
std::mutex& queuedCallHandOver();

// Runs `call` on the receiver's thread, queued. Qt passes the call on under its own locks,
// which the race checker cannot see (Debian's Qt is not instrumented); taking a mutex of ours
// on both sides shows it that what the poster put into the call happened before it runs.
template <typename Call>
void queueCall(QObject* receiver, Call&& call) {
    std::lock_guard lock(queuedCallHandOver());
    QMetaObject::invokeMethod(
        receiver,
        [call = std::forward<Call>(call)]() mutable {
            { std::lock_guard handedOver(queuedCallHandOver()); }
            call();
        },
        Qt::QueuedConnection);
}

} // namespace pexo::gui
