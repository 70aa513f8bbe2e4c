#include "core/protocol/DownloadContext.h"
#include "gui/download/CUConnectModeDialog.h"
#include "gui/download/CUDownloadDialog.h"
#include "gui/download/CUDownloadEndDialog.h"
#include "gui/download/CUDownloadErrorDialog.h"
#include "support/DownloadSteps.h"
#include "support/GuiTestHost.h" // patternImage
#include "support/MainFrameFixture.h"
#include "support/ModalScript.h"
#include "support/SimulatedDevice.h"

#include <QAction>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>
#include <chrono>
#include <optional>

using namespace pexo;
using namespace pexo::gui;
using namespace pexo::gui::test;
using Clock = std::chrono::steady_clock;

namespace {

// Notes a dialog of type T being shown, however briefly: polling for the active modal window
// can miss one that a fast run opens and closes between two looks.
template <typename T>
class ShowWatch : public QObject {
public:
    ShowWatch() { QCoreApplication::instance()->installEventFilter(this); }
    ~ShowWatch() override { QCoreApplication::instance()->removeEventFilter(this); }
    bool seen = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && dynamic_cast<T*>(watched))
            seen = true;
        return false;
    }
};

QStringList linesOf(const ResultDialog* d) {
    return {d->timeLabel()->text(), d->line(0)->text(), d->line(1)->text(), d->line(2)->text()};
}

// Coarse timers may fire up to 5 % early.
constexpr auto kReleaseAtLeast = std::chrono::milliseconds(CMainFrame::kReleaseInterval * 95 / 100);

} // namespace

// The Download command of the main window, whole downloads through the dialogs.
class DownloadCommandTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void aDownloadRunsFromThePromptToTheNormalEnd();
    void eachFailureEndsInTheErrorDialogWithItsCause_data();
    void eachFailureEndsInTheErrorDialogWithItsCause();
    void cancelOnThePromptClosesThePortAndHoldsTheCommandHalfASecond();
    void cancelDuringTheWriteEndsWithoutAResult();
    void anImageTooShortReportsItWithoutOpeningThePort();
    void aPortThatCannotBeOpenedIsReportedAndTheButtonNeverShowsPressed();
    void closingTheMainWindowDuringADownloadLeavesNoPortOpen();

private:
    bool startDevice(devsim::Options options = {}, ProtocolParameters params = quickParameters());
    // Runs the Download command as the toolbar or a successful open queues it.
    void download(TestFrame& frame);
    // Waits (serving events) for the release timer; false at the deadline.
    bool waitForRelease(TestFrame& frame);

    std::optional<MainFrameFixture> m_fixture;
    std::optional<SimulatedDevice> m_device;
};

void DownloadCommandTest::init() {
    m_fixture.emplace();
    QVERIFY(m_fixture->valid());
}

void DownloadCommandTest::cleanup() {
    m_device.reset();
    m_fixture.reset();
}

bool DownloadCommandTest::startDevice(devsim::Options options, ProtocolParameters params) {
    options.linkPath = m_fixture->com1Path();
    m_device.emplace(std::move(options));
    if (!m_device->start()) {
        qWarning("device: %s", m_device->error().c_str());
        return false;
    }
    return m_fixture->writeSettings(params, m_fixture->com1Path());
}

void DownloadCommandTest::download(TestFrame& frame) {
    frame.postDownloadCommand();
    QCoreApplication::sendPostedEvents(&frame);
}

bool DownloadCommandTest::waitForRelease(TestFrame& frame) {
    return QTest::qWaitFor([&] { return !frame.isDownloading(); },
                           static_cast<int>(kDeadline.count()));
}

void DownloadCommandTest::aDownloadRunsFromThePromptToTheNormalEnd() {
    QVERIFY(startDevice());
    auto frame = m_fixture->makeFrame(patternImage(kQuickImageLength));
    QVERIFY(frame);

    bool pressedAtPrompt = false;
    ShowWatch<CUDownloadDialog> progress; // a quick run's progress dialog may come and go
    QStringList lines;
    Clock::time_point doneAt;
    ModalScript script;
    script
        .then<CUConnectModeDialog>(
            QStringLiteral("Continue enabled"),
            [](CUConnectModeDialog* d) { return d->continueButton()->isEnabled(); },
            [&](CUConnectModeDialog* d) {
                pressedAtPrompt = frame->isDownloading() && frame->downloadAction()->isChecked();
                d->continueButton()->click();
            })
        .then<CUDownloadEndDialog>(QStringLiteral("normal end"), [&](CUDownloadEndDialog* d) {
            lines = linesOf(d);
            d->doneButton()->click();
            doneAt = Clock::now();
        });
    script.start();
    download(*frame);
    script.stop();
    QVERIFY2(script.problems().isEmpty(), qPrintable(script.problems().join('\n')));

    QVERIFY(pressedAtPrompt);
    QVERIFY(progress.seen);
    std::uint32_t sum = 0;
    for (std::size_t a = 0x100; a < kQuickImageLength; ++a)
        sum += frame->image()[a];
    const QString hex = QStringLiteral("%1").arg(sum, 8, 16, QLatin1Char('0')).toUpper();
    QCOMPARE(lines.size(), 4);
    QVERIFY2(
        QRegularExpression(QStringLiteral("^Total time : 00:00:0\\d$")).match(lines[0]).hasMatch(),
        qPrintable(lines[0]));
    QCOMPARE(lines[1], QStringLiteral("normal end."));
    QCOMPARE(lines[2], QStringLiteral(" PC Side Write Data Checksum : 0x") + hex);
    QCOMPARE(lines[3], QStringLiteral(" Checksum RX[0x86] data:0x%1,0x%2,0x%3,0x%4")
                           .arg(hex.mid(0, 2), hex.mid(2, 2), hex.mid(4, 2), hex.mid(6, 2)));
    const auto written = m_device->sim().readMemory(0x100, 0x1000);
    QVERIFY(std::equal(written.begin(), written.end(), frame->image().begin() + 0x100));

    // The port is closed; the command stays taken for half a second.
    QVERIFY(!frame->downloadContext()->connected.load());
    QVERIFY(m_device->waitUntilClosed());
    QVERIFY(frame->isDownloading());
    QVERIFY(frame->releaseTimerId() != 0);
    QVERIFY(waitForRelease(*frame));
    QVERIFY(Clock::now() - doneAt >= kReleaseAtLeast);
    QVERIFY(!frame->downloadAction()->isChecked());
    QVERIFY(frame->downloadAction()->isEnabled());
}

void DownloadCommandTest::eachFailureEndsInTheErrorDialogWithItsCause_data() {
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("detail"); // a pattern
    QTest::newRow("sector size refused") << 0 << "Error occured in sector size."
                                         << "^ RX\\[0x84\\] data:0x05$";
    QTest::newRow("erase refused") << 1 << "Erase Error."
                                   << "^ RX\\[0x88\\] data:0x01$";
    QTest::newRow("write refused") << 2 << "Write Error."
                                   << "^ RX\\[0x83\\] data:0x01$";
    QTest::newRow("erase never answered") << 3 << "RX[0x85] timeout : Option code 53"
                                          << "^$";
    QTest::newRow("nonsense answers") << 4 << "Protocol Error."
                                      << "^ RX:0xA5 0x5A $";
    QTest::newRow("device vanishes mid-write") << 5 << "RS232C Error."
                                               << "^ \\S.*$";
    QTest::newRow("full checksum differs")
        << 6 << "Checksum error occured. Code 72."
        << "^ RX\\[0x86\\] data:(0x[0-9A-F]{2},){3}0x[0-9A-F]{2}$";
}

void DownloadCommandTest::eachFailureEndsInTheErrorDialogWithItsCause() {
    QFETCH(int, fault);
    QFETCH(QString, error);
    QFETCH(QString, detail);
    devsim::Options options;
    ProtocolParameters params = quickParameters();
    params.Code51 = params.Code52 = params.Code53 = params.Code54 = 500;
    switch (fault) {
    case 0:
        options.fail = devsim::Step::Sector;
        break;
    case 1:
        options.fail = devsim::Step::Erase;
        break;
    case 2:
        options.fail = devsim::Step::Write;
        break;
    case 3:
        options.silent.add(devsim::Step::Erase);
        break;
    case 4:
        options.garbage = devsim::StepSet::afterConnect();
        break;
    case 5:
        options.hangupAfter = 2000;
        break;
    case 6:
        params.CheckCode72 = 1;
        params.Code72 = 0x12345678;
        break;
    }
    QVERIFY(startDevice(std::move(options), params));
    auto frame = m_fixture->makeFrame(patternImage(kQuickImageLength));
    QVERIFY(frame);

    QStringList lines;
    ModalScript script;
    continueAtThePrompt(script).then<CUDownloadErrorDialog>(QStringLiteral("error end"),
                                                            [&](CUDownloadErrorDialog* d) {
                                                                lines = linesOf(d);
                                                                QTest::keyClick(d, Qt::Key_Escape);
                                                            });
    script.start();
    download(*frame);
    script.stop();
    QVERIFY2(script.problems().isEmpty(), qPrintable(script.problems().join('\n')));

    QCOMPARE(lines.size(), 4);
    QVERIFY2(lines[0].startsWith(QStringLiteral("stop time : 00:00:")), qPrintable(lines[0]));
    QCOMPARE(lines[1], error);
    QVERIFY2(QRegularExpression(detail).match(lines[2]).hasMatch(), qPrintable(lines[2]));
    QCOMPARE(lines[3], QString());
    QVERIFY(!frame->downloadContext()->connected.load());
    QVERIFY(frame->isDownloading());
    QVERIFY(waitForRelease(*frame));
}

void DownloadCommandTest::cancelOnThePromptClosesThePortAndHoldsTheCommandHalfASecond() {
    devsim::Options options;
    options.silent.add(devsim::Step::Connect);
    QVERIFY(startDevice(std::move(options)));
    auto frame = m_fixture->makeFrame(patternImage(kQuickImageLength));
    QVERIFY(frame);

    bool openAtPrompt = false;
    Clock::time_point cancelledAt;
    ModalScript script;
    script.then<CUConnectModeDialog>(
        QStringLiteral("device polled"),
        [&](CUConnectModeDialog*) { return m_device->sim().status().frameCount >= 3; },
        [&](CUConnectModeDialog* d) {
            openAtPrompt = frame->downloadContext()->connected.load();
            d->cancelButton()->click();
            cancelledAt = Clock::now();
        });
    script.start();
    download(*frame);
    script.stop();
    QVERIFY2(script.problems().isEmpty(), qPrintable(script.problems().join('\n')));
    QVERIFY(openAtPrompt);
    QVERIFY(!frame->downloadContext()->connected.load());
    QVERIFY(m_device->waitUntilClosed());

    // Releasing: F5 is ignored, the button stays pressed.
    QVERIFY(frame->isDownloading());
    QVERIFY(frame->downloadAction()->isChecked());
    ModalScript ignored; // any window opening now is a fault
    ignored.start();
    frame->OnDownloadKey();
    QCoreApplication::sendPostedEvents(frame.get());
    ignored.stop();
    QVERIFY2(ignored.problems().isEmpty(), qPrintable(ignored.problems().join('\n')));

    QVERIFY(waitForRelease(*frame));
    QVERIFY(Clock::now() - cancelledAt >= kReleaseAtLeast);
    QVERIFY(!frame->downloadAction()->isChecked());

    // Released: F5 starts the next download of the same image.
    ModalScript again;
    again.then<CUConnectModeDialog>(QStringLiteral("prompt again"),
                                    [](CUConnectModeDialog* d) { d->reject(); });
    again.start();
    frame->OnDownloadKey();
    QCoreApplication::sendPostedEvents(frame.get());
    again.stop();
    QVERIFY2(again.problems().isEmpty(), qPrintable(again.problems().join('\n')));
    QVERIFY(again.finished());

    // A click on the toolbar button is not held back by the release timer.
    QVERIFY(frame->isDownloading());
    ModalScript clicked;
    clicked.then<CUConnectModeDialog>(QStringLiteral("prompt from the toolbar"),
                                      [](CUConnectModeDialog* d) { d->reject(); });
    clicked.start();
    frame->downloadAction()->trigger();
    clicked.stop();
    QVERIFY2(clicked.problems().isEmpty(), qPrintable(clicked.problems().join('\n')));
    QVERIFY(clicked.finished());
    QVERIFY(waitForRelease(*frame));
}

void DownloadCommandTest::cancelDuringTheWriteEndsWithoutAResult() {
    devsim::Options options;
    options.rate = 9600;
    ProtocolParameters params = quickParameters();
    params.Code30 = 20; // polls no faster than the line echoes them
    QVERIFY(startDevice(std::move(options), params));
    auto frame = m_fixture->makeFrame(patternImage(kQuickImageLength));
    QVERIFY(frame);

    bool endedInTheClick = false;
    ModalScript script;
    continueAtThePrompt(script).then<CUDownloadDialog>(
        QStringLiteral("write under way"),
        [&](CUDownloadDialog*) {
            return writeUnderWay(*frame) && m_device->sim().status().bytesReceived > 600;
        },
        [&](CUDownloadDialog* d) {
            d->cancelButton()->click();
            endedInTheClick = d->ended() && !d->isVisible();
        });
    script.start();
    download(*frame);
    script.stop();
    // No result dialog: the script refuses any other window.
    QVERIFY2(script.problems().isEmpty(), qPrintable(script.problems().join('\n')));
    QVERIFY(script.finished());
    QVERIFY(endedInTheClick);
    QCOMPARE(frame->downloadContext()->resultCode.load(), 0);
    QVERIFY(!frame->downloadContext()->connected.load());
    QVERIFY(m_device->waitUntilClosed());
    for (const auto& f : m_device->sim().frames())
        QVERIFY(f.command != devsim::command::kChecksum);
    QVERIFY(waitForRelease(*frame));
}

void DownloadCommandTest::anImageTooShortReportsItWithoutOpeningThePort() {
    // COM1 leads nowhere: an attempt to open it would show "RS232C connection failed."
    QVERIFY(m_fixture->writeSettings(quickParameters(), m_fixture->com1Path()));
    auto frame = m_fixture->makeFrame(patternImage(kQuickImageLength - 2)); // one byte short
    QVERIFY(frame);

    QStringList first;
    QStringList second;
    ModalScript script;
    script.then<CUDownloadErrorDialog>(QStringLiteral("file length error"),
                                       [&](CUDownloadErrorDialog* d) {
                                           first = linesOf(d);
                                           d->doneButton()->click();
                                       });
    script.start();
    download(*frame);
    script.stop();
    QVERIFY2(script.problems().isEmpty(), qPrintable(script.problems().join('\n')));
    QCOMPARE(first, (QStringList{QStringLiteral("stop time : 00:00:00"),
                                 QStringLiteral("File Length Error : Option Code 63."),
                                 QStringLiteral(" File Length:0x0010FE."), QString()}));
    QCOMPARE(frame->downloadContext()->resultCode.load(), 8);
    QVERIFY(!frame->isDownloading());
    QCOMPARE(frame->releaseTimerId(), 0);

    // F5 works at once.
    ModalScript again;
    again.then<CUDownloadErrorDialog>(QStringLiteral("reported again"),
                                      [&](CUDownloadErrorDialog* d) {
                                          second = linesOf(d);
                                          d->reject();
                                      });
    again.start();
    frame->OnDownloadKey();
    QCoreApplication::sendPostedEvents(frame.get());
    again.stop();
    QVERIFY2(again.problems().isEmpty(), qPrintable(again.problems().join('\n')));
    QCOMPARE(second, first);
}

void DownloadCommandTest::aPortThatCannotBeOpenedIsReportedAndTheButtonNeverShowsPressed() {
    QVERIFY(m_fixture->writeSettings(quickParameters(), m_fixture->com1Path()));
    auto frame = m_fixture->makeFrame(patternImage(kQuickImageLength));
    QVERIFY(frame);

    QString text;
    QString caption;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool pressed = true;
    ModalScript script;
    script.then<QMessageBox>(QStringLiteral("message"), [&](QMessageBox* box) {
        text = box->text();
        caption = box->windowTitle();
        icon = box->icon();
        pressed = frame->downloadAction()->isChecked() || frame->isDownloading();
        box->accept();
    });
    script.start();
    download(*frame);
    script.stop();
    QVERIFY2(script.problems().isEmpty(), qPrintable(script.problems().join('\n')));
    // The system's line, then the reason the command line gives as well.
    QCOMPARE(text.section('\n', 0, 0), QStringLiteral("RS232C connection failed."));
    QVERIFY2(text.section('\n', 1).endsWith(QStringLiteral(": No such file or directory")),
             qPrintable(text));
    QCOMPARE(caption, QStringLiteral("Pexo"));
    QCOMPARE(icon, QMessageBox::Critical);
    QVERIFY(!pressed);
    QVERIFY(!frame->isDownloading());
    QCOMPARE(frame->releaseTimerId(), 0);
}

void DownloadCommandTest::closingTheMainWindowDuringADownloadLeavesNoPortOpen() {
    ProtocolParameters params = quickParameters();
    params.Code31 = 1000; // a write of three seconds: the window closes during it
    QVERIFY(startDevice({}, params));
    auto frame = m_fixture->makeFrame(patternImage(kQuickImageLength));
    QVERIFY(frame);

    bool closedMidWrite = false;
    ModalScript script;
    continueAtThePrompt(script)
        .then<CUDownloadDialog>(
            QStringLiteral("write under way"),
            [&](CUDownloadDialog*) { return writeUnderWay(*frame); },
            [&](CUDownloadDialog*) {
                frame->close();
                closedMidWrite = !frame->isVisible();
            })
        .then<CUDownloadEndDialog>(QStringLiteral("normal end"),
                                   [](CUDownloadEndDialog* d) { d->doneButton()->click(); });
    script.start();
    download(*frame);
    script.stop();
    QVERIFY2(script.problems().isEmpty(), qPrintable(script.problems().join('\n')));
    QVERIFY(closedMidWrite);
    QVERIFY(!frame->downloadContext()->connected.load());
    QVERIFY(m_device->waitUntilClosed());
    frame.reset(); // destroyed during its release time: the timer goes with it
}

QTEST_MAIN(DownloadCommandTest)
#include "DownloadCommandTest.moc"
