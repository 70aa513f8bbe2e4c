#include "core/protocol/DownloadContext.h"
#include "gui/download/CUConnectModeDialog.h"
#include "gui/download/CUDownloadDialog.h"
#include "support/DownloadSteps.h"
#include "support/GuiTestHost.h"
#include "support/MainFrameFixture.h"
#include "support/ModalScript.h"
#include "support/SimulatedDevice.h"

#include <QPushButton>
#include <QtTest>

using namespace pexo;
using namespace pexo::gui;
using namespace pexo::gui::test;

// The application quitting in the middle of a download (the session ending, say). Every
// event loop ends at once, so the download must end without its dialogs. A process can
// quit only once: this binary holds this one case.
class DownloadQuitTest : public QObject {
    Q_OBJECT
private slots:
    void quittingDuringTheWriteStopsTheThreadAndClosesThePort();
};

void DownloadQuitTest::quittingDuringTheWriteStopsTheThreadAndClosesThePort() {
    MainFrameFixture fixture;
    QVERIFY(fixture.valid());
    ProtocolParameters params = quickParameters();
    params.Code31 = 1000; // a write of three seconds: the quit comes during it
    devsim::Options options;
    options.linkPath = fixture.com1Path();
    SimulatedDevice device(std::move(options));
    QVERIFY(device.start());
    QVERIFY(fixture.writeSettings(params, fixture.com1Path()));
    auto frame = fixture.makeFrame(patternImage(kQuickImageLength));
    QVERIFY(frame);

    CUDownloadDialog* progress = nullptr;
    ModalScript script;
    continueAtThePrompt(script).then<CUDownloadDialog>(
        QStringLiteral("write under way"), [&](CUDownloadDialog*) { return writeUnderWay(*frame); },
        [&](CUDownloadDialog* d) {
            progress = d;
            // quit() only acts on a running exec(); exit() ends every loop, as a quit does.
            QCoreApplication::exit(0);
        });
    script.start();
    frame->postDownloadCommand();
    QCoreApplication::sendPostedEvents(frame.get());
    script.stop();

    QVERIFY2(script.problems().isEmpty(), qPrintable(script.problems().join('\n')));
    QVERIFY(progress != nullptr);
    // Ended as a Cancel: no result, the port closed behind the stopped thread.
    QCOMPARE(frame->downloadContext()->resultCode.load(), 0);
    QVERIFY(!frame->downloadContext()->connected.load());
    QVERIFY(device.waitUntilClosed());
    for (const auto& f : device.sim().frames())
        QVERIFY(f.command != devsim::command::kChecksum);
    frame.reset();
}

QTEST_MAIN(DownloadQuitTest)
#include "DownloadQuitTest.moc"
