#pragma once

#include "core/app/Host.h"

#include <QMessageBox>
#include <QString>

class QWidget;

namespace pexo::gui {

QMessageBox::Icon messageBoxIcon(MessageIcon icon);

// The program's message box: the icon's class, one OK button, the caption "Pexo", and the
// platform's beep in place of the system sound. Returns once the operator has acknowledged it.
void showMessageBox(QWidget* parent, const QString& text, MessageIcon icon);

// The settings file could not be written (a read-only file or folder, no INI folder): the
// values stay in force for this run, but the operator must know they were not kept.
void showSettingsNotSaved(QWidget* parent);

} // namespace pexo::gui
