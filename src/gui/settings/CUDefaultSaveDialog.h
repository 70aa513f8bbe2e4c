#pragma once

#include <QDialog>

class QPushButton;

namespace pexo::gui {

// Asks before a settings dialog overwrites its default section: "Save the current data?".
// Ends with Accepted (OK) or Rejected ("Cancel(ESC)", ESC).
class CUDefaultSaveDialog : public QDialog {
    Q_OBJECT
public:
    explicit CUDefaultSaveDialog(QWidget* parent = nullptr);

    QPushButton* okButton() const { return m_ok; }
    QPushButton* cancelButton() const { return m_cancel; }

private:
    QPushButton* m_ok;
    QPushButton* m_cancel;
};

} // namespace pexo::gui
