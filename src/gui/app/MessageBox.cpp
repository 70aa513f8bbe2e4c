#include "gui/app/MessageBox.h"

#include "core/settings/SettingsFile.h"
#include "gui/app/AppTexts.h"

#include <QApplication>
#include <QFile>
#include <QWidget>

namespace pexo::gui {

QMessageBox::Icon messageBoxIcon(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Stop:
        return QMessageBox::Critical;
    case MessageIcon::Exclamation:
        return QMessageBox::Warning;
    case MessageIcon::Information:
        return QMessageBox::Information;
    }
    return QMessageBox::Critical;
}

void showMessageBox(QWidget* parent, const QString& text, MessageIcon icon) {
    // A child window of a disabled window is disabled with it, and its OK could never be
    // pressed: while the main window is disabled (an archive being unpacked) the box stands
    // alone, still application-modal.
    if (parent && !parent->isEnabled())
        parent = nullptr;
    QMessageBox box(messageBoxIcon(icon), QString::fromLatin1(texts::kAppTitle), text,
                    QMessageBox::Ok, parent);
    // Paths and device texts are shown as they are, never read as markup.
    box.setTextFormat(Qt::PlainText);
    QApplication::beep();
    box.exec();
}

void showSettingsNotSaved(QWidget* parent) {
    const auto path = settingsFilePath();
    const QString where = path ? QFile::decodeName(QByteArray::fromStdString(*path))
                               : QStringLiteral("the settings file");
    showMessageBox(parent, QString::fromLatin1(texts::kSettingsNotSaved).arg(where),
                   MessageIcon::Stop);
}

} // namespace pexo::gui
