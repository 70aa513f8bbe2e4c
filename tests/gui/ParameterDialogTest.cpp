#include "core/protocol/DownloadContext.h"
#include "core/settings/ProfileFile.h"
#include "gui/app/CMainFrame.h"
#include "gui/settings/CUDefaultSaveDialog.h"
#include "gui/settings/CUParameterSettingsDialog.h"
#include "support/GuiTestEnvironment.h"
#include "support/ModalDriver.h"
#include "support/ProgramFolderTest.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <map>
#include <memory>

using namespace pexo;
using namespace pexo::gui;
using pexo::test::ContextHost;
using pexo::test::ModalDriver;
using pexo::test::ProgramFolder;
using pexo::test::settingValue;

namespace {

using Edits = std::map<ParameterField, QString>;

const QByteArray kSettings = "[Param UserSettings]\n"
                             "Code30=20\nCode31=2000\nCode51=1000\nCode52=1000\nCode53=1000\n"
                             "Code54=1000\nCode61=2\nCheckCode72=1\nCode62_1=0x008000\n"
                             "Code62_2=0x0010\nCode63_1=0x00A000\nCode63_2=0x0FFFFF\n"
                             "Code72=0x12345678\nNote=line 4\n"
                             "[Param Default]\n"
                             "Code30=10\nCode31=1000\nCode51=180000\nCode52=180000\n"
                             "Code53=180000\nCode54=180000\nCode61=3\nCheckCode72=0\n"
                             "Code62_1=0x004000\nCode62_2=0x0022\nCode63_1=0x006000\n"
                             "Code63_2=0x1FFFFF\nCode72=0xFFFFFFFF\n";

void type(CUParameterSettingsDialog* dialog, const Edits& edits) {
    for (const auto& [field, text] : edits)
        dialog->edit(field)->setText(text);
}

} // namespace

class ParameterDialogTest : public pexo::test::ProgramFolderTest {
    Q_OBJECT

    // Opens the dialog from the main window, types `edits`, presses OK and answers the
    // refusal (if any) and then Cancel; returns the message shown, empty when OK closed it.
    QString okWith(CMainFrame& frame, const Edits& edits, QWidget** focusAfter = nullptr,
                   QString* selectedAfter = nullptr) {
        ModalDriver driver;
        bool closed = false;
        driver.expect([&](QWidget* modal) {
            auto* dialog = static_cast<CUParameterSettingsDialog*>(modal);
            type(dialog, edits);
            dialog->okButton()->click();
            closed = !dialog->isVisible();
            if (!closed) {
                if (focusAfter)
                    *focusAfter = dialog->focusWidget();
                if (selectedAfter) {
                    auto* edit = qobject_cast<QLineEdit*>(dialog->focusWidget());
                    *selectedAfter = edit ? edit->selectedText() : QString();
                }
                dialog->cancelButton()->click();
            }
        });
        driver.expectMessageBox();
        frame.OnParameterSettings();
        driver.waitUntilAnswered(closed ? 0 : 5000);
        if (closed)
            return {};
        if (driver.boxes().isEmpty())
            return QStringLiteral("<no message>");
        const test::SeenBox& box = driver.boxes().constFirst();
        if (box.icon != QMessageBox::Warning || box.title != QLatin1String("Pexo"))
            return QStringLiteral("<wrong box>");
        return box.text;
    }

private slots:
    void showsEveryRowInTabOrderWithOkFocused() {
        CUParameterSettingsDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Paramater Settings"));
        QVERIFY(!(dialog.windowFlags() & Qt::WindowCloseButtonHint));
        QCOMPARE(dialog.findChild<QGroupBox*>()->title(), QStringLiteral("&Paramater Options:"));
        QStringList labels;
        for (const QLabel* label : dialog.findChildren<QLabel*>())
            labels << label->text();
        for (const char* expected :
             {"Code 30:TX Interval Time", "Code 31:TX Wait Surplua Time",
              "Code 51:RX Write-Completion", "Code 52:RX Sector-Size designation",
              "Code 53:RX Erase-Completion", "Code 54:RX Check-Sum Display", "Code 61:Sector Size",
              "Code 62:Erase Address", "First:", "Sector:", "Code 63:Write Address",
              "Last:", "ms (1 to 1000)", "ms (1 to 1800000)", "byte", "Hex (0x000000 to 0xFFFFFF)",
              "Hex (0x0001 to 0xFFFF)", "Hex (0x00000000 to 0xFFFFFFFF)", "Default Save\n(Ctrl+S)"})
            QVERIFY2(labels.contains(QString::fromLatin1(expected)), expected);
        QCOMPARE(dialog.code72CheckBox()->text(), QStringLiteral("Code 72:Full Check Sum"));
        QStringList sizes;
        for (int i = 0; i < dialog.sectorSizeBox()->count(); ++i)
            sizes << dialog.sectorSizeBox()->itemText(i);
        QCOMPARE(sizes, (QStringList{"128", "256", "512", "1024", "2048", "4096", "8192"}));
        QVERIFY(dialog.sectorSizeBox()->isEditable());

        // Built-in values in their formats.
        QCOMPARE(dialog.edit(ParameterField::Code62_1)->text(), QStringLiteral("0x004000"));
        QCOMPARE(dialog.edit(ParameterField::Code62_2)->text(), QStringLiteral("0x0022"));
        QCOMPARE(dialog.edit(ParameterField::Code63_2)->text(), QStringLiteral("0x1FFFFF"));
        QCOMPARE(dialog.code72Edit()->text(), QStringLiteral("0xFFFFFFFF"));
        QCOMPARE(dialog.sectorSizeBox()->currentText(), QStringLiteral("1024"));

        // The Code 72 box follows its check box.
        QVERIFY(!dialog.code72Edit()->isEnabled());
        dialog.code72CheckBox()->click();
        QVERIFY(dialog.code72Edit()->isEnabled());
        dialog.code72CheckBox()->click();
        QVERIFY(!dialog.code72Edit()->isEnabled());
        dialog.code72CheckBox()->click();

        QTRY_COMPARE(QApplication::focusWidget(), dialog.okButton());
        QList<QWidget*> order{dialog.cancelButton(), dialog.defaultButton()};
        for (ParameterField f :
             {ParameterField::Code30, ParameterField::Code31, ParameterField::Code51,
              ParameterField::Code52, ParameterField::Code53, ParameterField::Code54})
            order << dialog.edit(f);
        order << dialog.sectorSizeBox();
        for (ParameterField f : {ParameterField::Code62_1, ParameterField::Code62_2,
                                 ParameterField::Code63_1, ParameterField::Code63_2})
            order << dialog.edit(f);
        order << dialog.code72CheckBox() << dialog.code72Edit() << dialog.okButton();
        for (QWidget* expected : order) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* focus = QApplication::focusWidget();
            if (focus && focus->parentWidget() == expected)
                focus = expected; // the sector-size box's editor
            QCOMPARE(focus, expected);
        }
    }

    void refusesTheFirstBadFieldInReadingOrder_data() {
        QTest::addColumn<Edits>("edits");
        QTest::addColumn<int>("field"); // -1: a hexadecimal range check, focus unchanged
        QTest::addColumn<QString>("message");
        const auto c30 = ParameterField::Code30, c31 = ParameterField::Code31,
                   c54 = ParameterField::Code54, h621 = ParameterField::Code62_1,
                   h622 = ParameterField::Code62_2, h631 = ParameterField::Code63_1,
                   h632 = ParameterField::Code63_2, h72 = ParameterField::Code72;
        const QString integer = QStringLiteral("Please enter an integer.");
        QTest::newRow("not a number") << Edits{{c30, "12a"}, {c31, "0"}} << int(c30) << integer;
        QTest::newRow("empty") << Edits{{c54, ""}} << int(c54) << integer;
        QTest::newRow("blank") << Edits{{c31, " \t "}} << int(c31) << integer;
        QTest::newRow("hex is no integer") << Edits{{c31, "0x10"}} << int(c31) << integer;
        QTest::newRow("Code30 0") << Edits{{c30, "0"}, {c31, "x"}} << int(c30)
                                  << QStringLiteral("Please enter an integer between 1 and 1000.");
        QTest::newRow("Code31 one above")
            << Edits{{c31, "1800001"}} << int(c31)
            << QStringLiteral("Please enter an integer between 1 and 1800000.");
        QTest::newRow("huge") << Edits{{c54, "99999999999999999999999"}} << int(c54)
                              << QStringLiteral("Please enter an integer between 1 and 1800000.");
        QTest::newRow("decimal before hex")
            << Edits{{h622, ""}, {c54, "-5"}} << int(c54)
            << QStringLiteral("Please enter an integer between 1 and 1800000.");
        QTest::newRow("Code62.2 empty")
            << Edits{{h622, ""}, {h631, "1000000"}} << -1
            << QStringLiteral("Code62.2: please enter an integer between 0x0001 and 0xFFFF.");
        QTest::newRow("Code62.1 negative")
            << Edits{{h621, "-1"}} << int(h621)
            << QStringLiteral("Code62.1: please enter a hexadecimal number.");
        QTest::newRow("Code63.2 letter after the digits")
            << Edits{{h632, "1FFFFG"}} << int(h632)
            << QStringLiteral("Code63.2: please enter a hexadecimal number.");
        QTest::newRow("Code63.1 letter O for zero")
            << Edits{{h631, "0x4O00"}} << int(h631)
            << QStringLiteral("Code63.1: please enter a hexadecimal number.");
        QTest::newRow("Code62.2 no digit")
            << Edits{{h622, "zz"}} << int(h622)
            << QStringLiteral("Code62.2: please enter a hexadecimal number.");
        QTest::newRow("Code72 not hex")
            << Edits{{h72, "0x1234567H"}} << int(h72)
            << QStringLiteral("Code72: please enter a hexadecimal number.");
        QTest::newRow("Code72 nine digits")
            << Edits{{h72, "123456789"}} << -1
            << QStringLiteral("Code72: please enter an integer between 0x00000000 and 0xFFFFFFFF.");
        QTest::newRow("boxes in order")
            << Edits{{h621, "1000000"}, {h632, "zz"}} << -1
            << QStringLiteral("Code62.1: please enter an integer between 0x000000 and 0xFFFFFF.");
        QTest::newRow("decimal before hex text")
            << Edits{{c30, "x"}, {h621, "zz"}} << int(c30) << integer;
        QTest::newRow("write range inverted")
            << Edits{{h631, "2000"}, {h632, "1FFF"}} << int(h631)
            << QStringLiteral("Code63: the first address must not be above the last.");
        QTest::newRow("Code63.1 too wide")
            << Edits{{h631, "0x1000000"}} << -1
            << QStringLiteral("Code63.1: please enter an integer between 0x000000 and 0xFFFFFF.");
        QTest::newRow("Code63.2 sign bit")
            << Edits{{h632, "80000000"}} << -1
            << QStringLiteral("Code63.2: please enter an integer between 0x000000 and 0xFFFFFF.");
        QTest::newRow("Code63.2 more digits than 32 bits")
            << Edits{{h632, "0x1234567890"}} << -1
            << QStringLiteral("Code63.2: please enter an integer between 0x000000 and 0xFFFFFF.");
    }

    void refusesTheFirstBadFieldInReadingOrder() {
        QFETCH(Edits, edits);
        QFETCH(int, field);
        QFETCH(QString, message);
        m_folder->writeSettings(kSettings);
        CMainFrame frame;
        const QByteArray before = m_folder->readSettings();
        QWidget* focus = nullptr;
        QString selected;
        QCOMPARE(okWith(frame, edits, &focus, &selected), message);
        QCOMPARE(m_folder->readSettings(), before);
        if (field >= 0) {
            QLineEdit* box = frame.parameterDialog().edit(static_cast<ParameterField>(field));
            QCOMPARE(focus, box);
            QCOMPARE(selected, edits.at(static_cast<ParameterField>(field)));
        } else {
            QCOMPARE(focus, frame.parameterDialog().okButton());
        }
    }

    void okParsesAndReformatsTheHexTexts() {
        m_folder->writeSettings(kSettings);
        CMainFrame frame;
        QCOMPARE(okWith(frame, {{ParameterField::Code62_1, "4000"},
                                {ParameterField::Code62_2, " \t0X1f "},
                                {ParameterField::Code63_1, "00000000000000080"},
                                {ParameterField::Code63_2, "100"}}),
                 QString());
        QCOMPARE(settingValue(*m_folder, "Param UserSettings", "Code62_1"), "0x004000");
        QCOMPARE(settingValue(*m_folder, "Param UserSettings", "Code62_2"), "0x001F");
        QCOMPARE(settingValue(*m_folder, "Param UserSettings", "Code63_1"), "0x000080");
        QCOMPARE(settingValue(*m_folder, "Param UserSettings", "Code63_2"), "0x0100");
        QCOMPARE(settingValue(*m_folder, "Param UserSettings", "Note"), "line 4");
        QVERIFY(m_folder->readSettings().contains("[Param Default]\nCode30=10\n"));

        ModalDriver driver;
        driver.expect([](QWidget* modal) {
            auto* dialog = static_cast<CUParameterSettingsDialog*>(modal);
            QCOMPARE(dialog->edit(ParameterField::Code62_1)->text(), QStringLiteral("0x004000"));
            QCOMPARE(dialog->edit(ParameterField::Code63_2)->text(), QStringLiteral("0x0100"));
            dialog->cancelButton()->click();
        });
        frame.OnParameterSettings();
        QVERIFY(driver.waitUntilAnswered());
    }

    void uncheckedCode72KeepsItsValue() {
        m_folder->writeSettings(kSettings);
        CMainFrame frame;
        ModalDriver driver;
        driver.expect([](QWidget* modal) {
            auto* dialog = static_cast<CUParameterSettingsDialog*>(modal);
            QVERIFY(dialog->code72Edit()->isEnabled());
            dialog->code72CheckBox()->click();
            QVERIFY(!dialog->code72Edit()->isEnabled());
            dialog->code72Edit()->setText(QStringLiteral("abcdef01"));
            dialog->okButton()->click();
        });
        frame.OnParameterSettings();
        QVERIFY(driver.waitUntilAnswered());
        QCOMPARE(settingValue(*m_folder, "Param UserSettings", "CheckCode72"), "0");
        QCOMPARE(settingValue(*m_folder, "Param UserSettings", "Code72"), "0xABCDEF01");
        ContextHost host;
        QVERIFY(frame.parameterDialog().ParameterDataSet(host));
        QVERIFY(!host.ctx.fullChecksumEnabled);
        QCOMPARE(host.ctx.fullChecksum, 0xABCDEF01u);
        QCOMPARE(host.ctx.txIntervalTime, 20);
        QCOMPARE(host.ctx.sectorSizeCode, 3);
        QCOMPARE(host.ctx.writeFirstAddress, 0xA000);
    }

    void valuesOutOfRangeFromTheFile() {
        m_folder->writeSettings("[Param UserSettings]\nCode61=9\nCode30=5000\nCode62_2=\n");
        CMainFrame frame;
        ContextHost host;
        QVERIFY(frame.parameterDialog().ParameterDataSet(host));
        QCOMPARE(host.ctx.sectorSizeCode, 4);
        QCOMPARE(host.ctx.txIntervalTime, 5000); // copied without a check

        ModalDriver driver;
        driver.expect([](QWidget* modal) {
            auto* dialog = static_cast<CUParameterSettingsDialog*>(modal);
            QCOMPARE(dialog->sectorSizeBox()->currentIndex(), -1);
            QCOMPARE(dialog->sectorSizeBox()->currentText(), QString());
            QCOMPARE(dialog->edit(ParameterField::Code30)->text(), QStringLiteral("5000"));
            QCOMPARE(dialog->edit(ParameterField::Code62_2)->text(), QStringLiteral("0x0000"));
            dialog->edit(ParameterField::Code30)->setText(QStringLiteral("10"));
            dialog->edit(ParameterField::Code62_2)->setText(QStringLiteral("1"));
            // Text typed into the sector-size box is not read.
            dialog->sectorSizeBox()->setEditText(QStringLiteral("2048"));
            dialog->okButton()->click();
        });
        frame.OnParameterSettings();
        QVERIFY(driver.waitUntilAnswered());
        QVERIFY(driver.unexpected().isEmpty());
        QCOMPARE(settingValue(*m_folder, "Param UserSettings", "Code61"), "-1");
        QCOMPARE(settingValue(*m_folder, "Param UserSettings", "Code62_2"), "0x0001");
    }

    void enterInTheSectorSizeBoxIsOk() {
        CMainFrame frame;
        ModalDriver driver;
        driver.expect([](QWidget* modal) {
            auto* dialog = static_cast<CUParameterSettingsDialog*>(modal);
            dialog->sectorSizeBox()->setCurrentIndex(6);
            dialog->sectorSizeBox()->setFocus();
            QTest::keyClick(dialog->sectorSizeBox()->lineEdit(), Qt::Key_Return);
        });
        frame.OnParameterSettings();
        QVERIFY(driver.waitUntilAnswered());
        QVERIFY(driver.unexpected().isEmpty());
        QCOMPARE(settingValue(*m_folder, "Param UserSettings", "Code61"), "6");
    }

    void cancelAndDefaultWriteNothing() {
        m_folder->writeSettings(kSettings);
        CMainFrame frame;
        const ProtocolParameters before = frame.parameterDialog().parameters();
        ModalDriver driver;
        driver.expect([](QWidget* modal) {
            auto* dialog = static_cast<CUParameterSettingsDialog*>(modal);
            dialog->edit(ParameterField::Code31)->setText(QStringLiteral("7"));
            dialog->defaultButton()->click();
            QCOMPARE(dialog->edit(ParameterField::Code30)->text(), QStringLiteral("10"));
            QCOMPARE(dialog->sectorSizeBox()->currentText(), QStringLiteral("1024"));
            QVERIFY(!dialog->code72CheckBox()->isChecked());
            QVERIFY(!dialog->code72Edit()->isEnabled());
            QTest::keyClick(dialog, Qt::Key_Escape);
        });
        frame.OnParameterSettings();
        QVERIFY(driver.waitUntilAnswered());
        QCOMPARE(m_folder->readSettings(), kSettings);
        QCOMPARE(frame.parameterDialog().parameters(), before);

        driver.expect([](QWidget* modal) {
            auto* dialog = static_cast<CUParameterSettingsDialog*>(modal);
            QCOMPARE(dialog->edit(ParameterField::Code31)->text(), QStringLiteral("2000"));
            dialog->defaultButton()->click();
            dialog->okButton()->click();
        });
        frame.OnParameterSettings();
        QVERIFY(driver.waitUntilAnswered());
        QCOMPARE(frame.parameterDialog().parameters(), ProtocolParameters{});
        QCOMPARE(settingValue(*m_folder, "Param UserSettings", "Code51"), "180000");
    }

    void defaultSaveChecksDecimalsOnlyAndWritesTheDefaultSection() {
        m_folder->writeSettings(kSettings);
        CUParameterSettingsDialog dialog;
        dialog.show();
        dialog.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        ModalDriver driver;
        auto confirm = [](QWidget* modal) {
            auto* box = qobject_cast<CUDefaultSaveDialog*>(modal);
            QVERIFY(box);
            box->okButton()->click();
        };

        dialog.edit(ParameterField::Code53)->setText(QStringLiteral("0"));
        driver.expect(confirm);
        driver.expectMessageBox();
        QTest::keyClick(dialog.edit(ParameterField::Code53), Qt::Key_S, Qt::ControlModifier);
        QVERIFY(driver.waitUntilAnswered());
        QCOMPARE(driver.boxTexts(),
                 QStringList{QStringLiteral("Please enter an integer between 1 and 1800000.")});
        QCOMPARE(m_folder->readSettings(), kSettings);
        QCOMPARE(dialog.focusWidget(), dialog.edit(ParameterField::Code53));

        dialog.edit(ParameterField::Code53)->setText(QStringLiteral("500"));
        dialog.edit(ParameterField::Code62_2)->setText(QStringLiteral("0"));
        dialog.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        driver.expect(confirm);
        QTest::keyClick(&dialog, Qt::Key_S, Qt::ControlModifier);
        QVERIFY(driver.waitUntilAnswered());
        QVERIFY(dialog.isVisible());
        QCOMPARE(settingValue(*m_folder, "Param Default", "Code53"), "500");
        QCOMPARE(settingValue(*m_folder, "Param Default", "Code62_2"), "0x0000");
        QCOMPARE(settingValue(*m_folder, "Param Default", "Code61"), "2");
        QCOMPARE(settingValue(*m_folder, "Param UserSettings", "Code53"), "1000");
        QVERIFY(driver.unexpected().isEmpty());
        dialog.reject();
    }

    void nothingTypedBreaksTheFile() {
        m_folder->writeSettings(kSettings);
        CMainFrame frame;
        const QString junk[] = {QStringLiteral("=\n[Param Default]\nCode30=1"),
                                QString(4000, QLatin1Char('F')), QStringLiteral("\xE9\x20AC"),
                                QStringLiteral("0x-1"), QStringLiteral("--1")};
        for (const QString& text : junk) {
            Edits edits;
            for (ParameterField f : {ParameterField::Code62_1, ParameterField::Code62_2,
                                     ParameterField::Code63_1, ParameterField::Code63_2})
                edits[f] = text;
            okWith(frame, edits);
            okWith(frame, {{ParameterField::Code30, text}});
        }
        // Whatever was refused or accepted, every key is one well-formed value line.
        const IniDocument doc = readProfile(m_folder->settingsFileStd());
        for (const char* key : {"Code62_1", "Code62_2", "Code63_1", "Code63_2", "Code72"}) {
            const std::string v = doc.get("Param UserSettings", key).value_or("");
            QVERIFY2(v.size() >= 6 && v.rfind("0x", 0) == 0, key);
        }
        QCOMPARE(doc.get("Param Default", "Code30").value_or(""), std::string("10"));
        QCOMPARE(settingValue(*m_folder, "Param UserSettings", "Code30"), "20");
    }
};

PEXO_GUI_TEST_MAIN(ParameterDialogTest)
#include "ParameterDialogTest.moc"
