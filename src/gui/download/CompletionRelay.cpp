#include "gui/download/CompletionRelay.h"

#include "gui/app/QueuedCall.h"

#include <QMetaObject>

namespace pexo::gui {

CompletionRelay::CompletionRelay(QObject* receiver, Handler handler)
    : m_receiver(receiver), m_handler(std::move(handler)) {}

CompletionSink CompletionRelay::sinkFor(const std::shared_ptr<CompletionRelay>& relay) {
    return [relay](CompletionCommand command) { post(relay, command); };
}

void CompletionRelay::post(const std::shared_ptr<CompletionRelay>& relay,
                           CompletionCommand command) {
    // Held while queueing, so the receiver cannot be destroyed half-way; posting never
    // waits for the GUI thread.
    std::lock_guard lock(relay->m_mutex);
    if (!relay->m_receiver)
        return;
    // The queued call keeps the relay alive: the sink may be gone before it runs.
    queueCall(relay->m_receiver, [relay, command] { relay->deliver(command); });
}

void CompletionRelay::deliver(CompletionCommand command) {
    if (m_detached)
        return;
    m_handler(command);
}

void CompletionRelay::detach() {
    std::lock_guard lock(m_mutex);
    m_receiver = nullptr;
    m_detached = true;
}

} // namespace pexo::gui
