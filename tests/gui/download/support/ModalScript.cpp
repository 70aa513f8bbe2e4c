#include "ModalScript.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>

namespace pexo::gui::test {

ModalScript::ModalScript(std::chrono::milliseconds deadline) : m_deadline(deadline) {
    m_timer.setInterval(5);
    connect(&m_timer, &QTimer::timeout, this, &ModalScript::tick);
}

ModalScript::~ModalScript() {
    stop();
}

void ModalScript::start() {
    m_end = std::chrono::steady_clock::now() + m_deadline;
    m_timer.start();
}

void ModalScript::stop() {
    m_timer.stop();
}

void ModalScript::refuse(QWidget* modal, const QString& why) {
    m_problems << why;
    m_refused << QString::fromLatin1(modal->metaObject()->className());
    if (auto* dialog = qobject_cast<QDialog*>(modal))
        dialog->reject();
    else
        modal->close();
}

void ModalScript::tick() {
    // An action that runs an event loop of its own must not see the script step again.
    if (m_inTick)
        return;
    m_inTick = true;
    QWidget* modal = QApplication::activeModalWidget();
    const bool late = std::chrono::steady_clock::now() > m_end;

    if (late && !m_expired) {
        m_expired = true;
        if (!finished())
            m_problems << QStringLiteral("step '%1' not reached before the deadline")
                              .arg(m_steps[m_next].name);
    }
    QString name = modal ? QString::fromLatin1(modal->metaObject()->className()) : QString();
    if (auto* box = qobject_cast<QMessageBox*>(modal))
        name += QStringLiteral(" \"%1\"").arg(box->text());
    if (m_expired) {
        if (modal)
            refuse(modal, QStringLiteral("%1 still open at the deadline").arg(name));
    } else if (!finished()) {
        if (modal && m_steps[m_next].ready(modal)) {
            m_actedOn.emplace_back(modal);
            const Step& step = m_steps[m_next++];
            step.act(modal);
        }
    } else if (modal) {
        // Steps that left their window open for a later step are not unexpected.
        bool known = false;
        for (const auto& acted : m_actedOn)
            known = known || acted == modal;
        for (const auto& allowed : m_allowed)
            known = known || allowed(modal);
        if (!known)
            refuse(modal, QStringLiteral("unexpected %1").arg(name));
    }
    m_inTick = false;
}

} // namespace pexo::gui::test
