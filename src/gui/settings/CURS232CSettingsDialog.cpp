#include "gui/settings/CURS232CSettingsDialog.h"

#include "core/app/Host.h"
#include "core/protocol/DownloadContext.h"
#include "core/settings/DataSet.h"
#include "core/settings/SettingsFile.h"
#include "gui/app/BusyCursor.h"
#include "gui/app/MessageBox.h"
#include "gui/settings/CUDefaultSaveDialog.h"
#include "gui/settings/DialogFrame.h"
#include "gui/settings/SerialDeviceList.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShowEvent>
#include <QStandardItemModel>
#include <QStyle>
#include <QTreeView>
#include <algorithm>
#include <span>

namespace pexo::gui {
namespace {

QComboBox* makeList(QWidget* parent, std::span<const std::string_view> entries, const char* name) {
    auto* list = new QComboBox(parent);
    list->setObjectName(QLatin1String(name));
    for (const std::string_view entry : entries)
        list->addItem(QString::fromLatin1(entry.data(), static_cast<qsizetype>(entry.size())));
    return list;
}

// A position outside the list shows no entry.
void showPosition(QComboBox* list, std::int32_t position) {
    list->setCurrentIndex(position >= 0 && position < list->count() ? position : -1);
}

QString fromPath(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}
std::string toPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

// What a typed device path is stored as: one line without blanks at the ends; nothing typed
// gives the port's usual device.
std::string cleanDevicePath(QString text, const std::string& fallback) {
    text.remove(QLatin1Char('\r'));
    text.remove(QLatin1Char('\n'));
    text = text.trimmed();
    return text.isEmpty() ? fallback : toPath(text);
}

} // namespace

CURS232CSettingsDialog::CURS232CSettingsDialog(QWidget* parent, DeviceTree devices)
    : QDialog(parent), m_deviceTree(std::move(devices)) {
    setObjectName(QStringLiteral("rs232cSettingsDialog"));
    setWindowTitle(QStringLiteral("RS232C Settings"));
    setCaptionWithoutCloseBox(this);

    auto* group = new QGroupBox(QStringLiteral("&COM Options:"), this);
    m_port = makeList(group, kPortList, "portList");
    m_device = new QComboBox(group);
    m_device->setObjectName(QStringLiteral("devicePath"));
    m_device->setEditable(true);
    m_device->setInsertPolicy(QComboBox::NoInsert);
    m_device->setMinimumContentsLength(24);
    m_device->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    // The list shows what each device is beside its path; the path is what is taken.
    m_device->setModel(new QStandardItemModel(0, 2, m_device));
    auto* deviceView = new QTreeView(m_device);
    deviceView->setRootIsDecorated(false);
    deviceView->setHeaderHidden(true);
    deviceView->setAllColumnsShowFocus(true);
    deviceView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_device->setView(deviceView);
    m_deviceDescription = new QLabel(group);
    m_deviceDescription->setObjectName(QStringLiteral("deviceDescription"));
    m_deviceDescription->setTextFormat(Qt::PlainText);
    m_deviceDescription->setEnabled(false); // greyed: a note, not a control
    // A long description wraps in the column instead of widening the dialog.
    m_deviceDescription->setWordWrap(true);
    m_deviceDescription->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_baud = makeList(group, kBaudRateList, "baudRateList");
    m_dataBits = makeList(group, kDataBitsList, "dataBitsList");
    m_parity = makeList(group, kParityList, "parityList");
    m_stopBits = makeList(group, kStopBitsList, "stopBitsList");
    m_dtrDsr = new QCheckBox(QStringLiteral("DTR/DSR"), group);
    m_rtsCts = new QCheckBox(QStringLiteral("RTS/CTS"), group);
    m_xonXoff = new QCheckBox(QStringLiteral("XON/XOFF"), group);
    m_dtrDsr->setObjectName(QStringLiteral("dtrDsrBox"));
    m_rtsCts->setObjectName(QStringLiteral("rtsCtsBox"));
    m_xonXoff->setObjectName(QStringLiteral("xonXoffBox"));

    auto* rows = new QGridLayout(group);
    int row = 0;
    auto addRow = [&](const char* label, QWidget* field) {
        auto* text = new QLabel(QString::fromLatin1(label), group);
        text->setBuddy(field);
        rows->addWidget(text, row, 0);
        rows->addWidget(field, row, 1);
        ++row;
    };
    addRow("&Port:", m_port);
    addRow("D&evice:", m_device);
    rows->addWidget(m_deviceDescription, row++, 1);
    addRow("&Baud Rate:", m_baud);
    addRow("&Data Bits:", m_dataBits);
    addRow("P&arity:", m_parity);
    addRow("&Stop Bits:", m_stopBits);
    auto* flow = new QVBoxLayout;
    flow->addWidget(m_dtrDsr);
    flow->addWidget(m_rtsCts);
    flow->addWidget(m_xonXoff);
    auto* flowLabel = new QLabel(QStringLiteral("F&low:"), group);
    flowLabel->setBuddy(m_dtrDsr);
    rows->addWidget(flowLabel, row, 0, Qt::AlignTop);
    rows->addLayout(flow, row, 1);

    const SettingsButtons buttons = layOutSettingsDialog(this, group);
    m_ok = buttons.ok;
    m_cancelButton = buttons.cancel;
    m_default = buttons.defaults;
    connect(m_default, &QPushButton::clicked, this, &CURS232CSettingsDialog::OnDefault);
    bindDefaultSaveKey(this, [this] { OnDefaultSave(); });
    connect(m_device, &QComboBox::editTextChanged, this, [this](const QString& path) {
        m_deviceDescription->setText(describeSerialDevice(path, m_deviceTree));
    });
    connect(m_port, &QComboBox::currentIndexChanged, this, [this](int position) {
        keepShownDevice();
        showDeviceOf(position);
    });

    QWidget* order[] = {m_ok,       m_cancelButton, m_default,  m_port,   m_device, m_baud,
                        m_dataBits, m_parity,       m_stopBits, m_dtrDsr, m_rtsCts, m_xonXoff};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    loadUserSettings();
}

void CURS232CSettingsDialog::loadUserSettings() {
    BusyCursor busy;
    m_settings = CommSettings{};
    LoadCommSettings(m_settings, SettingsSection::User);
    m_flow = flowChecksFrom(m_settings.Flow);
    m_devices = PortDevices{};
    LoadPortDevices(m_devices);
    m_editedDevices[0] = fromPath(m_devices.com1);
    m_editedDevices[1] = fromPath(m_devices.com2);
}

QString& CURS232CSettingsDialog::deviceSlot(int portPosition) {
    return m_editedDevices[portNumberFor(portPosition) == 2 ? 1 : 0];
}

void CURS232CSettingsDialog::keepShownDevice() {
    deviceSlot(m_shownDevicePort) = m_device->currentText();
}

void CURS232CSettingsDialog::showDeviceOf(int portPosition) {
    m_shownDevicePort = portPosition;
    m_device->setEditText(deviceSlot(portPosition));
}

void CURS232CSettingsDialog::fillControls() {
    // Filling the port list must not carry the shown path over to the other port.
    const QSignalBlocker block(m_port);
    showPosition(m_port, m_settings.Port);
    showPosition(m_baud, m_settings.BaudRate);
    showPosition(m_dataBits, m_settings.DataBits);
    showPosition(m_parity, m_settings.Parity);
    showPosition(m_stopBits, m_settings.StopBits);
    m_dtrDsr->setChecked(m_flow.dtrDsr);
    m_rtsCts->setChecked(m_flow.rtsCts);
    m_xonXoff->setChecked(m_flow.xonXoff);
    showDeviceOf(m_port->currentIndex());
}

void CURS232CSettingsDialog::takeControls() {
    m_settings.Port = m_port->currentIndex();
    m_settings.BaudRate = m_baud->currentIndex();
    m_settings.DataBits = m_dataBits->currentIndex();
    m_settings.Parity = m_parity->currentIndex();
    m_settings.StopBits = m_stopBits->currentIndex();
    m_flow = {m_dtrDsr->isChecked(), m_rtsCts->isChecked(), m_xonXoff->isChecked()};
    m_settings.Flow = flowFrom(m_flow);
}

void CURS232CSettingsDialog::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        const QString shown = m_device->currentText();
        fillDeviceList();
        m_device->setEditText(shown);
        fillControls();
        m_ok->setFocus();
    }
    QDialog::showEvent(event);
}

void CURS232CSettingsDialog::fillDeviceList() {
    auto* model = static_cast<QStandardItemModel*>(m_device->model());
    model->removeRows(0, model->rowCount());
    for (const SerialDeviceEntry& entry : listSerialDevices(m_deviceTree)) {
        auto* description = new QStandardItem(entry.description);
        description->setForeground(palette().brush(QPalette::Disabled, QPalette::Text));
        model->appendRow({new QStandardItem(entry.path), description});
    }
    auto* view = static_cast<QTreeView*>(m_device->view());
    view->resizeColumnToContents(0);
    view->resizeColumnToContents(1);
    // The popup is as wide as both columns (and the scroll bar, frames and margins), not only
    // as the field; on a narrow screen the paths give way in the middle, where by-id names
    // repeat themselves.
    const int extra = view->verticalScrollBar()->sizeHint().width() + 4 * view->frameWidth() +
                      2 * view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 24;
    const int available = screen()->availableGeometry().width();
    if (view->columnWidth(0) + view->columnWidth(1) + extra > available)
        view->setColumnWidth(0, std::max(available / 3, available - view->columnWidth(1) - extra));
    view->setTextElideMode(Qt::ElideMiddle);
    view->setMinimumWidth(std::min(view->columnWidth(0) + view->columnWidth(1) + extra, available));
}

void CURS232CSettingsDialog::accept() {
    takeControls();
    keepShownDevice();
    const PortDevices builtIn;
    m_devices.com1 = cleanDevicePath(m_editedDevices[0], builtIn.com1);
    m_devices.com2 = cleanDevicePath(m_editedDevices[1], builtIn.com2);
    m_editedDevices[0] = fromPath(m_devices.com1);
    m_editedDevices[1] = fromPath(m_devices.com2);
    QDialog::accept();
}

void CURS232CSettingsDialog::reject() {
    loadUserSettings();
    fillControls();
    QDialog::reject();
}

void CURS232CSettingsDialog::OnDefault() {
    {
        BusyCursor busy;
        LoadCommSettings(m_settings, SettingsSection::Default);
    }
    m_flow = flowChecksFrom(m_settings.Flow);
    keepShownDevice();
    fillControls();
}

void CURS232CSettingsDialog::OnDefaultSave() {
    CUDefaultSaveDialog confirm(this);
    if (confirm.exec() != QDialog::Accepted)
        return;
    takeControls();
    bool saved = false;
    {
        BusyCursor busy;
        saved = SaveCommSettings(m_settings, SettingsSection::Default);
    }
    if (!saved)
        showSettingsNotSaved(this);
}

bool CURS232CSettingsDialog::saveUserSettings() {
    BusyCursor busy;
    const bool settingsSaved = SaveCommSettings(m_settings, SettingsSection::User);
    const bool devicesSaved = SavePortDevices(m_devices);
    return settingsSaved && devicesSaved;
}

bool CURS232CSettingsDialog::RS232CDataSet(Host& host) {
    m_settings.Flow = flowFrom(m_flow);
    if (!pexo::RS232CDataSet(m_settings, host))
        return false;
    // The paths in force are this dialog's, also when the file could not keep them.
    DownloadContext* ctx = host.downloadContext();
    ctx->devicePath = m_devices.pathFor(ctx->portNumber);
    return true;
}

} // namespace pexo::gui
