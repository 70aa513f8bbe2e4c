#include "gui/settings/CUParameterSettingsDialog.h"

#include "core/settings/CommLists.h"
#include "core/settings/DataSet.h"
#include "core/settings/SettingsFile.h"
#include "gui/app/BusyCursor.h"
#include "gui/app/MessageBox.h"
#include "gui/settings/CUDefaultSaveDialog.h"
#include "gui/settings/DialogFrame.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

namespace pexo::gui {
namespace {

std::size_t slot(ParameterField field) {
    return static_cast<std::size_t>(field);
}

QString text(const std::string& s) {
    return QString::fromStdString(s);
}
std::string text(const QLineEdit* edit) {
    return edit->text().toStdString();
}

struct Row {
    const char* label;
    const char* sublabel; // the second column of the Code 62 and Code 63 rows
    ParameterField field;
    const char* note;
};

constexpr Row kDecimalRows[] = {
    {"Code 30:TX Interval Time", nullptr, ParameterField::Code30, "ms (1 to 1000)"},
    {"Code 31:TX Wait Surplua Time", nullptr, ParameterField::Code31, "ms (1 to 1800000)"},
    {"Code 51:RX Write-Completion", nullptr, ParameterField::Code51, "ms (1 to 1800000)"},
    {"Code 52:RX Sector-Size designation", nullptr, ParameterField::Code52, "ms (1 to 1800000)"},
    {"Code 53:RX Erase-Completion", nullptr, ParameterField::Code53, "ms (1 to 1800000)"},
    {"Code 54:RX Check-Sum Display", nullptr, ParameterField::Code54, "ms (1 to 1800000)"},
};

constexpr Row kHexRows[] = {
    {"Code 62:Erase Address", "First:", ParameterField::Code62_1, "Hex (0x000000 to 0xFFFFFF)"},
    {nullptr, "Sector:", ParameterField::Code62_2, "Hex (0x0001 to 0xFFFF)"},
    {"Code 63:Write Address", "First:", ParameterField::Code63_1, "Hex (0x000000 to 0xFFFFFF)"},
    {nullptr, "Last:", ParameterField::Code63_2, "Hex (0x000000 to 0xFFFFFF)"},
};

const char* fieldName(ParameterField field) {
    switch (field) {
    case ParameterField::Code30:
        return "code30";
    case ParameterField::Code31:
        return "code31";
    case ParameterField::Code51:
        return "code51";
    case ParameterField::Code52:
        return "code52";
    case ParameterField::Code53:
        return "code53";
    case ParameterField::Code54:
        return "code54";
    case ParameterField::Code62_1:
        return "code62First";
    case ParameterField::Code62_2:
        return "code62Sector";
    case ParameterField::Code63_1:
        return "code63First";
    case ParameterField::Code63_2:
        return "code63Last";
    case ParameterField::Code72:
        return "code72";
    }
    return "";
}

} // namespace

CUParameterSettingsDialog::CUParameterSettingsDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("parameterSettingsDialog"));
    setWindowTitle(QStringLiteral("Paramater Settings"));
    setCaptionWithoutCloseBox(this);

    auto* group = new QGroupBox(QStringLiteral("&Paramater Options:"), this);
    auto* rows = new QGridLayout(group);
    int row = 0;
    auto addRow = [&](const Row& r) {
        auto* edit = new QLineEdit(group);
        edit->setObjectName(QLatin1String(fieldName(r.field)));
        m_edits[slot(r.field)] = edit;
        if (r.label)
            rows->addWidget(new QLabel(QString::fromLatin1(r.label), group), row, 0);
        if (r.sublabel)
            rows->addWidget(new QLabel(QString::fromLatin1(r.sublabel), group), row, 1,
                            Qt::AlignRight);
        rows->addWidget(edit, row, 2);
        rows->addWidget(new QLabel(QString::fromLatin1(r.note), group), row, 3);
        ++row;
    };
    for (const Row& r : kDecimalRows)
        addRow(r);

    m_code61 = new QComboBox(group);
    m_code61->setObjectName(QStringLiteral("sectorSizeBox"));
    m_code61->setEditable(true);
    m_code61->setInsertPolicy(QComboBox::NoInsert);
    for (const std::string_view entry : kSectorSizeList)
        m_code61->addItem(QString::fromLatin1(entry.data(), static_cast<qsizetype>(entry.size())));
    rows->addWidget(new QLabel(QStringLiteral("Code 61:Sector Size"), group), row, 0);
    rows->addWidget(m_code61, row, 2);
    rows->addWidget(new QLabel(QStringLiteral("byte"), group), row, 3);
    ++row;

    for (const Row& r : kHexRows)
        addRow(r);

    m_check72 = new QCheckBox(QStringLiteral("Code 72:Full Check Sum"), group);
    m_check72->setObjectName(QStringLiteral("code72Check"));
    m_code72 = new QLineEdit(group);
    m_code72->setObjectName(QLatin1String(fieldName(ParameterField::Code72)));
    m_edits[slot(ParameterField::Code72)] = m_code72;
    rows->addWidget(m_check72, row, 0, 1, 2);
    rows->addWidget(m_code72, row, 2);
    rows->addWidget(new QLabel(QStringLiteral("Hex (0x00000000 to 0xFFFFFFFF)"), group), row, 3);
    rows->setColumnMinimumWidth(2, 110);

    const SettingsButtons buttons = layOutSettingsDialog(this, group);
    m_ok = buttons.ok;
    m_cancelButton = buttons.cancel;
    m_default = buttons.defaults;
    connect(m_default, &QPushButton::clicked, this, &CUParameterSettingsDialog::OnDefault);
    connect(m_check72, &QCheckBox::toggled, m_code72, &QLineEdit::setEnabled);
    bindDefaultSaveKey(this, [this] { OnDefaultSave(); });

    QWidget* order[] = {m_ok,
                        m_cancelButton,
                        m_default,
                        m_edits[slot(ParameterField::Code30)],
                        m_edits[slot(ParameterField::Code31)],
                        m_edits[slot(ParameterField::Code51)],
                        m_edits[slot(ParameterField::Code52)],
                        m_edits[slot(ParameterField::Code53)],
                        m_edits[slot(ParameterField::Code54)],
                        m_code61,
                        m_edits[slot(ParameterField::Code62_1)],
                        m_edits[slot(ParameterField::Code62_2)],
                        m_edits[slot(ParameterField::Code63_1)],
                        m_edits[slot(ParameterField::Code63_2)],
                        m_check72,
                        m_code72};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    load(SettingsSection::User);
}

QLineEdit* CUParameterSettingsDialog::edit(ParameterField field) const {
    return m_edits[slot(field)];
}

void CUParameterSettingsDialog::load(SettingsSection section) {
    BusyCursor busy;
    m_params = ProtocolParameters{};
    LoadProtocolParameters(m_params, section);
    rebuildTexts();
}

void CUParameterSettingsDialog::rebuildTexts() {
    m_texts = parameterInputFrom(m_params);
}

void CUParameterSettingsDialog::fillControls() {
    ParameterInput shown = parameterInputFrom(m_params);
    shown.Code62_1 = m_texts.Code62_1;
    shown.Code62_2 = m_texts.Code62_2;
    shown.Code63_1 = m_texts.Code63_1;
    shown.Code63_2 = m_texts.Code63_2;
    shown.Code72 = m_texts.Code72;
    edit(ParameterField::Code30)->setText(text(shown.Code30));
    edit(ParameterField::Code31)->setText(text(shown.Code31));
    edit(ParameterField::Code51)->setText(text(shown.Code51));
    edit(ParameterField::Code52)->setText(text(shown.Code52));
    edit(ParameterField::Code53)->setText(text(shown.Code53));
    edit(ParameterField::Code54)->setText(text(shown.Code54));
    m_code61->setCurrentIndex(shown.Code61);
    if (shown.Code61 < 0)
        m_code61->setEditText(QString());
    edit(ParameterField::Code62_1)->setText(text(shown.Code62_1));
    edit(ParameterField::Code62_2)->setText(text(shown.Code62_2));
    edit(ParameterField::Code63_1)->setText(text(shown.Code63_1));
    edit(ParameterField::Code63_2)->setText(text(shown.Code63_2));
    m_check72->setChecked(shown.CheckCode72 == 1);
    m_code72->setText(text(shown.Code72));
    m_code72->setEnabled(m_check72->isChecked());
}

ParameterInput CUParameterSettingsDialog::readControls() const {
    ParameterInput input;
    input.Code30 = text(edit(ParameterField::Code30));
    input.Code31 = text(edit(ParameterField::Code31));
    input.Code51 = text(edit(ParameterField::Code51));
    input.Code52 = text(edit(ParameterField::Code52));
    input.Code53 = text(edit(ParameterField::Code53));
    input.Code54 = text(edit(ParameterField::Code54));
    // Only the chosen entry counts; text typed into the box's edit field is not read.
    input.Code61 = m_code61->currentIndex();
    input.Code62_1 = text(edit(ParameterField::Code62_1));
    input.Code62_2 = text(edit(ParameterField::Code62_2));
    input.Code63_1 = text(edit(ParameterField::Code63_1));
    input.Code63_2 = text(edit(ParameterField::Code63_2));
    input.CheckCode72 = m_check72->isChecked() ? 1 : 0;
    input.Code72 = text(m_code72);
    return input;
}

void CUParameterSettingsDialog::keepTypedTexts(const ParameterInput& input) {
    m_texts.Code62_1 = input.Code62_1;
    m_texts.Code62_2 = input.Code62_2;
    m_texts.Code63_1 = input.Code63_1;
    m_texts.Code63_2 = input.Code63_2;
    m_texts.Code72 = input.Code72;
}

void CUParameterSettingsDialog::refuse(const ParameterError& error) {
    showMessageBox(this, QString::fromStdString(error.message), MessageIcon::Exclamation);
    if (!error.focusBox)
        return;
    QLineEdit* box = edit(error.field);
    // A disabled Code 72 box cannot take the focus; its check box enables it.
    if (box->isEnabled())
        box->setFocus(Qt::OtherFocusReason);
    else
        m_check72->setFocus(Qt::OtherFocusReason);
    box->selectAll();
}

void CUParameterSettingsDialog::accept() {
    const ParameterInput input = readControls();
    const std::optional<ParameterError> error = acceptParameters(input, m_params);
    m_code72->setEnabled(m_check72->isChecked());
    if (!error || !decimalRange(error->field))
        rebuildTexts(); // some or all of the hexadecimal values were taken
    if (error) {
        refuse(*error);
        return;
    }
    QDialog::accept();
}

void CUParameterSettingsDialog::reject() {
    load(SettingsSection::User);
    fillControls();
    QDialog::reject();
}

void CUParameterSettingsDialog::OnDefault() {
    load(SettingsSection::Default);
    fillControls();
}

void CUParameterSettingsDialog::OnDefaultSave() {
    CUDefaultSaveDialog confirm(this);
    if (confirm.exec() != QDialog::Accepted)
        return;
    const ParameterInput input = readControls();
    const std::optional<ParameterError> error = takeParametersForDefaultSave(input, m_params);
    m_code72->setEnabled(m_check72->isChecked());
    if (error) {
        refuse(*error);
        return;
    }
    keepTypedTexts(input);
    bool saved = false;
    {
        BusyCursor busy;
        saved = SaveProtocolParameters(m_params, SettingsSection::Default);
    }
    if (!saved)
        showSettingsNotSaved(this);
}

void CUParameterSettingsDialog::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        fillControls();
        m_ok->setFocus();
    }
    QDialog::showEvent(event);
}

bool CUParameterSettingsDialog::saveUserSettings() {
    BusyCursor busy;
    return SaveProtocolParameters(m_params, SettingsSection::User);
}

bool CUParameterSettingsDialog::ParameterDataSet(Host& host) const {
    return pexo::ParameterDataSet(m_params, host);
}

} // namespace pexo::gui
