#pragma once

#include "core/settings/ParameterChecks.h"
#include "core/settings/ProtocolParameters.h"
#include "core/settings/SettingsSection.h"

#include <QDialog>
#include <array>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace pexo {
class Host;
}

namespace pexo::gui {

// The parameter settings dialog. The object lives with the main window and holds the protocol
// parameters in force, with the five hexadecimal values also as the texts its boxes show; its
// window exists only while it runs. Loads the user section when built.
class CUParameterSettingsDialog : public QDialog {
    Q_OBJECT
public:
    explicit CUParameterSettingsDialog(QWidget* parent = nullptr);

    const ProtocolParameters& parameters() const { return m_params; }
    // The hexadecimal texts kept beside the record (the other members are unused).
    const ParameterInput& shownTexts() const { return m_texts; }

    // After OK: the parameters to "Param UserSettings". False when the file could not be written.
    bool saveUserSettings();

    // Copies the parameters into the host's download context; false without a context.
    bool ParameterDataSet(Host& host) const;

    // The controls, for the tests and the screenshot tool (edit(Code72) is code72Edit()).
    QLineEdit* edit(ParameterField field) const;
    QComboBox* sectorSizeBox() const { return m_code61; }
    QCheckBox* code72CheckBox() const { return m_check72; }
    QLineEdit* code72Edit() const { return m_code72; }
    QPushButton* okButton() const { return m_ok; }
    QPushButton* cancelButton() const { return m_cancelButton; }
    QPushButton* defaultButton() const { return m_default; }

public slots:
    void accept() override; // OK: take, check, parse; stays open on a refusal
    void reject() override; // Cancel(ESC): the user section again, all edits lost
    void OnDefault();       // the default section into the controls; nothing written
    void OnDefaultSave();   // Ctrl+S: confirm, take the controls, write the default section

protected:
    void showEvent(QShowEvent* event) override;

private:
    void load(SettingsSection section);
    void rebuildTexts();
    void fillControls();
    ParameterInput readControls() const;
    void keepTypedTexts(const ParameterInput& input);
    void refuse(const ParameterError& error);

    ProtocolParameters m_params;
    ParameterInput m_texts;

    std::array<QLineEdit*, static_cast<std::size_t>(ParameterField::Code72) + 1> m_edits{};
    QComboBox* m_code61;
    QCheckBox* m_check72;
    QLineEdit* m_code72;
    QPushButton* m_ok;
    QPushButton* m_cancelButton;
    QPushButton* m_default;
};

} // namespace pexo::gui
