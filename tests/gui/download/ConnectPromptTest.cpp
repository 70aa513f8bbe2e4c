#include "core/download/DownloadSession.h"
#include "core/protocol/ResultCode.h"
#include "core/settings/CommSettings.h"
#include "gui/download/CUConnectModeDialog.h"
#include "support/GuiTestHost.h"
#include "support/ModalScript.h"
#include "support/SessionTest.h"
#include "support/SimulatedDevice.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>
#include <optional>

using namespace pexo;
using namespace pexo::gui;
using namespace pexo::gui::test;

// The prompt over a real session and a simulated device on a pseudo-terminal.
class ConnectPromptTest : public SessionTest {
    Q_OBJECT
private slots:
    void continueWaitsForTheFirstEchoThenTakesEnter();
    void aDeviceThatNeverAnswersIsPolledUntilCancelled_data();
    void aDeviceThatNeverAnswersIsPolledUntilCancelled();
    void thePollPeriodIsCode30OrTwentyWhenZero_data();
    void thePollPeriodIsCode30OrTwentyWhenZero();
    void continueStaysEnabledWhenTheDeviceGoesAway();
};

void ConnectPromptTest::continueWaitsForTheFirstEchoThenTakesEnter() {
    QVERIFY(open());
    // What the previous run left must not survive the prompt.
    m_host->ctx.resultCode = 7;
    m_host->ctx.elapsedSeconds = 99;
    m_host->ctx.setCommErrorText("old");

    CUConnectModeDialog prompt(*m_session);
    QCOMPARE(prompt.windowTitle(), QStringLiteral("Connect Mode"));
    QCOMPARE(prompt.messageLabel()->text(), QStringLiteral("Please Connect Mobiles"));
    QCOMPARE(prompt.continueButton()->text(), QStringLiteral("Continue"));
    QCOMPARE(prompt.cancelButton()->text(), QStringLiteral("Cancel(ESC)"));

    bool disabledAtFirst = false;
    bool cancelWasDefault = false;
    bool reset = false;
    bool continueDefault = false;
    bool continueFocused = false;
    ModalScript script;
    script
        .then<CUConnectModeDialog>(QStringLiteral("prompt shown"),
                                   [&](CUConnectModeDialog* d) {
                                       disabledAtFirst = !d->continueButton()->isEnabled();
                                       cancelWasDefault = d->cancelButton()->isDefault();
                                       reset = m_host->ctx.resultCode.load() == 0 &&
                                               m_host->ctx.elapsedSeconds.load() == 0 &&
                                               m_host->ctx.commErrorText().empty();
                                   })
        .then<CUConnectModeDialog>(
            QStringLiteral("Continue enabled"),
            [](CUConnectModeDialog* d) { return d->continueButton()->isEnabled(); },
            [&](CUConnectModeDialog* d) {
                continueDefault =
                    d->continueButton()->isDefault() && !d->cancelButton()->isDefault();
                continueFocused = d->focusWidget() == d->continueButton();
                QTest::keyClick(d, Qt::Key_Return);
            });
    script.start();
    const int result = prompt.exec();
    script.stop();

    QVERIFY2(script.problems().isEmpty(), qPrintable(script.problems().join('\n')));
    QVERIFY(disabledAtFirst);
    QVERIFY(cancelWasDefault);
    QVERIFY(reset);
    QVERIFY(continueDefault);
    QVERIFY(continueFocused);
    QCOMPARE(result, CUConnectModeDialog::kContinue);
    QCOMPARE(prompt.pollPeriod(), 0); // nothing more goes out once it has ended
}

void ConnectPromptTest::aDeviceThatNeverAnswersIsPolledUntilCancelled_data() {
    QTest::addColumn<int>("how");
    QTest::newRow("Cancel(ESC)") << 0;
    QTest::newRow("Escape") << 1;
    QTest::newRow("Enter") << 2;
}

void ConnectPromptTest::aDeviceThatNeverAnswersIsPolledUntilCancelled() {
    QFETCH(int, how);
    devsim::Options options;
    options.silent.add(devsim::Step::Connect);
    QVERIFY(open(std::move(options)));

    CUConnectModeDialog prompt(*m_session);
    bool stillDisabled = false;
    ModalScript script;
    script.then<CUConnectModeDialog>(
        QStringLiteral("five polls sent"),
        [&](CUConnectModeDialog*) { return m_device->sim().status().frameCount >= 5; },
        [&](CUConnectModeDialog* d) {
            stillDisabled = !d->continueButton()->isEnabled();
            if (how == 0)
                d->cancelButton()->click();
            else
                QTest::keyClick(d, how == 1 ? Qt::Key_Escape : Qt::Key_Return);
        });
    script.start();
    const int result = prompt.exec();
    script.stop();

    QVERIFY2(script.problems().isEmpty(), qPrintable(script.problems().join('\n')));
    QVERIFY(stillDisabled);
    QCOMPARE(result, CUConnectModeDialog::kCancel);
    const auto frames = m_device->sim().frames();
    QVERIFY(frames.size() >= 5);
    for (const auto& frame : frames)
        QCOMPARE(frame.command, std::uint8_t{0xD6});
}

void ConnectPromptTest::thePollPeriodIsCode30OrTwentyWhenZero_data() {
    QTest::addColumn<int>("code30");
    QTest::addColumn<int>("period");
    QTest::newRow("Code30 7") << 7 << 7;
    QTest::newRow("Code30 250") << 250 << 250;
    QTest::newRow("Code30 0") << 0 << 20;
}

void ConnectPromptTest::thePollPeriodIsCode30OrTwentyWhenZero() {
    QFETCH(int, code30);
    QFETCH(int, period);
    ProtocolParameters params = quickParameters();
    params.Code30 = code30;
    devsim::Options options;
    options.silent.add(devsim::Step::Connect);
    QVERIFY(open(std::move(options), params));

    CUConnectModeDialog prompt(*m_session);
    QCOMPARE(prompt.pollPeriod(), 0);
    prompt.show();
    QCOMPARE(prompt.pollPeriod(), period);
    // The timer runs in this thread's event loop: wait while serving it.
    QVERIFY(QTest::qWaitFor([&] { return m_device->sim().status().frameCount >= 2; },
                            static_cast<int>(kDeadline.count())));
    prompt.reject();
    QCOMPARE(prompt.result(), CUConnectModeDialog::kCancel);
}

void ConnectPromptTest::continueStaysEnabledWhenTheDeviceGoesAway() {
    devsim::Options options;
    options.hangupAfter = 3; // echoes the first polls, then takes the line down
    QVERIFY(open(std::move(options)));

    CUConnectModeDialog prompt(*m_session);
    bool enabledAfterHangUp = false;
    ModalScript script;
    script.then<CUConnectModeDialog>(
        QStringLiteral("polls failing after the hang-up"),
        [&](CUConnectModeDialog* d) {
            // A poll written to the dead line is recorded as a serial error.
            return d->continueButton()->isEnabled() && m_device->sim().status().hungUp &&
                   m_host->ctx.resultCode.load() == toInt(ResultCode::SerialError);
        },
        [&](CUConnectModeDialog* d) {
            enabledAfterHangUp = d->continueButton()->isEnabled();
            d->cancelButton()->click();
        });
    script.start();
    const int result = prompt.exec();
    script.stop();

    QVERIFY2(script.problems().isEmpty(), qPrintable(script.problems().join('\n')));
    QVERIFY(enabledAfterHangUp);
    QCOMPARE(result, CUConnectModeDialog::kCancel);
}

QTEST_MAIN(ConnectPromptTest)
#include "ConnectPromptTest.moc"
