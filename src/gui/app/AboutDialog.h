#pragma once

#include <QDialog>

class QPushButton;

namespace pexo::gui {

// "About Pexo": the icon, the program's name and version, and OK. Fixed size, no logic.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);

    QPushButton* okButton() const { return m_ok; }

private:
    QPushButton* m_ok;
};

} // namespace pexo::gui
