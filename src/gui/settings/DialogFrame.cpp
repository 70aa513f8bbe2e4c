#include "gui/settings/DialogFrame.h"

#include <QDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

namespace pexo::gui {

void setCaptionWithoutCloseBox(QDialog* dialog) {
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
}

SettingsButtons layOutSettingsDialog(QDialog* dialog, QGroupBox* group) {
    SettingsButtons b{};
    b.ok = new QPushButton(QStringLiteral("OK"), dialog);
    b.cancel = new QPushButton(QStringLiteral("Cancel(ESC)"), dialog);
    b.defaults = new QPushButton(QStringLiteral("Default"), dialog);
    b.note = new QLabel(QStringLiteral("Default Save\n(Ctrl+S)"), dialog);
    b.ok->setObjectName(QStringLiteral("okButton"));
    b.cancel->setObjectName(QStringLiteral("cancelButton"));
    b.defaults->setObjectName(QStringLiteral("defaultButton"));
    b.note->setObjectName(QStringLiteral("defaultSaveNote"));
    b.ok->setDefault(true);
    b.note->setAlignment(Qt::AlignHCenter);

    auto* buttons = new QVBoxLayout;
    buttons->addSpacing(8);
    buttons->addWidget(b.ok);
    buttons->addWidget(b.cancel);
    buttons->addWidget(b.defaults);
    buttons->addSpacing(12);
    buttons->addWidget(b.note);
    buttons->addStretch(1);

    auto* outer = new QHBoxLayout(dialog);
    outer->addWidget(group, 1);
    outer->addLayout(buttons);
    outer->setSizeConstraint(QLayout::SetFixedSize);

    QObject::connect(b.ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(b.cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    return b;
}

void bindDefaultSaveKey(QDialog* dialog, std::function<void()> defaultSave) {
    for (const QKeyCombination key :
         {QKeyCombination(Qt::CTRL, Qt::Key_S), QKeyCombination(Qt::CTRL | Qt::SHIFT, Qt::Key_S)}) {
        auto* shortcut = new QShortcut(QKeySequence(key), dialog);
        shortcut->setContext(Qt::WindowShortcut);
        QObject::connect(shortcut, &QShortcut::activated, dialog, defaultSave);
    }
}

} // namespace pexo::gui
