#pragma once

#include <functional>

class QDialog;
class QGroupBox;
class QLabel;
class QPushButton;

namespace pexo::gui {

// What the two settings dialogs share: their group of rows on the left, and on the right "OK"
// (the default button), "Cancel(ESC)", "Default" and the note "Default Save" / "(Ctrl+S)".
struct SettingsButtons {
    QPushButton* ok;
    QPushButton* cancel;
    QPushButton* defaults;
    QLabel* note;
};

// A caption with no close box: the dialog ends through its buttons and ESC only.
void setCaptionWithoutCloseBox(QDialog* dialog);

SettingsButtons layOutSettingsDialog(QDialog* dialog, QGroupBox* group);

// Ctrl+S, with or without Shift, anywhere in the dialog runs `defaultSave`; the key goes no
// further.
void bindDefaultSaveKey(QDialog* dialog, std::function<void()> defaultSave);

} // namespace pexo::gui
