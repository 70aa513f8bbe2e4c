#include "gui/settings/CUDefaultSaveDialog.h"

#include "gui/settings/DialogFrame.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace pexo::gui {

CUDefaultSaveDialog::CUDefaultSaveDialog(QWidget* parent)
    : QDialog(parent), m_ok(new QPushButton(QStringLiteral("OK"), this)),
      m_cancel(new QPushButton(QStringLiteral("Cancel(ESC)"), this)) {
    setObjectName(QStringLiteral("defaultSaveDialog"));
    setWindowTitle(QStringLiteral("Default Save"));
    setCaptionWithoutCloseBox(this);

    auto* text = new QLabel(QStringLiteral("Save the current data?"), this);
    m_ok->setObjectName(QStringLiteral("okButton"));
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    m_ok->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text, 0, Qt::AlignHCenter);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    m_ok->setFocus();
}

} // namespace pexo::gui
