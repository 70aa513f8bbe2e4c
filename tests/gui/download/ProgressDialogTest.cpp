#include "core/download/DownloadSession.h"
#include "core/protocol/ResultCode.h"
#include "core/serial/SerialLink.h"
#include "core/settings/CommSettings.h"
#include "gui/download/CUDownloadDialog.h"
#include "support/GuiTestHost.h"
#include "support/ModalScript.h"
#include "support/SessionTest.h"
#include "support/SimulatedDevice.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>
#include <atomic>
#include <optional>

using namespace pexo;
using namespace pexo::gui;
using namespace pexo::gui::test;

namespace {

// Runs the dialog to its end with no step of the test's own; what went wrong on the way is
// left in `problems`.
int runUnattended(CUDownloadDialog& dialog, QStringList& problems) {
    ModalScript script;
    script.allow<CUDownloadDialog>();
    script.start();
    const int result = dialog.exec();
    script.stop();
    problems = script.problems();
    return result;
}

} // namespace

// The progress dialog running whole downloads against the simulated device.
class ProgressDialogTest : public SessionTest {
    Q_OBJECT
private slots:
    void aWholeRunEndsWithOneShowingItsProgressOnTheWay();
    void aFailingDeviceEndsTheRunWithThree();
    void cancelDuringTheWriteEndsAtOnceWithTwo_data();
    void cancelDuringTheWriteEndsAtOnceWithTwo();
    void cancelRacingTheCompletionEndsCleanly();
    void anAbortOfTheThreadEndsWithTwoAfterItsMessage();
    void withoutAContextNothingStartsAndCancelEnds();

private:
    // Starts the device, opens the port and runs the connect poll until the device echoes.
    bool connectDevice(devsim::Options options = {}, ProtocolParameters params = quickParameters(),
                       CommSettings comm = {});
};

bool ProgressDialogTest::connectDevice(devsim::Options options, ProtocolParameters params,
                                       CommSettings comm) {
    if (!open(std::move(options), params, comm))
        return false;
    m_session->beginConnectPoll();
    return QTest::qWaitFor([&] { return m_session->pollTick(); },
                           static_cast<int>(kDeadline.count()));
}

void ProgressDialogTest::aWholeRunEndsWithOneShowingItsProgressOnTheWay() {
    // 800 ms between blocks: the run lasts over two seconds whatever the machine, the
    // display ticks on the way, and each block stays current long enough to be looked at.
    ProtocolParameters params = quickParameters();
    params.Code31 = 800;
    QVERIFY(connectDevice({}, params));

    CUDownloadDialog dialog(*m_session, *m_host);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Download"));
    QCOMPARE(dialog.cancelButton()->text(), QStringLiteral("Cancel(ESC)"));
    QCOMPARE(dialog.progressBar()->maximum(), int(kQuickImageLength / 100));

    QString firstPercent, firstProcess, firstElapsed;
    QString midProcess, midPercent;
    int midBar = -1;
    ModalScript script;
    script
        .then<CUDownloadDialog>(QStringLiteral("dialog shown"),
                                [&](CUDownloadDialog* d) {
                                    firstPercent = d->percentLabel()->text();
                                    firstProcess = d->processLabel()->text();
                                    firstElapsed = d->elapsedLabel()->text();
                                })
        .then<CUDownloadDialog>(
            QStringLiteral("a middle block under way"),
            [&](CUDownloadDialog*) {
                const auto address = m_host->ctx.writeAddress.load();
                return address == 0x500 || address == 0x900;
            },
            [&](CUDownloadDialog* d) {
                d->refresh();
                midProcess = d->processLabel()->text();
                midPercent = d->percentLabel()->text();
                midBar = d->progressBar()->value();
            });
    script.start();
    const int result = dialog.exec();
    script.stop();

    QVERIFY2(script.problems().isEmpty(), qPrintable(script.problems().join('\n')));
    QCOMPARE(firstPercent, QStringLiteral("0.0 %"));
    QCOMPARE(firstProcess, QString());
    QCOMPARE(firstElapsed, QStringLiteral("00:00:00"));
    // The block being written, its address and the sector size; the share below it.
    if (midProcess == QStringLiteral("Process 3:[0x000500 + 1024]")) {
        QCOMPARE(midPercent, QStringLiteral("29.41 %"));
        QCOMPARE(midBar, 0x500 / 100);
    } else {
        QCOMPARE(midProcess, QStringLiteral("Process 3:[0x000900 + 1024]"));
        QCOMPARE(midPercent, QStringLiteral("52.94 %"));
        QCOMPARE(midBar, 0x900 / 100);
    }

    QCOMPARE(result, CUDownloadDialog::kNormalEnd);
    QVERIFY(m_session->waitForProtocolEnd(std::chrono::milliseconds(0)));
    QCOMPARE(m_host->ctx.resultCode.load(), 0);
    QVERIFY(m_host->ctx.elapsedSeconds.load() >= 2);
    QCOMPARE(m_host->ctx.elapsedSeconds.load(), m_session->elapsedSeconds());
    const auto written = m_device->sim().readMemory(0x100, 0x1000);
    QVERIFY(std::equal(written.begin(), written.end(), m_host->image.begin() + 0x100));
}

void ProgressDialogTest::aFailingDeviceEndsTheRunWithThree() {
    devsim::Options options;
    options.fail = devsim::Step::Write;
    QVERIFY(connectDevice(std::move(options)));
    CUDownloadDialog dialog(*m_session, *m_host);
    QStringList problems;
    const int result = runUnattended(dialog, problems);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
    QCOMPARE(result, CUDownloadDialog::kErrorEnd);
    QCOMPARE(m_host->ctx.resultCode.load(), toInt(ResultCode::WriteError));
    QVERIFY(m_session->waitForProtocolEnd(std::chrono::milliseconds(0)));
}

void ProgressDialogTest::cancelDuringTheWriteEndsAtOnceWithTwo_data() {
    QTest::addColumn<int>("how");
    QTest::newRow("Cancel(ESC)") << 0;
    QTest::newRow("Escape") << 1;
    QTest::newRow("Enter") << 2;
    QTest::newRow("Cancel(ESC) on a line held by XOFF") << 3;
}

void ProgressDialogTest::cancelDuringTheWriteEndsAtOnceWithTwo() {
    QFETCH(int, how);
    const bool held = how == 3;
    devsim::Options options;
    ProtocolParameters params = quickParameters();
    CommSettings comm;
    if (held) {
        // At 57600 baud a write has no limit of its own, and the step's time-out is far off:
        // only the Cancel can end this write.
        options.xoffAfterBlocks = 1;
        comm.Flow = 4; // XON/XOFF
        params.Code51 = 60'000;
        params.Code63_2 = 0xFFFF;
        m_host->load(patternImage(0x10000)); // more than the line buffers
    } else {
        options.rate = 9600; // a byte a millisecond: the write is still going when Cancel comes
    }
    QVERIFY(connectDevice(std::move(options), params, comm));

    CUDownloadDialog dialog(*m_session, *m_host);
    QVERIFY(!dialog.cancelButton()->isDefault());
    const auto writeUnderWay = [&] {
        if (!held)
            return m_device->sim().status().bytesReceived > 600;
        SerialLink& link = *m_host->ctx.serialLink;
        std::lock_guard lock(link.mutex);
        return m_device->sim().status().xoffSent && link.activeWriters > 0;
    };
    bool endedInTheClick = false;
    ModalScript script;
    script.then<CUDownloadDialog>(
        QStringLiteral("write under way"), [&](CUDownloadDialog*) { return writeUnderWay(); },
        [&](CUDownloadDialog* d) {
            if (how == 0 || held)
                d->cancelButton()->click();
            else
                QTest::keyClick(d, how == 1 ? Qt::Key_Escape : Qt::Key_Return);
            // The end sequence runs inside the click: the thread is gone when it returns.
            endedInTheClick = d->ended() && !d->isVisible() &&
                              m_session->waitForProtocolEnd(std::chrono::milliseconds(0));
        });
    script.start();
    const int result = dialog.exec();
    script.stop();

    QVERIFY2(script.problems().isEmpty(), qPrintable(script.problems().join('\n')));
    QVERIFY(endedInTheClick);
    QCOMPARE(result, CUDownloadDialog::kCancelled);
    QCOMPARE(m_host->ctx.resultCode.load(), 0);
    QCOMPARE(m_host->ctx.elapsedSeconds.load(), m_session->elapsedSeconds());
    // Stopped before the end: the device never saw the checksum request.
    for (const auto& frame : m_device->sim().frames())
        QVERIFY(frame.command != devsim::command::kChecksum);
}

void ProgressDialogTest::cancelRacingTheCompletionEndsCleanly() {
    // The device queues a Cancel for the GUI thread as it takes the last request, before it
    // answers: the Cancel is handled first, while the protocol thread is completing, and its
    // completion may be queued behind the Cancel. The Cancel decides; a late completion
    // changes nothing, and neither thread waits for the other.
    // The Cancel button is reached through an atomic and clicked by name: the queued call is
    // then made and freed inside Qt, whose hand-over between threads the race detector cannot
    // see, and no functor of ours crosses it.
    static std::atomic<QAbstractButton*> cancel{nullptr};
    for (int run = 0; run < 20; ++run) {
        cleanup();
        init();
        devsim::Options options;
        options.log = [](std::string_view line) {
            if (line.starts_with("86 "))
                if (QAbstractButton* button = cancel.load())
                    QMetaObject::invokeMethod(button, "click", Qt::QueuedConnection);
        };
        QVERIFY(connectDevice(std::move(options)));
        CUDownloadDialog dialog(*m_session, *m_host);
        cancel = dialog.cancelButton();
        QStringList problems;
        const int result = runUnattended(dialog, problems);
        cancel = nullptr;
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
        QCOMPARE(result, CUDownloadDialog::kCancelled);
        QVERIFY(m_session->waitForProtocolEnd(std::chrono::milliseconds(0)));
        QCoreApplication::sendPostedEvents();
        QCOMPARE(dialog.result(), CUDownloadDialog::kCancelled);
    }
}

void ProgressDialogTest::anAbortOfTheThreadEndsWithTwoAfterItsMessage() {
    QVERIFY(connectDevice());
    m_host->image.clear(); // the length still passes; the bytes are gone
    CUDownloadDialog dialog(*m_session, *m_host);
    QStringList problems;
    const int result = runUnattended(dialog, problems);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
    QCOMPARE(result, CUDownloadDialog::kCancelled);
    QCOMPARE(m_host->messages().size(), std::size_t{1});
    QVERIFY(m_session->waitForProtocolEnd(std::chrono::milliseconds(0)));
}

void ProgressDialogTest::withoutAContextNothingStartsAndCancelEnds() {
    QVERIFY(connectDevice());
    m_host->ctx.elapsedSeconds = 77;
    m_host->hasContext = false;
    CUDownloadDialog dialog(*m_session, *m_host);
    bool started = true;
    ModalScript script;
    script.then<CUDownloadDialog>(QStringLiteral("dialog shown"), [&](CUDownloadDialog* d) {
        started = d->protocolStarted();
        QTest::keyClick(d, Qt::Key_Escape);
    });
    script.start();
    const int result = dialog.exec();
    script.stop();
    m_host->hasContext = true;
    QVERIFY2(script.problems().isEmpty(), qPrintable(script.problems().join('\n')));
    QVERIFY(!started);
    QCOMPARE(result, CUDownloadDialog::kCancelled);
    QCOMPARE(m_host->ctx.elapsedSeconds.load(), 77u);
    for (const auto& frame : m_device->sim().frames())
        QCOMPARE(frame.command, devsim::command::kConnect);
}

QTEST_MAIN(ProgressDialogTest)
#include "ProgressDialogTest.moc"
