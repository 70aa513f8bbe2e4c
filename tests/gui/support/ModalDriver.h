#pragma once

// Answers the modal windows a test brings up, from inside the event loops they run. Each
// expected window gets the next queued handler; a modal window nobody expected is recorded
// and closed, so that a wrong turn fails the test instead of hanging it.

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <deque>
#include <functional>

namespace pexo::test {

struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon;
};

class ModalDriver : public QObject {
public:
    using Handler = std::function<void(QWidget* modal)>;

    ModalDriver() {
        m_poll.setInterval(5);
        QObject::connect(&m_poll, &QTimer::timeout, this, [this] { poll(); });
        m_poll.start();
    }

    // The next modal window goes to `handler`.
    void expect(Handler handler) { m_handlers.push_back(std::move(handler)); }

    // The next modal window must be a message box: it is recorded and acknowledged.
    void expectMessageBox() {
        expect([this](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box) {
                m_unexpected << QStringLiteral("not a message box: %1")
                                    .arg(QString::fromLatin1(modal->metaObject()->className()));
                closeModal(modal);
                return;
            }
            m_boxes.append({box->windowTitle(), box->text(), box->icon()});
            box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->click() : box->reject();
        });
    }

    // Waits until every queued handler has run (false at the deadline).
    bool waitUntilAnswered(int ms = 5000) {
        QDeadlineTimer deadline(ms);
        while (!m_handlers.empty() || m_dispatching) {
            if (deadline.hasExpired())
                return false;
            QTest::qWait(5);
        }
        return true;
    }

    const QList<SeenBox>& boxes() const { return m_boxes; }
    QStringList boxTexts() const {
        QStringList texts;
        for (const SeenBox& box : m_boxes)
            texts << box.text;
        return texts;
    }
    const QStringList& unexpected() const { return m_unexpected; }
    void clear() {
        m_boxes.clear();
        m_unexpected.clear();
    }

    static void closeModal(QWidget* modal) {
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
    }

private:
    void poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || m_dispatching)
            return;
        if (m_handlers.empty()) {
            m_unexpected << QStringLiteral("%1 \"%2\"")
                                .arg(QString::fromLatin1(modal->metaObject()->className()),
                                     modal->windowTitle());
            closeModal(modal);
            return;
        }
        Handler handler = std::move(m_handlers.front());
        m_handlers.pop_front();
        m_dispatching = true;
        // Run outside this timer's slot: the handler may open further modal windows, whose
        // loops need this timer again.
        QPointer<QWidget> target(modal);
        QTimer::singleShot(0, this, [this, handler = std::move(handler), target] {
            m_dispatching = false;
            if (target)
                handler(target);
        });
    }

    QTimer m_poll;
    std::deque<Handler> m_handlers;
    bool m_dispatching = false;
    QList<SeenBox> m_boxes;
    QStringList m_unexpected;
};

} // namespace pexo::test
