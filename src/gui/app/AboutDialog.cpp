#include "gui/app/AboutDialog.h"

#include "gui/app/AppTexts.h"
#include "gui/app/Resources.h"

#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace pexo::gui {

AboutDialog::AboutDialog(QWidget* parent)
    : QDialog(parent), m_ok(new QPushButton(QStringLiteral("OK"), this)) {
    registerGuiResources();
    setObjectName(QStringLiteral("aboutDialog"));
    setWindowTitle(QString::fromLatin1(texts::kAboutTitle));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);

    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(QStringLiteral(":/pexo/icons/pexo.png")).pixmap(32, 32));
    auto* lines = new QVBoxLayout;
    for (const char* line : {texts::kAboutName, texts::kAboutVersion, texts::kAboutCopyright}) {
        auto* label = new QLabel(QString::fromLatin1(line), this);
        label->setTextFormat(Qt::PlainText);
        lines->addWidget(label);
    }
    m_ok->setObjectName(QStringLiteral("okButton"));
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QGridLayout(this);
    layout->setHorizontalSpacing(16);
    layout->addWidget(icon, 0, 0, Qt::AlignTop);
    layout->addLayout(lines, 0, 1);
    layout->addWidget(m_ok, 0, 2, Qt::AlignTop);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    m_ok->setFocus();
}

} // namespace pexo::gui
