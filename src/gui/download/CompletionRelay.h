#pragma once

#include "core/protocol/Completion.h"

#include <QObject>
#include <functional>
#include <memory>
#include <mutex>

namespace pexo::gui {

// Carries the protocol thread's completion command to a receiver on the GUI thread. The
// thread only queues it and goes on: it never waits for the GUI thread, so a GUI thread that
// is itself waiting for the protocol thread to end cannot deadlock with it. Once detached,
// the relay drops whatever still arrives.
class CompletionRelay {
public:
    using Handler = std::function<void(CompletionCommand)>;

    // `receiver` lives on the GUI thread and outlives every delivery it does not detach.
    CompletionRelay(QObject* receiver, Handler handler);

    // The sink handed to the protocol thread; it holds the relay alive.
    static CompletionSink sinkFor(const std::shared_ptr<CompletionRelay>& relay);

    // After this returns, no command reaches the handler, whether sent or already queued.
    void detach();

private:
    static void post(const std::shared_ptr<CompletionRelay>& relay, CompletionCommand command);
    void deliver(CompletionCommand command);

    std::mutex m_mutex;
    QObject* m_receiver;     // guarded by m_mutex; null once detached
    Handler m_handler;       // used on the GUI thread only
    bool m_detached = false; // GUI thread only
};

} // namespace pexo::gui
