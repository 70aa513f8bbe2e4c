#include "gui/app/AboutDialog.h"
#include "gui/app/CMainFrame.h"
#include "gui/app/CUStatusBar.h"
#include "gui/app/WindowPlacement.h"
#include "gui/settings/CUParameterSettingsDialog.h"
#include "gui/settings/CURS232CSettingsDialog.h"
#include "support/GuiTestEnvironment.h"
#include "support/ModalDriver.h"
#include "support/ProgramFolderTest.h"

#include <QAction>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QSignalSpy>
#include <QStatusTipEvent>
#include <QToolBar>
#include <QToolButton>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

using namespace pexo;
using namespace pexo::gui;
using pexo::test::ModalDriver;
using pexo::test::ProgramFolder;

namespace {

// The main window with its Download command counted, and optionally played out.
class CountingFrame : public CMainFrame {
public:
    int downloads = 0;
    std::function<void(CountingFrame&)> run;
    void OnDownload() override {
        ++downloads;
        if (run)
            run(*this);
    }
    void loadImage() {
        imageFile() = "/tmp/PexoTEMP/IMAGE.BIN";
        imageSize() = 10;
        OnUpdateDownload();
    }
};

// A download that opens its port, runs to its end and releases the command as it should.
void playDownload(CountingFrame& frame) {
    frame.setDownloading(true);
    if (frame.StartReleaseTimer(CMainFrame::kReleaseInterval) == 0)
        frame.setDownloading(false);
}

QStringList menuTexts(const QMenuBar* bar) {
    QStringList texts;
    for (QAction* menu : bar->actions()) {
        texts << menu->text();
        for (QAction* item : menu->menu()->actions())
            texts << (item->isSeparator() ? QStringLiteral("--") : "  " + item->text());
    }
    return texts;
}

} // namespace

class MainFrameTest : public pexo::test::ProgramFolderTest {
    Q_OBJECT

private slots:
    void placementArithmetic_data() {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<QRect>("expected"); // left, top, right, bottom as corners
        QTest::newRow("1024x768") << QSize(1024, 768) << QRect(QPoint(150, 113), QPoint(874, 655));
        QTest::newRow("800x600") << QSize(800, 600) << QRect(QPoint(117, 88), QPoint(683, 512));
        QTest::newRow("640x480") << QSize(640, 480) << QRect(QPoint(94, 71), QPoint(546, 409));
        QTest::newRow("odd") << QSize(1366, 767) << QRect(QPoint(200, 112), QPoint(1166, 654));
        QTest::newRow("tiny") << QSize(1, 1) << QRect(QPoint(0, 0), QPoint(0, 0));
    }

    void placementArithmetic() {
        QFETCH(QSize, screen);
        QFETCH(QRect, expected);
        const PlacedRect r = placeWindowOnScreen(screen);
        QCOMPARE(QRect(QPoint(r.left, r.top), QPoint(r.right, r.bottom)), expected);
        const QRect g = placedGeometry(QRect(QPoint(1920, 0), screen));
        QCOMPARE(g.topLeft(), QPoint(1920 + r.left, r.top));
        QCOMPARE(g.size(), QSize(r.width(), r.height()));
    }

    void windowIsPlacedTitledAndFurnished() {
        CMainFrame frame;
        const QRect screen = frame.screen()->geometry();
        QCOMPARE(frame.geometry(), placedGeometry(screen));
        QCOMPARE(frame.windowTitle(), QStringLiteral("Untitled - Pexo"));
        frame.setDocumentTitle(QStringLiteral("/cache/pexo/TEMP/PexoTEMP/A[*].BIN"));
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QCOMPARE(frame.windowHandle()->title(),
                 QStringLiteral("/cache/pexo/TEMP/PexoTEMP/A[*].BIN - Pexo"));

        QCOMPARE(
            menuTexts(frame.menuBar()),
            (QStringList{"&File", "  &Open and Download...\tCtrl+O", "--", "  E&xit", "&Port",
                         "  RS232C &Settings...(F3)", "  Production &Station...(F6)", "&Option",
                         "  &Paramater Settings...(F4)", "&Help", "  &About Pexo..."}));
        const QList<QAction*> tools = frame.toolBarWidget().actions();
        QCOMPARE(tools.size(), 2);
        QCOMPARE(tools.at(0), frame.openAction());
        QCOMPARE(tools.at(1), frame.downloadAction());
        QCOMPARE(frame.openAction()->toolTip(), QStringLiteral("Open and Download(Ctrl+O)"));
        QCOMPARE(frame.downloadAction()->toolTip(), QStringLiteral("Download(F5)"));
        QCOMPARE(frame.openAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
        QVERIFY(!frame.toolBarWidget().isMovable());
        QVERIFY(frame.downloadContext() != nullptr);

        CUStatusBar& bar = frame.statusBarWidget();
        QCOMPARE(bar.messageText(), QStringLiteral("Ready"));
        QStatusTipEvent prompt(QStringLiteral("Quit the application"));
        QApplication::sendEvent(&frame, &prompt);
        QCOMPARE(bar.messageText(), QStringLiteral("Quit the application"));
        QStatusTipEvent none{QString()};
        QApplication::sendEvent(&frame, &none);
        QCOMPARE(bar.messageText(), QStringLiteral("Ready"));
    }

    void keysAndMenuOpenTheirDialogs() {
        CMainFrame frame;
        frame.show();
        frame.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&frame));
        ModalDriver driver;
        QStringList titles;
        auto close = [&titles](QWidget* modal) {
            titles << modal->windowTitle();
            ModalDriver::closeModal(modal);
        };
        driver.expect(close);
        QTest::keyClick(&frame, Qt::Key_F3);
        QVERIFY(driver.waitUntilAnswered());
        driver.expect(close);
        // The offscreen platform does not hand the activation back when a dialog closes.
        frame.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&frame));
        QTest::keyClick(&frame, Qt::Key_F4);
        QVERIFY(driver.waitUntilAnswered());
        for (const char* name : {"actionRs232c", "actionParameter", "actionAbout"}) {
            driver.expect(close);
            frame.findChild<QAction*>(QLatin1String(name))->trigger();
            QVERIFY(driver.waitUntilAnswered());
        }
        QCOMPARE(titles, (QStringList{"RS232C Settings", "Paramater Settings", "RS232C Settings",
                                      "Paramater Settings", "About Pexo"}));
        QVERIFY(driver.unexpected().isEmpty());

        AboutDialog about;
        QStringList lines;
        for (const QLabel* label : about.findChildren<QLabel*>())
            if (!label->text().isEmpty())
                lines << label->text();
        QVERIFY(lines.contains("Pexo Downloader Win32"));
        QVERIFY(lines.contains("Version 1.0C"));
        QCOMPARE(lines.size(), 3);
        QCOMPARE(about.okButton()->text(), QStringLiteral("OK"));
    }

    void f5WithoutAnImageAsksForAFile() {
        CountingFrame frame;
        QSignalSpy open(&frame, &CMainFrame::openRequested);
        frame.show();
        frame.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&frame));
        QVERIFY(!frame.downloadAction()->isEnabled());
        QTest::keyClick(&frame, Qt::Key_F5);
        QTRY_COMPARE(open.count(), 1);
        // A Download command with no image is dropped.
        frame.postDownloadCommand();
        QTRY_COMPARE(open.count(), 1);
        QApplication::processEvents();
        QCOMPARE(frame.downloads, 0);
    }

    void f5StartsOneDownloadAndIsIgnoredUntilReleased() {
        CountingFrame frame;
        frame.run = playDownload;
        frame.show();
        frame.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&frame));
        frame.loadImage();
        QVERIFY(frame.downloadAction()->isEnabled());
        QVERIFY(!frame.downloadAction()->isChecked());

        QTest::keyClick(&frame, Qt::Key_F5);
        QCOMPARE(frame.downloads, 0); // posted, not sent
        QTRY_COMPARE(frame.downloads, 1);
        QVERIFY(frame.isDownloading());
        QVERIFY(frame.releaseTimerId() != 0);
        QVERIFY(frame.downloadAction()->isChecked());
        QVERIFY(frame.downloadAction()->isEnabled());
        // A running timer is left alone.
        QCOMPARE(frame.StartReleaseTimer(5000), frame.releaseTimerId());

        QTest::keyClick(&frame, Qt::Key_F5);
        QTest::keyClick(&frame, Qt::Key_F5);
        QTRY_VERIFY_WITH_TIMEOUT(!frame.isDownloading(), 10000);
        QCOMPARE(frame.downloads, 1);
        QCOMPARE(frame.releaseTimerId(), 0);
        QVERIFY(!frame.downloadAction()->isChecked());

        QTest::keyClick(&frame, Qt::Key_F5);
        QTRY_COMPARE(frame.downloads, 2);
        QTRY_VERIFY_WITH_TIMEOUT(!frame.isDownloading(), 10000);
    }

    void toolbarButtonIsOnlyRefusedDuringADownload() {
        CountingFrame frame;
        frame.run = playDownload;
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        frame.loadImage();
        auto* button = qobject_cast<QToolButton*>(
            frame.toolBarWidget().widgetForAction(frame.downloadAction()));
        QVERIFY(button);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(frame.downloads, 1);
        QVERIFY(frame.downloadAction()->isChecked()); // pressed while releasing
        // During the half second the button still goes straight to the download.
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(frame.downloads, 2);
        QVERIFY(frame.downloadAction()->isChecked());
        QVERIFY(frame.StopReleaseTimer() == 1);
        QCOMPARE(frame.StopReleaseTimer(), 1);
        frame.setDownloading(false);
        QVERIFY(!frame.downloadAction()->isChecked());
    }

    void noSecondDownloadFromInsideARunningOne() {
        CountingFrame frame;
        frame.loadImage();
        ModalDriver driver;
        // The download's dialogs run event loops; a command queued before must wait.
        bool queuedCommandCameRound = false;
        frame.run = [&](CountingFrame& f) {
            f.setDownloading(true);
            f.postDownloadCommand();
            // Queued events come round in order: once this one has run, so has the command.
            QMetaObject::invokeMethod(
                &f, [&] { queuedCommandCameRound = true; }, Qt::QueuedConnection);
            driver.expect([&](QWidget* modal) {
                QTRY_VERIFY(queuedCommandCameRound);
                ModalDriver::closeModal(modal);
            });
            QDialog prompt(&f);
            prompt.exec();
            f.setDownloading(false);
        };
        frame.postDownloadCommand();
        QTRY_COMPARE(frame.downloads, 1);
        QVERIFY(driver.waitUntilAnswered());
        QVERIFY(queuedCommandCameRound);
        QCOMPARE(frame.downloads, 1);
    }

    void statusBarPlacesTheProgressBehindTheText() {
        CMainFrame frame;
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        CUStatusBar& bar = frame.statusBarWidget();
        QProgressBar* progress = bar.progressBar();
        QVERIFY(!progress->isVisible());

        const QString path = QStringLiteral("/cache/pexo/TEMP/PexoTEMP/IMAGE.BIN");
        const QRect pane = bar.paneRect();
        const int textWidth = QFontMetrics(bar.font()).horizontalAdvance(path);
        frame.showProgress("/cache/pexo/TEMP/PexoTEMP/IMAGE.BIN", true);
        frame.setProgressRange(524288 / 100);
        frame.setProgressPosition(1000);
        QVERIFY(progress->isVisible());
        QCOMPARE(bar.messageText(), path);
        QCOMPARE(progress->geometry(),
                 QRect(QPoint(pane.left() + textWidth + 16, pane.top()), pane.bottomRight()));
        QCOMPARE(progress->maximum(), 5242);
        QCOMPARE(progress->value(), 1000);

        // Resizing does not move it.
        const QRect placed = progress->geometry();
        frame.resize(frame.width() - 100, frame.height());
        QTRY_VERIFY(bar.paneRect() != pane);
        QCOMPARE(progress->geometry(), placed);

        // Without a text: 16 pixels after the pane's left edge, the text unchanged.
        frame.showProgress(std::nullopt, true);
        QCOMPARE(progress->geometry().left(), bar.paneRect().left() + 16);
        QCOMPARE(bar.messageText(), path);

        frame.showProgress(std::nullopt, false);
        QVERIFY(!progress->isVisible());
        QCOMPARE(progress->value(), 0);
        QCOMPARE(bar.messageText(), QString());

        // A text that leaves no room keeps the bar hidden.
        frame.showProgress(std::string(500, 'W'), true);
        QVERIFY(!progress->isVisible());
        frame.showProgress(std::nullopt, false);
    }

    void messagesFromAnotherThreadWaitForTheOperator() {
        CMainFrame frame;
        ModalDriver driver;
        driver.expectMessageBox();
        std::atomic<bool> returned{false};
        std::thread worker([&] {
            frame.showMessage("Read error", MessageIcon::Stop);
            returned = true;
        });
        QVERIFY(driver.waitUntilAnswered());
        QTRY_VERIFY(returned.load());
        worker.join();
        QCOMPARE(driver.boxes().size(), 1);
        QCOMPARE(driver.boxes().at(0).title, QStringLiteral("Pexo"));
        QCOMPARE(driver.boxes().at(0).text, QStringLiteral("Read error"));
        QCOMPARE(driver.boxes().at(0).icon, QMessageBox::Critical);
    }
};

PEXO_GUI_TEST_MAIN(MainFrameTest)
#include "MainFrameTest.moc"
