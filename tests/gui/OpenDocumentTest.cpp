#include "gui/app/CMainFrame.h"
#include "gui/app/CPexoApp.h"
#include "gui/app/CUStatusBar.h"
#include "gui/app/RecentFileList.h"
#include "gui/image/CPexoDoc.h"
#include "support/GuiTestEnvironment.h"
#include "support/ModalDriver.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QSignalSpy>
#include <QUrl>
#include <memory>

using namespace pexo;
using namespace pexo::gui;
using pexo::test::ModalDriver;
using pexo::test::ProgramFolder;

namespace {

QString fixture(const char* name) {
    return QStringLiteral(PEXO_TEST_SOURCE_DIR "/fixtures/lha/") + QLatin1String(name);
}

QString imagePath(const ProgramFolder& folder, const char* member) {
    return folder.scratch(QStringLiteral("windows/TEMP/PexoTEMP/")) + QLatin1String(member);
}

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The open's part ends where the download begins: the command is counted, not run.
class CountingFrame : public CMainFrame {
public:
    void OnDownload() override { emit downloadRequested(); }
};

void dropOn(QWidget* window, const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    const QPoint at = window->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &enter);
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &drop);
}

} // namespace

class OpenDocumentTest : public QObject {
    Q_OBJECT
    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<CPexoApp> m_app;
    std::unique_ptr<QSignalSpy> m_downloads;

    CMainFrame& frame() { return *m_app->mainFrame(); }

    void start(const QStringList& arguments = {}, bool* started = nullptr) {
        m_app = std::make_unique<CPexoApp>(arguments, [] {
            return std::unique_ptr<CMainFrame>(std::make_unique<CountingFrame>());
        });
        const bool ok = m_app->InitInstance();
        if (started)
            *started = ok;
        QVERIFY(m_app->mainFrame());
        m_downloads =
            std::make_unique<QSignalSpy>(m_app->mainFrame(), &CMainFrame::downloadRequested);
    }

private slots:
    void init() {
        m_folder = std::make_unique<ProgramFolder>();
        QSettings(QStringLiteral("Oskel Products"), QStringLiteral("Pexo")).clear();
    }
    void cleanup() {
        m_downloads.reset();
        m_app.reset();
        m_folder.reset();
    }

    void goodArchiveBecomesTheImageAndStartsADownload() {
        start();
        QCOMPARE(frame().windowTitle(), QStringLiteral("Untitled - Pexo"));
        QVERIFY(m_app->archiver());

        QVERIFY(m_app->OpenDocumentFile(fixture("bytes10.lzh")));
        const QString image = imagePath(*m_folder, "BYTES10.BIN");
        QCOMPARE(frame().windowTitle(), image + QStringLiteral(" - Pexo"));
        QCOMPARE(QString::fromStdString(frame().imageFile()), image);
        QCOMPARE(frame().imageSize(), 10u);
        const auto bytes = frame().imageBytes();
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                 fileBytes(image));
        QCOMPARE(m_app->document()->image().buffer().size(), 10u + 1024u);
        QCOMPARE(m_app->document()->GetPathName(), fixture("bytes10.lzh"));
        QVERIFY(frame().isEnabled());
        QVERIFY(!frame().statusBarWidget().progressBar()->isVisible());
        QCOMPARE(frame().statusBarWidget().messageText(), QString());
        QVERIFY(frame().downloadAction()->isEnabled());

        // The download starts from the event loop, once the open has finished.
        QCOMPARE(m_downloads->count(), 0);
        QTRY_COMPARE(m_downloads->count(), 1);
        QCOMPARE(m_app->recentFiles().files(), QStringList{fixture("bytes10.lzh")});
        QCOMPARE(QSettings(QStringLiteral("Oskel Products"), QStringLiteral("Pexo"))
                     .value(QStringLiteral("Recent File List/File1"))
                     .toString(),
                 fixture("bytes10.lzh"));
    }

    void theLastMemberIsTheImage() {
        start();
        QVERIFY(m_app->OpenDocumentFile(fixture("two-members.lzh")));
        QCOMPARE(QString::fromStdString(frame().imageFile()), imagePath(*m_folder, "IMAGE.BIN"));
        QCOMPARE(frame().imageSize(), 6000u);
    }

    void badArchiveIsReportedAndLeavesNoImage() {
        start();
        QVERIFY(m_app->OpenDocumentFile(fixture("bytes99.lzh")));
        QTRY_COMPARE(m_downloads->count(), 1);

        ModalDriver driver;
        driver.expectMessageBox();
        QVERIFY(!m_app->OpenDocumentFile(fixture("not-an-archive.lzh")));
        QVERIFY(driver.waitUntilAnswered());
        QCOMPARE(driver.boxes().size(), 1);
        // The system's line, then why.
        QCOMPARE(driver.boxes().at(0).text.section('\n', 0, 0),
                 QStringLiteral("File format error"));
        QVERIFY(driver.boxes().at(0).text.section('\n', 1).contains(
            QStringLiteral("not-an-archive.lzh")));
        QCOMPARE(driver.boxes().at(0).title, QStringLiteral("Pexo"));
        QCOMPARE(driver.boxes().at(0).icon, QMessageBox::Critical);
        QCOMPARE(frame().statusBarWidget().messageText(), QStringLiteral("Stop"));
        QCOMPARE(frame().windowTitle(), QStringLiteral("Untitled - Pexo"));
        QVERIFY(frame().imageFile().empty());
        QVERIFY(frame().imageBytes().empty());
        QVERIFY(!frame().downloadAction()->isEnabled());
        QVERIFY(frame().isEnabled());
        QCOMPARE(m_app->recentFiles().files(), QStringList{fixture("bytes99.lzh")});

        // A damaged member stops the run; the next good open starts clean.
        driver.expectMessageBox();
        QVERIFY(!m_app->OpenDocumentFile(fixture("corrupt-lh5.lzh")));
        QVERIFY(driver.waitUntilAnswered());
        QCOMPARE(driver.boxes().at(1).text.section('\n', 0, 0), QStringLiteral("Stop"));
        QVERIFY(m_app->OpenDocumentFile(fixture("bytes10.lzh")));
        QTRY_COMPARE(m_downloads->count(), 2);
        QVERIFY(driver.unexpected().isEmpty());
    }

    void withoutTheArchiverModuleTheOpenFails() {
        QFile::remove(m_folder->programPath() + QStringLiteral("DLL/UNLHA32.DLL"));
        start();
        QVERIFY(!m_app->archiver());
        ModalDriver driver;
        driver.expectMessageBox();
        QVERIFY(!m_app->OpenDocumentFile(fixture("bytes10.lzh")));
        QVERIFY(driver.waitUntilAnswered());
        QCOMPARE(driver.boxTexts(), QStringList{QStringLiteral("Failed to open document.")});
        QCOMPARE(frame().statusBarWidget().messageText(), fixture("bytes10.lzh"));
        QVERIFY(!frame().downloadAction()->isEnabled());
    }

    void commandLineArchive() {
        bool started = false;
        start({fixture("bytes10.lzh")}, &started);
        QVERIFY(started);
        QVERIFY(frame().isVisible());
        QVERIFY(frame().acceptDrops());
        QTRY_COMPARE(m_downloads->count(), 1);
        m_app.reset();

        // One that cannot be opened ends the program after its message.
        ModalDriver driver;
        driver.expectMessageBox();
        start({QStringLiteral("--"), fixture("not-an-archive.lzh")}, &started);
        QVERIFY(!started);
        QVERIFY(driver.waitUntilAnswered());
        QCOMPARE(driver.boxTexts().size(), 1);
        QCOMPARE(driver.boxTexts().at(0).section('\n', 0, 0), QStringLiteral("File format error"));
        QApplication::processEvents();
        QCOMPARE(m_downloads->count(), 0);
    }

    void droppedFilesAreOpened() {
        start();
        ModalDriver driver;
        driver.expectMessageBox();
        dropOn(&frame(), {QUrl::fromLocalFile(fixture("not-an-archive.lzh")),
                          QUrl::fromLocalFile(fixture("bytes10.lzh"))});
        QVERIFY(driver.waitUntilAnswered());
        QCOMPARE(driver.boxTexts().size(), 1);
        QCOMPARE(driver.boxTexts().at(0).section('\n', 0, 0), QStringLiteral("File format error"));
        QCOMPARE(frame().statusBarWidget().messageText(), QStringLiteral("Stop"));

        // Still usable: the next drop opens and downloads.
        dropOn(&frame(), {QUrl(QStringLiteral("https://example.org/a.lzh")),
                          QUrl::fromLocalFile(fixture("bytes10.lzh"))});
        QTRY_COMPARE(m_downloads->count(), 1);
        QCOMPARE(frame().imageSize(), 10u);
        QVERIFY(driver.unexpected().isEmpty());
    }

    void f5WithoutAnImageShowsTheOpenDialog() {
        start();
        frame().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&frame()));
        ModalDriver driver;
        QString title;
        QStringList filters;
        driver.expect([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            QVERIFY(dialog);
            title = dialog->windowTitle();
            filters = dialog->nameFilters();
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(name);
            name->setText(fixture("bytes10.lzh"));
            QMetaObject::invokeMethod(dialog, "accept");
        });
        QTest::keyClick(&frame(), Qt::Key_F5);
        QVERIFY(driver.waitUntilAnswered());
        QCOMPARE(title, QStringLiteral("Open"));
        QCOMPARE(filters, (QStringList{"Pexo Files (*.lzh)", "All Files (*.*)"}));
        QTRY_COMPARE(m_downloads->count(), 1);
        QCOMPARE(frame().imageSize(), 10u);
    }

    void recentFilesKeepTheLastFourNewestFirst() {
        RecentFileList list(4);
        for (const char* path : {"/a.lzh", "/b.lzh", "/c.lzh", "/d.lzh", "/b.lzh", "/e.lzh"})
            list.add(QString::fromLatin1(path));
        QCOMPARE(list.files(), (QStringList{"/e.lzh", "/b.lzh", "/d.lzh", "/c.lzh"}));
        RecentFileList again(4);
        again.load();
        QCOMPARE(again.files(), list.files());
    }
};

PEXO_GUI_TEST_MAIN(OpenDocumentTest)
#include "OpenDocumentTest.moc"
