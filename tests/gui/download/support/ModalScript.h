#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <functional>
#include <vector>

namespace pexo::gui::test {

// Drives the modal windows that a blocking call (exec(), OnDownload()) opens, from inside
// the event loops they run. Each step waits for the active modal window to be of a kind and
// for a condition on it, then acts on it. A modal window that no step expects is refused
// and reported; at the deadline every modal window is refused so the blocking call returns.
class ModalScript : public QObject {
    Q_OBJECT
public:
    explicit ModalScript(std::chrono::milliseconds deadline = std::chrono::seconds(30));
    ~ModalScript() override;

    template <class W>
    ModalScript& then(QString name, std::function<bool(W*)> ready, std::function<void(W*)> act) {
        m_steps.push_back({std::move(name),
                           [ready](QWidget* w) {
                               auto* typed = qobject_cast<W*>(w);
                               return typed && (!ready || ready(typed));
                           },
                           [act](QWidget* w) { act(qobject_cast<W*>(w)); }});
        return *this;
    }
    template <class W> ModalScript& then(QString name, std::function<void(W*)> act) {
        return then<W>(std::move(name), nullptr, std::move(act));
    }

    // A kind of modal window that may be open at any time without a step for it (the dialog
    // under test, run by the test itself).
    template <class W> ModalScript& allow() {
        m_allowed.push_back([](QWidget* w) { return qobject_cast<W*>(w) != nullptr; });
        return *this;
    }

    void start();
    void stop();

    bool finished() const { return m_next == m_steps.size(); }
    // Steps not reached by the deadline, modal windows nobody expected.
    const QStringList& problems() const { return m_problems; }
    // Class names of the unexpected modal windows that were refused.
    const QStringList& refused() const { return m_refused; }

private:
    struct Step {
        QString name;
        std::function<bool(QWidget*)> ready;
        std::function<void(QWidget*)> act;
    };

    void tick();
    void refuse(QWidget* modal, const QString& why);

    std::chrono::milliseconds m_deadline;
    std::chrono::steady_clock::time_point m_end;
    QTimer m_timer;
    std::vector<Step> m_steps;
    std::size_t m_next = 0;
    std::vector<std::function<bool(QWidget*)>> m_allowed;
    std::vector<QPointer<QWidget>> m_actedOn;
    QStringList m_problems;
    QStringList m_refused;
    bool m_inTick = false;
    bool m_expired = false;
};

} // namespace pexo::gui::test
