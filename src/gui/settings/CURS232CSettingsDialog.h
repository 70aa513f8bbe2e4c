#pragma once

#include "core/serial/PortDescription.h"
#include "core/settings/CommLists.h"
#include "core/settings/CommSettings.h"
#include "core/settings/PortDevices.h"

#include <QDialog>
#include <QString>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace pexo {
class Host;
}

namespace pexo::gui {

// The RS232C settings dialog. The object lives with the main window and holds the serial
// settings in force (and the device path behind each port name); its window exists only
// while it runs. Loads the user section when built.
class CURS232CSettingsDialog : public QDialog {
    Q_OBJECT
public:
    // `devices` is where the offered serial ports are looked for (/sys and /dev).
    explicit CURS232CSettingsDialog(QWidget* parent = nullptr, DeviceTree devices = {});

    const CommSettings& settings() const { return m_settings; }
    const FlowChecks& flowChecks() const { return m_flow; }
    const PortDevices& devices() const { return m_devices; }

    // After OK: the settings to "RS232C UserSettings", the device paths to "RS232C Devices".
    // False when the file could not be written.
    bool saveUserSettings();

    // Copies the settings into the host's download context; false without a context.
    bool RS232CDataSet(Host& host);

    // The controls, for the main window's tests and the screenshot tool.
    QComboBox* portList() const { return m_port; }
    QComboBox* devicePath() const { return m_device; }
    QLabel* deviceDescription() const { return m_deviceDescription; }
    QComboBox* baudRateList() const { return m_baud; }
    QComboBox* dataBitsList() const { return m_dataBits; }
    QComboBox* parityList() const { return m_parity; }
    QComboBox* stopBitsList() const { return m_stopBits; }
    QCheckBox* dtrDsrBox() const { return m_dtrDsr; }
    QCheckBox* rtsCtsBox() const { return m_rtsCts; }
    QCheckBox* xonXoffBox() const { return m_xonXoff; }
    QPushButton* okButton() const { return m_ok; }
    QPushButton* cancelButton() const { return m_cancelButton; }
    QPushButton* defaultButton() const { return m_default; }

public slots:
    void accept() override; // OK: take the controls; cannot fail
    void reject() override; // Cancel(ESC): the user section again, all changes lost
    void OnDefault();       // the default section into the controls; nothing written
    void OnDefaultSave();   // Ctrl+S: confirm, take the controls, write the default section

protected:
    void showEvent(QShowEvent* event) override;

private:
    void loadUserSettings();
    void fillControls();
    void fillDeviceList();
    void takeControls();
    void showDeviceOf(int portPosition);
    void keepShownDevice();
    QString& deviceSlot(int portPosition);

    DeviceTree m_deviceTree;
    CommSettings m_settings;
    FlowChecks m_flow;
    PortDevices m_devices;
    // The device paths as edited while the dialog runs; taken on OK only.
    QString m_editedDevices[2];
    int m_shownDevicePort = 0;

    QComboBox* m_port;
    QComboBox* m_device;
    QLabel* m_deviceDescription;
    QComboBox* m_baud;
    QComboBox* m_dataBits;
    QComboBox* m_parity;
    QComboBox* m_stopBits;
    QCheckBox* m_dtrDsr;
    QCheckBox* m_rtsCts;
    QCheckBox* m_xonXoff;
    QPushButton* m_ok;
    QPushButton* m_cancelButton;
    QPushButton* m_default;
};

} // namespace pexo::gui
