#include "core/protocol/DownloadContext.h"
#include "core/settings/IniDocument.h"
#include "core/settings/ProfileFile.h"
#include "devsim/FakeDeviceTree.h"
#include "gui/app/CMainFrame.h"
#include "gui/settings/CUDefaultSaveDialog.h"
#include "gui/settings/CURS232CSettingsDialog.h"
#include "support/GuiTestEnvironment.h"
#include "support/ModalDriver.h"
#include "support/ProgramFolderTest.h"

#include <QAbstractItemModel>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <memory>

using namespace pexo;
using namespace pexo::gui;
using pexo::test::ContextHost;
using pexo::test::ModalDriver;
using pexo::test::ProgramFolder;
using pexo::test::settingValue;

namespace {

const QByteArray kUserAndDefaults = "; kept by hand\n"
                                    "[RS232C UserSettings]\n"
                                    "Port=0\nBaud Rate=11\nData Bits=3\nParity=1\nStop Bits=0\n"
                                    "Flow=1\nOwner=bench 3\n"
                                    "[RS232C Default]\n"
                                    "Port=1\nBaud Rate=3\nData Bits=2\nParity=0\nStop Bits=2\n"
                                    "Flow=0\n"
                                    "[Param UserSettings]\nCode30=25\n";

QStringList entries(const QComboBox* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->itemText(i);
    return texts;
}

} // namespace

class Rs232cDialogTest : public pexo::test::ProgramFolderTest {
    Q_OBJECT

private slots:
    void showsEveryRowListAndButtonInTabOrder() {
        CURS232CSettingsDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("RS232C Settings"));
        QVERIFY(!(dialog.windowFlags() & Qt::WindowCloseButtonHint));
        QCOMPARE(dialog.findChild<QGroupBox*>()->title(), QStringLiteral("&COM Options:"));
        QCOMPARE(entries(dialog.portList()), (QStringList{"COM1", "COM2"}));
        QCOMPARE(entries(dialog.baudRateList()),
                 (QStringList{"110", "300", "600", "1200", "2400", "4800", "9600", "14400", "19200",
                              "38400", "56000", "57600", "115200", "128000", "256000"}));
        QCOMPARE(entries(dialog.dataBitsList()), (QStringList{"5", "6", "7", "8"}));
        QCOMPARE(entries(dialog.parityList()), (QStringList{"None", "Even", "Odd"}));
        QCOMPARE(entries(dialog.stopBitsList()), (QStringList{"1", "1.5", "2"}));
        QCOMPARE(dialog.dtrDsrBox()->text(), QStringLiteral("DTR/DSR"));
        QCOMPARE(dialog.rtsCtsBox()->text(), QStringLiteral("RTS/CTS"));
        QCOMPARE(dialog.xonXoffBox()->text(), QStringLiteral("XON/XOFF"));
        QStringList labels;
        for (const QLabel* label : dialog.findChildren<QLabel*>())
            labels << label->text();
        for (const char* expected : {"&Port:", "&Baud Rate:", "&Data Bits:", "P&arity:",
                                     "&Stop Bits:", "F&low:", "Default Save\n(Ctrl+S)"})
            QVERIFY2(labels.contains(QString::fromLatin1(expected)), expected);
        QCOMPARE(dialog.okButton()->text(), QStringLiteral("OK"));
        QVERIFY(dialog.okButton()->isDefault());
        QCOMPARE(dialog.cancelButton()->text(), QStringLiteral("Cancel(ESC)"));
        QCOMPARE(dialog.defaultButton()->text(), QStringLiteral("Default"));

        // Built-in defaults: COM1, 57600, 8, Even, 1, no flow control.
        QCOMPARE(dialog.portList()->currentText(), QStringLiteral("COM1"));
        QCOMPARE(dialog.baudRateList()->currentText(), QStringLiteral("57600"));
        QCOMPARE(dialog.dataBitsList()->currentText(), QStringLiteral("8"));
        QCOMPARE(dialog.parityList()->currentText(), QStringLiteral("Even"));
        QCOMPARE(dialog.stopBitsList()->currentText(), QStringLiteral("1"));

        QTRY_COMPARE(QApplication::focusWidget(), dialog.okButton());
        const QList<QWidget*> order{
            dialog.cancelButton(), dialog.defaultButton(), dialog.portList(),
            dialog.devicePath(),   dialog.baudRateList(),  dialog.dataBitsList(),
            dialog.parityList(),   dialog.stopBitsList(),  dialog.dtrDsrBox(),
            dialog.rtsCtsBox(),    dialog.xonXoffBox(),    dialog.okButton()};
        for (QWidget* expected : order) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* focus = QApplication::focusWidget();
            // The device box's editor holds the focus for its combo box.
            if (focus && focus->parentWidget() == expected)
                focus = expected;
            QCOMPARE(focus, expected);
        }
    }

    void okWritesOnlyTheUserSection() {
        m_folder->writeSettings(kUserAndDefaults);
        CMainFrame frame;
        ModalDriver driver;
        driver.expect([](QWidget* modal) {
            auto* dialog = qobject_cast<CURS232CSettingsDialog*>(modal);
            QVERIFY(dialog);
            QVERIFY(dialog->dtrDsrBox()->isChecked()); // Flow=1 from the user section
            dialog->portList()->setCurrentIndex(1);
            dialog->baudRateList()->setCurrentIndex(6);
            dialog->parityList()->setCurrentIndex(2);
            dialog->dtrDsrBox()->setChecked(false);
            dialog->rtsCtsBox()->setChecked(true);
            dialog->xonXoffBox()->setChecked(true);
            dialog->okButton()->click();
        });
        frame.OnRS232CSettings();
        QVERIFY(driver.waitUntilAnswered());
        QVERIFY2(driver.unexpected().isEmpty(), qPrintable(driver.unexpected().join('\n')));

        QCOMPARE(settingValue(*m_folder, "RS232C UserSettings", "Port"), "1");
        QCOMPARE(settingValue(*m_folder, "RS232C UserSettings", "Baud Rate"), "6");
        QCOMPARE(settingValue(*m_folder, "RS232C UserSettings", "Parity"), "2");
        QCOMPARE(settingValue(*m_folder, "RS232C UserSettings", "Flow"), "6");
        QCOMPARE(settingValue(*m_folder, "RS232C UserSettings", "Owner"), "bench 3");
        const QByteArray text = m_folder->readSettings();
        QVERIFY(text.startsWith("; kept by hand\n"));
        QVERIFY(text.contains("[RS232C Default]\nPort=1\nBaud Rate=3\nData Bits=2\nParity=0\n"
                              "Stop Bits=2\nFlow=0\n"));
        QVERIFY(text.contains("[Param UserSettings]\nCode30=25\n"));

        ContextHost host;
        QVERIFY(frame.rs232cDialog().RS232CDataSet(host));
        QCOMPARE(host.ctx.portNumber, 2);
        QCOMPARE(host.ctx.baudRate, 9600u);
        QCOMPARE(host.ctx.parity, 1); // Odd
        QCOMPARE(host.ctx.flowControl, 6);
    }

    void cancelWritesNothingAndRestoresTheUserSection() {
        m_folder->writeSettings(kUserAndDefaults);
        CMainFrame frame;
        const CommSettings before = frame.rs232cDialog().settings();
        ModalDriver driver;
        driver.expect([](QWidget* modal) {
            auto* dialog = static_cast<CURS232CSettingsDialog*>(modal);
            dialog->baudRateList()->setCurrentIndex(0);
            dialog->xonXoffBox()->setChecked(true);
            dialog->defaultButton()->click();
            // Default shows the default section at once, writing nothing.
            QCOMPARE(dialog->portList()->currentText(), QStringLiteral("COM2"));
            QCOMPARE(dialog->baudRateList()->currentText(), QStringLiteral("1200"));
            QVERIFY(!dialog->dtrDsrBox()->isChecked());
            QVERIFY(!dialog->xonXoffBox()->isChecked());
            QTest::keyClick(dialog, Qt::Key_Escape);
        });
        frame.OnRS232CSettings();
        QVERIFY(driver.waitUntilAnswered());
        QCOMPARE(m_folder->readSettings(), kUserAndDefaults);
        QCOMPARE(frame.rs232cDialog().settings(), before);
        QVERIFY(frame.rs232cDialog().flowChecks().dtrDsr);
    }

    void defaultThenOkMakesTheDefaultsTheUserSettings() {
        m_folder->writeSettings(kUserAndDefaults);
        CMainFrame frame;
        ModalDriver driver;
        driver.expect([](QWidget* modal) {
            auto* dialog = static_cast<CURS232CSettingsDialog*>(modal);
            dialog->defaultButton()->click();
            dialog->okButton()->click();
        });
        frame.OnRS232CSettings();
        QVERIFY(driver.waitUntilAnswered());
        const CommSettings expected{1, 3, 2, 0, 2, 0};
        QCOMPARE(frame.rs232cDialog().settings(), expected);
        QCOMPARE(settingValue(*m_folder, "RS232C UserSettings", "Data Bits"), "2");
        QCOMPARE(settingValue(*m_folder, "RS232C UserSettings", "Stop Bits"), "2");
    }

    void defaultSaveWritesTheDefaultSectionOnlyWhenConfirmed() {
        m_folder->writeSettings(kUserAndDefaults);
        CURS232CSettingsDialog dialog;
        dialog.show();
        dialog.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        dialog.stopBitsList()->setCurrentIndex(1);
        dialog.rtsCtsBox()->setChecked(true);

        ModalDriver driver;
        driver.expect([](QWidget* modal) {
            auto* confirm = qobject_cast<CUDefaultSaveDialog*>(modal);
            QVERIFY(confirm);
            QCOMPARE(confirm->windowTitle(), QStringLiteral("Default Save"));
            QVERIFY(confirm->findChild<QLabel*>());
            QCOMPARE(confirm->findChild<QLabel*>()->text(),
                     QStringLiteral("Save the current data?"));
            QCOMPARE(confirm->cancelButton()->text(), QStringLiteral("Cancel(ESC)"));
            QTest::keyClick(confirm, Qt::Key_Escape);
        });
        QTest::keyClick(dialog.stopBitsList(), Qt::Key_S, Qt::ControlModifier);
        QVERIFY(driver.waitUntilAnswered());
        QCOMPARE(m_folder->readSettings(), kUserAndDefaults);

        driver.expect(
            [](QWidget* modal) { static_cast<CUDefaultSaveDialog*>(modal)->okButton()->click(); });
        // Shift is ignored.
        dialog.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QTest::keyClick(&dialog, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(driver.waitUntilAnswered());
        QVERIFY(dialog.isVisible()); // stays open
        const QByteArray text = m_folder->readSettings();
        QVERIFY(text.contains("[RS232C Default]\nPort=0\nBaud Rate=11\nData Bits=3\nParity=1\n"
                              "Stop Bits=1\nFlow=3\n"));
        QVERIFY(text.contains("[RS232C UserSettings]\nPort=0\nBaud Rate=11\nData Bits=3\n"
                              "Parity=1\nStop Bits=0\nFlow=1\n"));
        QVERIFY(driver.unexpected().isEmpty());
        dialog.reject();
    }

    void valuesOutsideTheListsShowNothingAndTakeTheFallbacks() {
        m_folder->writeSettings("[RS232C UserSettings]\nPort=5\nBaud Rate=15\nData Bits=-1\n"
                                "Parity=3\nStop Bits=7\nFlow=8\n");
        CMainFrame frame;
        ContextHost host;
        QVERIFY(frame.rs232cDialog().RS232CDataSet(host));
        QCOMPARE(host.ctx.portNumber, 1);
        QCOMPARE(host.ctx.baudRate, 57600u);
        QCOMPARE(host.ctx.dataBits, 8);
        QCOMPARE(host.ctx.parity, 0);
        QCOMPARE(host.ctx.stopBits, 0);
        QCOMPARE(host.ctx.flowControl, 0);
        QCOMPARE(host.ctx.devicePath, std::string("/dev/ttyS0"));

        ModalDriver driver;
        driver.expect([](QWidget* modal) {
            auto* dialog = static_cast<CURS232CSettingsDialog*>(modal);
            for (QComboBox* list :
                 {dialog->portList(), dialog->baudRateList(), dialog->dataBitsList(),
                  dialog->parityList(), dialog->stopBitsList()})
                QCOMPARE(list->currentIndex(), -1);
            for (QCheckBox* box : {dialog->dtrDsrBox(), dialog->rtsCtsBox(), dialog->xonXoffBox()})
                QVERIFY(!box->isChecked());
            dialog->okButton()->click();
        });
        frame.OnRS232CSettings();
        QVERIFY(driver.waitUntilAnswered());
        for (const char* key : {"Port", "Baud Rate", "Data Bits", "Parity", "Stop Bits"})
            QCOMPARE(settingValue(*m_folder, "RS232C UserSettings", key), "-1");
        QCOMPARE(settingValue(*m_folder, "RS232C UserSettings", "Flow"), "0");
    }

    void devicePathIsShownAndEditedPerPort() {
        m_folder->writeSettings("[RS232C Devices]\nCOM1=/dev/ttyUSB0\nCOM2=/dev/ttyACM1\n");
        CMainFrame frame;
        ModalDriver driver;
        driver.expect([](QWidget* modal) {
            auto* dialog = static_cast<CURS232CSettingsDialog*>(modal);
            QCOMPARE(dialog->devicePath()->currentText(), QStringLiteral("/dev/ttyUSB0"));
            dialog->portList()->setCurrentIndex(1);
            QCOMPARE(dialog->devicePath()->currentText(), QStringLiteral("/dev/ttyACM1"));
            dialog->devicePath()->setEditText(QStringLiteral("  /tmp/pexo link\n"));
            dialog->portList()->setCurrentIndex(0);
            QCOMPARE(dialog->devicePath()->currentText(), QStringLiteral("/dev/ttyUSB0"));
            dialog->devicePath()->setEditText(QString());
            dialog->portList()->setCurrentIndex(1);
            QCOMPARE(dialog->devicePath()->currentText(), QStringLiteral("  /tmp/pexo link\n"));
            dialog->okButton()->click();
        });
        frame.OnRS232CSettings();
        QVERIFY(driver.waitUntilAnswered());
        // Blanks and line breaks are dropped; an emptied path falls back to the port's usual one.
        QCOMPARE(settingValue(*m_folder, "RS232C Devices", "COM2"), "/tmp/pexo link");
        QCOMPARE(settingValue(*m_folder, "RS232C Devices", "COM1"), "/dev/ttyS0");

        ContextHost host;
        QVERIFY(frame.rs232cDialog().RS232CDataSet(host));
        QCOMPARE(host.ctx.portNumber, 2);
        QCOMPARE(host.ctx.devicePath, std::string("/tmp/pexo link"));

        // Cancel forgets an edited path.
        driver.expect([](QWidget* modal) {
            auto* dialog = static_cast<CURS232CSettingsDialog*>(modal);
            dialog->devicePath()->setEditText(QStringLiteral("/dev/ttyS9"));
            dialog->cancelButton()->click();
        });
        frame.OnRS232CSettings();
        QVERIFY(driver.waitUntilAnswered());
        QCOMPARE(frame.rs232cDialog().devices().com2, std::string("/tmp/pexo link"));
    }

    void enterInTheDevicePathIsOk() {
        CMainFrame frame;
        ModalDriver driver;
        driver.expect([](QWidget* modal) {
            auto* dialog = static_cast<CURS232CSettingsDialog*>(modal);
            dialog->devicePath()->setFocus();
            dialog->devicePath()->setEditText(QStringLiteral("/dev/ttyUSB3"));
            QTest::keyClick(dialog->devicePath()->lineEdit(), Qt::Key_Return);
        });
        frame.OnRS232CSettings();
        QVERIFY(driver.waitUntilAnswered());
        QVERIFY(driver.unexpected().isEmpty());
        QCOMPARE(settingValue(*m_folder, "RS232C Devices", "COM1"), "/dev/ttyUSB3");
    }

    void withoutAWritableProgramFolderTheUsersFolderKeepsTheSettings() {
        // No INI folder: the settings go to the user's folder, as an installed program's do.
        QVERIFY(QDir(m_folder->programPath() + "INI").removeRecursively());
        CMainFrame frame;
        ModalDriver driver;
        driver.expect([](QWidget* modal) {
            auto* dialog = static_cast<CURS232CSettingsDialog*>(modal);
            dialog->baudRateList()->setCurrentIndex(12);
            dialog->okButton()->click();
        });
        frame.OnRS232CSettings();
        QVERIFY(driver.waitUntilAnswered());
        QVERIFY(driver.boxes().isEmpty());
        QCOMPARE(readProfile(m_folder->userSettingsFile().toStdString())
                     .get("RS232C UserSettings", "Baud Rate"),
                 std::optional<std::string>("12"));

        // Nowhere to keep them: the operator hears about it, the values stay in force.
        QVERIFY(QFile::remove(m_folder->userSettingsFile()));
        QVERIFY(QDir(m_folder->scratch(QStringLiteral("config"))).removeRecursively());
        QFile blocker(m_folder->scratch(QStringLiteral("config")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        driver.expect([](QWidget* modal) {
            auto* dialog = static_cast<CURS232CSettingsDialog*>(modal);
            dialog->baudRateList()->setCurrentIndex(13);
            dialog->okButton()->click();
        });
        driver.expectMessageBox();
        frame.OnRS232CSettings();
        QVERIFY(driver.waitUntilAnswered());
        QCOMPARE(driver.boxes().size(), 1);
        QCOMPARE(driver.boxes().at(0).text,
                 "The settings could not be saved to " + m_folder->userSettingsFile() + ".");
        QCOMPARE(driver.boxes().at(0).title, QStringLiteral("Pexo"));
        QCOMPARE(driver.boxes().at(0).icon, QMessageBox::Critical);
        QVERIFY(!m_folder->settingsExist());
        QCOMPARE(frame.rs232cDialog().settings().BaudRate, 13);
    }

    void offersTheSerialPortsWithWhatTheyAre() {
        devsim::FakeDeviceTree fake(m_folder->scratch(QStringLiteral("devices")).toStdString());
        fake.addUsb({"ttyUSB1", "ftdi_sio", "0403", "6001", "FTDI", "FT232R USB UART", "A1",
                     "usb-FTDI_FT232R_USB_UART_A1-if00-port0", "", 2});
        fake.addUart({"ttyS10", "serial", 4, true});
        fake.addUart({"ttyS2", "serial", 4, true});
        fake.addUart({"ttyS3", "serial8250", 0, false});
        fake.addVirtual("tty0");
        const QString dev = QDir(QString::fromStdString(fake.devRoot())).canonicalPath();

        CURS232CSettingsDialog dialog(nullptr, {fake.sysRoot(), fake.devRoot()});
        dialog.show();
        QAbstractItemModel* list = dialog.devicePath()->model();
        const QStringList expected{dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0",
                                   dev + "/ttyS2", dev + "/ttyS10", dev + "/ttyUSB1"};
        QCOMPARE(list->rowCount(), expected.size());
        for (int row = 0; row < list->rowCount(); ++row)
            QCOMPARE(list->index(row, 0).data().toString(), expected.at(row));
        QCOMPARE(list->index(0, 1).data().toString(),
                 QStringLiteral("ttyUSB1: FTDI FT232R USB UART (A1), 0403:6001, ftdi_sio"));
        QCOMPARE(list->index(1, 1).data().toString(), QStringLiteral("serial port, serial"));

        // The line under the field says what the shown path is; choosing takes the path.
        QCOMPARE(dialog.devicePath()->currentText(), QStringLiteral("/dev/ttyS0"));
        dialog.devicePath()->setCurrentIndex(0);
        QCOMPARE(dialog.devicePath()->currentText(), expected.at(0));
        QCOMPARE(dialog.deviceDescription()->text(),
                 QStringLiteral("FTDI FT232R USB UART (A1), 0403:6001, ftdi_sio, by-id "
                                "usb-FTDI_FT232R_USB_UART_A1-if00-port0"));
        dialog.devicePath()->setEditText(dev + "/ttyUSB7");
        QCOMPARE(dialog.deviceDescription()->text(), QStringLiteral("Not found on this computer"));
        dialog.reject();
    }
};

PEXO_GUI_TEST_MAIN(Rs232cDialogTest)
#include "Rs232cDialogTest.moc"
