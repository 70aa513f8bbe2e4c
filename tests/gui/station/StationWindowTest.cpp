#include "gui/station/StationWindow.h"

#include "core/image/ArchiverModule.h"
#include "core/settings/ProfileFile.h"
#include "core/station/ImageDigest.h"
#include "gui/app/AppTexts.h"
#include "gui/app/CUStatusBar.h"
#include "gui/station/StationPortList.h"
#include "gui/station/StationTile.h"
#include "support/GuiTestEnvironment.h"
#include "support/GuiTestHost.h"
#include "support/MainFrameFixture.h"
#include "support/ModalDriver.h"
#include "support/SimulatedDevice.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <sys/resource.h>

using namespace pexo;
using namespace pexo::gui;
using namespace pexo::gui::test;
using pexo::test::ModalDriver;
using namespace std::chrono_literals;

namespace {

const int kWait = static_cast<int>(kDeadline.count());

// One per line; a line that is no JSON (a torn record) reads as a discarded value.
std::vector<nlohmann::json> readRecords(const QString& path) {
    std::vector<nlohmann::json> records;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return records;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (!line.isEmpty())
            records.push_back(nlohmann::json::parse(line.toStdString(), nullptr, false));
    return records;
}

unsigned passedOn(const StationTile* tile) {
    const auto match = QRegularExpression(QStringLiteral("^passed (\\d+) / failed (\\d+)$"))
                           .match(tile->countsLabel()->text());
    return match.hasMatch() ? match.captured(1).toUInt() : 0;
}

QColor background(const QWidget* w) {
    return w->palette().color(QPalette::Window);
}

} // namespace

// The station window driven as an operator does, with its ports on simulated devices that
// are put on the line device after device (--replug).
class StationWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void theMenuItemAndF6OpenOneWindow();
    void startIsRefusedWithTheReason_data();
    void startIsRefusedWithTheReason();
    void startWaitsWhileTheMainWindowDownloads();
    void anArchiveOpensAsTheStationsOwnImage();
    void twoPortsFlashDeviceAfterDeviceUntilStopped();
    void aFailingDeviceShowsRedWithItsLine();
    void aPortThatVanishesIsWaitedFor();
    void aRecordThatCannotBeWrittenStopsTheStation();
    void closingWhileRunningAsksAndQuittingStopsFirst();

private:
    // The main window with the quick image, built from settings with this Code 30.
    void makeFrame(std::int32_t code30 = quickParameters().Code30);
    // A simulated device whose line is reached through `name` in the scratch folder.
    QString startDevice(const QString& name, devsim::Options options);
    StationWindow& openStation();
    // Ticks the ports, a record file in the scratch folder, a short gone-after; Start.
    void start(StationWindow& station, const QStringList& ports);
    bool waitUntilStopped(StationWindow& station) {
        return QTest::qWaitFor([&] { return !station.isRunning(); }, kWait);
    }

    std::optional<MainFrameFixture> m_fixture;
    std::optional<QTemporaryDir> m_scratch;
    std::unique_ptr<TestFrame> m_frame;
    std::vector<std::unique_ptr<SimulatedDevice>> m_devices;
    int m_sounds = 0;
};

void StationWindowTest::init() {
    m_fixture.emplace();
    QVERIFY(m_fixture->valid());
    m_scratch.emplace();
    m_sounds = 0;
}

void StationWindowTest::cleanup() {
    m_frame.reset(); // stops a station still running
    m_devices.clear();
    m_scratch.reset();
    m_fixture.reset();
}

void StationWindowTest::makeFrame(std::int32_t code30) {
    ProtocolParameters params = quickParameters();
    params.Code30 = code30;
    QVERIFY(m_fixture->writeSettings(params, m_fixture->com1Path()));
    m_frame = m_fixture->makeFrame(patternImage(kQuickImageLength));
    QVERIFY(m_frame);
}

QString StationWindowTest::startDevice(const QString& name, devsim::Options options) {
    const QString link = m_scratch->filePath(name);
    options.linkPath = link.toStdString();
    m_devices.push_back(std::make_unique<SimulatedDevice>(std::move(options)));
    if (!m_devices.back()->start()) {
        qWarning("device: %s", m_devices.back()->error().c_str());
        return {};
    }
    return link;
}

StationWindow& StationWindowTest::openStation() {
    m_frame->stationAction()->trigger();
    StationWindow* station = m_frame->stationWindow();
    station->setSoundPlayer([this] { ++m_sounds; });
    return *station;
}

void StationWindowTest::start(StationWindow& station, const QStringList& ports) {
    for (const QString& port : ports)
        QVERIFY(!station.portList().addPort(port));
    station.setRecordFile(m_scratch->filePath(QStringLiteral("records.jsonl")));
    station.goneAfterEdit()->setText(QStringLiteral("200"));
    QVERIFY(station.startButton()->isEnabled());
    station.startButton()->setFocus();
    QTest::keyClick(station.startButton(), Qt::Key_Space);
    QVERIFY(station.isRunning());
}

void StationWindowTest::theMenuItemAndF6OpenOneWindow() {
    makeFrame();
    QAction* item = m_frame->stationAction();
    QCOMPARE(m_frame->menuBar()->actions().at(1)->menu()->actions().constLast(), item);
    QCOMPARE(item->text(), QStringLiteral("Production &Station...(F6)"));
    QCOMPARE(item->statusTip(), QStringLiteral("Flash device after device on several ports"));

    item->trigger();
    QPointer<StationWindow> station = m_frame->stationWindow();
    QVERIFY(station);
    QVERIFY(QTest::qWaitForWindowExposed(station));
    QCOMPARE(station->windowTitle(), QStringLiteral("Production Station - Pexo"));
    QVERIFY(!station->isModal());
    // The main window's image is the default one.
    QCOMPARE(station->imageLabel()->text(),
             QStringLiteral("/tmp/pexo-test-image.bin  (the main window's)"));

    const QString absent = m_scratch->filePath(QStringLiteral("absent"));
    QVERIFY(!station->portList().addPort(absent));
    station->close();
    QVERIFY(!station->isVisible());
    m_frame->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_frame.get()));
    QTest::keyClick(m_frame.get(), Qt::Key_F6);
    QVERIFY(station->isVisible());
    QCOMPARE(m_frame->stationWindow(), station.data()); // one at a time
    QCOMPARE(m_frame->findChildren<StationWindow*>().size(), 1);

    // The port ticked is remembered from the close, for the next window.
    delete station.data();
    m_frame->stationAction()->trigger();
    QCOMPARE(m_frame->stationWindow()->portList().chosen(),
             std::vector<std::string>{absent.toStdString()});
    QCOMPARE(m_frame->stationWindow()->portList().description(absent.toStdString()),
             QStringLiteral("not present now"));
}

void StationWindowTest::startIsRefusedWithTheReason_data() {
    QTest::addColumn<int>("code30");
    QTest::addColumn<QString>("retries");
    QTest::addColumn<QString>("goneAfter");
    QTest::addColumn<QString>("recordFile");
    QTest::addColumn<bool>("ticked");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("focus");
    const QString records = QStringLiteral("records.jsonl");
    QTest::newRow("retries above 9")
        << 5 << "10"
        << "2000" << records << true << "Please enter an integer between 0 and 9."
        << "retries";
    QTest::newRow("retries no number") << 5 << "two"
                                       << "2000" << records << true << "Please enter an integer."
                                       << "retries";
    QTest::newRow("gone-after too short")
        << 5 << "0"
        << "99" << records << true << "Please enter an integer between 100 and 600000."
        << "goneAfter";
    QTest::newRow("gone-after under three polls")
        << 100 << "0"
        << "250" << records << true << "Please enter at least 300 ms: three polls"
        << "goneAfter";
    QTest::newRow("no port ticked") << 5 << "0"
                                    << "2000" << records << false << "Please tick the ports to use."
                                    << "otherPort";
    QTest::newRow("record file in no folder")
        << 5 << "0"
        << "2000"
        << "missing/records.jsonl" << true
        << "The record file cannot be written, so the station does not start."
        << "";
}

void StationWindowTest::startIsRefusedWithTheReason() {
    QFETCH(int, code30);
    QFETCH(QString, retries);
    QFETCH(QString, goneAfter);
    QFETCH(QString, recordFile);
    QFETCH(bool, ticked);
    QFETCH(QString, message);
    QFETCH(QString, focus);
    makeFrame(code30);
    StationWindow& station = openStation();
    QVERIFY(QTest::qWaitForWindowActive(&station));
    if (ticked)
        QVERIFY(!station.portList().addPort(m_scratch->filePath(QStringLiteral("absent"))));
    station.retriesEdit()->setText(retries);
    station.goneAfterEdit()->setText(goneAfter);
    station.setRecordFile(m_scratch->filePath(recordFile));

    ModalDriver driver;
    driver.expectMessageBox();
    station.OnStart();
    QVERIFY(driver.waitUntilAnswered());
    QCOMPARE(driver.boxes().size(), 1);
    QVERIFY2(driver.boxes().at(0).text.startsWith(message), qPrintable(driver.boxes().at(0).text));
    QVERIFY(driver.unexpected().isEmpty());
    QVERIFY(!station.isRunning());
    QVERIFY(m_frame->downloadAction()->isEnabled());
    if (!focus.isEmpty()) {
        QVERIFY(station.focusWidget());
        QCOMPARE(station.focusWidget()->objectName(), focus);
    }
}

void StationWindowTest::startWaitsWhileTheMainWindowDownloads() {
    makeFrame();
    StationWindow& station = openStation();
    QVERIFY(!station.startButton()->isEnabled()); // no port ticked
    QVERIFY(!station.portList().addPort(m_scratch->filePath(QStringLiteral("absent"))));
    QVERIFY(station.startButton()->isEnabled());
    m_frame->setDownloading(true);
    QVERIFY(!station.startButton()->isEnabled());
    station.OnStart(); // F-key or a queued click while disabled: nothing starts
    QVERIFY(!station.isRunning());
    m_frame->setDownloading(false);
    QVERIFY(station.startButton()->isEnabled());
}

void StationWindowTest::anArchiveOpensAsTheStationsOwnImage() {
    makeFrame();
    auto archiver = ArchiverModule::load(PEXO_BIN_DIR "/DLL/UNLHA32.DLL");
    QVERIFY(archiver);
    StationWindow station(*m_frame, archiver.get());
    station.show();
    const QString good = QStringLiteral(PEXO_TEST_SOURCE_DIR "/fixtures/lha/bytes10.lzh");
    QVERIFY(station.openArchive(good));
    QCOMPARE(station.imageLabel()->text(), good);
    QFile unpacked(station.imageLabel()->toolTip());
    QVERIFY(unpacked.open(QIODevice::ReadOnly));
    const QByteArray bytes = unpacked.readAll();
    const std::string digest = sha256Hex(
        {reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())});
    QCOMPARE(station.findChild<QLabel*>(QStringLiteral("stationImageFacts"))->text(),
             QStringLiteral("Length: 10 bytes (0xa)   SHA-256: ") +
                 QString::fromStdString(digest.substr(0, 12)));

    ModalDriver driver;
    driver.expectMessageBox();
    QVERIFY(!station.openArchive(
        QStringLiteral(PEXO_TEST_SOURCE_DIR "/fixtures/lha/not-an-archive.lzh")));
    QVERIFY(driver.waitUntilAnswered());
    QVERIFY2(driver.boxTexts().at(0).contains(QStringLiteral("not an LHA archive")),
             qPrintable(driver.boxTexts().join('|')));
    QCOMPARE(station.imageLabel()->text(), good); // the image opened before stays
    QVERIFY(station.isEnabled());
}

void StationWindowTest::twoPortsFlashDeviceAfterDeviceUntilStopped() {
    devsim::Options replugged;
    replugged.replug = 300ms;
    replugged.onFixture = 100ms;
    const QString a = startDevice(QStringLiteral("devA"), replugged);
    const QString b = startDevice(QStringLiteral("devB"), replugged);
    QVERIFY(!a.isEmpty() && !b.isEmpty());
    makeFrame();
    StationWindow& station = openStation();
    QSignalSpy running(&station, &StationWindow::runningChanged);
    start(station, {a, b});

    QVERIFY(!m_frame->downloadAction()->isEnabled()); // the ports are the station's
    QVERIFY(!station.startButton()->isEnabled());
    QVERIFY(!station.openButton()->isEnabled());
    QCOMPARE(station.tiles().size(), std::size_t{2});
    QVERIFY(QTest::qWaitFor(
        [&] { return passedOn(station.tiles()[0]) >= 2 && passedOn(station.tiles()[1]) >= 2; },
        3 * kWait));
    for (const StationTile* tile : station.tiles()) {
        QVERIFY(QTest::qWaitFor([&] { return tile->verdict() == StationTile::Verdict::Passed; }));
        QVERIFY2(tile->resultLabel()->text().startsWith(QStringLiteral("Passed 00:00:")),
                 qPrintable(tile->resultLabel()->text()));
        QCOMPARE(background(tile), QColor(0xC6, 0xEF, 0xC6));
    }

    // At the keyboard: the focus went from Start to Stop, and comes back once stopped.
    QVERIFY(station.stopButton()->hasFocus());
    QTest::keyClick(station.stopButton(), Qt::Key_Space);
    QVERIFY(!station.stopButton()->isEnabled());
    QVERIFY(waitUntilStopped(station));
    QVERIFY(station.startButton()->hasFocus());
    QCOMPARE(running.size(), 2);
    QVERIFY(m_frame->downloadAction()->isEnabled());
    for (const StationTile* tile : station.tiles())
        QVERIFY(tile->stateLabel()->text().startsWith(QStringLiteral("Stopped")));

    // One record per try, each under its port; a try cut short by the stop is "cancelled".
    const auto records = readRecords(m_scratch->filePath(QStringLiteral("records.jsonl")));
    unsigned passed = 0;
    std::map<std::string, unsigned> perPort;
    for (const auto& record : records) {
        ++perPort[record.at("port").get<std::string>()];
        if (record.at("result") == 0)
            ++passed;
        else
            QCOMPARE(record.at("result").get<std::string>(), std::string("cancelled"));
        QCOMPARE(record.at("image_length").get<unsigned>(), unsigned{kQuickImageLength});
    }
    QCOMPARE(passed, passedOn(station.tiles()[0]) + passedOn(station.tiles()[1]));
    QVERIFY(records.size() <= passed + 2);
    QCOMPARE(perPort.size(), std::size_t{2});
    QVERIFY(perPort.count(a.toStdString()) && perPort.count(b.toStdString()));
    QVERIFY2(station.totalsLabel()->text().startsWith(
                 QStringLiteral("Passed: %1   Failed: 0   Yield: 100.0 %   Devices per hour: ")
                     .arg(passed)),
             qPrintable(station.totalsLabel()->text()));

    // The ports ticked are remembered, beside the sections already there.
    const std::string ini =
        m_fixture->com1Path().substr(0, m_fixture->com1Path().size() - 4) + "INI/PexoUDef.INI";
    const IniDocument settings = readProfile(ini);
    QCOMPARE(settings.get("Station UserSettings", "Port1").value_or(""), a.toStdString());
    QCOMPARE(settings.get("Station UserSettings", "Port2").value_or(""), b.toStdString());
    QCOMPARE(settings.get("Param UserSettings", "Code30").value_or(""), std::string("5"));
    delete m_frame->stationWindow();
    StationWindow& again = openStation();
    QCOMPARE(again.portList().chosen(),
             (std::vector<std::string>{a.toStdString(), b.toStdString()}));
}

void StationWindowTest::aFailingDeviceShowsRedWithItsLine() {
    devsim::Options failing;
    failing.fail = devsim::Step::Erase;
    failing.replug = 300ms;
    failing.onFixture = 100ms;
    const QString port = startDevice(QStringLiteral("failing"), failing);
    QVERIFY(!port.isEmpty());
    makeFrame();
    StationWindow& station = openStation();
    station.retriesEdit()->setText(QStringLiteral("1"));
    start(station, {port});

    const StationTile* tile = station.tiles().at(0);
    QVERIFY(QTest::qWaitFor([&] { return tile->countsLabel()->text() == "passed 0 / failed 1"; },
                            2 * kWait));
    QCOMPARE(tile->verdict(), StationTile::Verdict::Failed);
    QCOMPARE(tile->resultLabel()->text(), QStringLiteral("Failed: Erase Error."));
    QVERIFY2(tile->resultLabel()->toolTip().startsWith(QStringLiteral(" RX[0x")),
             qPrintable(tile->resultLabel()->toolTip()));
    QCOMPARE(background(tile), QColor(0xF6, 0xC4, 0xC4));
    QCOMPARE(m_sounds, 2); // the try and its retry
    station.OnStop();
    QVERIFY(waitUntilStopped(station));

    const auto records = readRecords(m_scratch->filePath(QStringLiteral("records.jsonl")));
    QVERIFY(records.size() >= 2);
    for (std::size_t i = 0; i < 2; ++i) {
        QCOMPARE(records[i].at("result").get<int>(), 6);
        QCOMPARE(records[i].at("attempt").get<unsigned>(), unsigned(i + 1));
    }
    QVERIFY(station.totalsLabel()->text().startsWith(
        QStringLiteral("Passed: 0   Failed: 1   Yield: 0.0 %")));
}

void StationWindowTest::aPortThatVanishesIsWaitedFor() {
    const QString port = startDevice(QStringLiteral("adapter"), {});
    QVERIFY(!port.isEmpty());
    makeFrame();
    StationWindow& station = openStation();
    start(station, {port});
    const StationTile* tile = station.tiles().at(0);
    QVERIFY(QTest::qWaitFor([&] { return passedOn(tile) == 1; }, kWait));

    // The adapter pulled: its line hangs up and its path goes.
    m_devices.clear();
    QVERIFY(QTest::qWaitFor(
        [&] {
            return tile->stateLabel()->text() ==
                   QStringLiteral("The port is gone: waiting for it to come back");
        },
        kWait));
    QVERIFY(station.isRunning());

    // Plugged in again, with a device on it that answers once it has powered up (after
    // longer than gone-after): flashed as the next one.
    devsim::Options late;
    late.deafPolls = 100;
    QCOMPARE(startDevice(QStringLiteral("adapter"), late), port);
    QVERIFY2(QTest::qWaitFor([&] { return passedOn(tile) == 2; }, kWait),
             qPrintable(tile->stateLabel()->text() + " | " + tile->stateLabel()->toolTip()));
    station.OnStop();
    QVERIFY(waitUntilStopped(station));
}

void StationWindowTest::aRecordThatCannotBeWrittenStopsTheStation() {
    devsim::Options replugged;
    replugged.replug = 300ms;
    replugged.onFixture = 100ms;
    const QString port = startDevice(QStringLiteral("dev"), replugged);
    QVERIFY(!port.isEmpty());
    makeFrame();
    StationWindow& station = openStation();
    start(station, {port});
    const QString file = m_scratch->filePath(QStringLiteral("records.jsonl"));
    QVERIFY(QTest::qWaitFor([&] { return readRecords(file).size() == 1; }, kWait));

    // The file may grow no more: the next record's write fails (as on a full disk).
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit unlimited{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &unlimited), 0);
    rlimit full = unlimited;
    full.rlim_cur = static_cast<rlim_t>(QFileInfo(file).size());
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &full), 0);
    const bool stopped = waitUntilStopped(station);
    ::setrlimit(RLIMIT_FSIZE, &unlimited);
    std::signal(SIGXFSZ, previous);
    QVERIFY(stopped);

    auto* box = station.findChild<QMessageBox*>(QStringLiteral("recordLostBox"));
    QVERIFY(box);
    QVERIFY2(
        box->text().startsWith(QStringLiteral("The record file %1 cannot be written").arg(file)),
        qPrintable(box->text()));
    QVERIFY2(box->text().contains(QStringLiteral("\"port\":\"%1\"").arg(port)),
             qPrintable(box->text())); // the record itself, for the operator to keep
    QCOMPARE(station.tiles().at(0)->stateLabel()->text(),
             QStringLiteral("Stopped: the record could not be written"));
    const auto records = readRecords(file);
    QCOMPARE(records.size(), std::size_t{1}); // nothing half written
    QVERIFY(!records[0].is_discarded());
    box->close();
}

void StationWindowTest::closingWhileRunningAsksAndQuittingStopsFirst() {
    QApplication::setQuitOnLastWindowClosed(false);
    const QString port = startDevice(QStringLiteral("dev"), {});
    QVERIFY(!port.isEmpty());
    makeFrame();
    StationWindow& station = openStation();
    start(station, {port});

    ModalDriver driver;
    QStringList asked;
    const auto answer = [&](QMessageBox::StandardButton button) {
        return [&asked, button](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            asked << (box ? box->text() : modal->windowTitle());
            box ? box->button(button)->click() : ModalDriver::closeModal(modal);
        };
    };
    driver.expect(answer(QMessageBox::No));
    station.close();
    QVERIFY(driver.waitUntilAnswered());
    QCOMPARE(asked, QStringList{"Stop the station?"});
    QVERIFY(station.isVisible());
    QVERIFY(station.isRunning());

    driver.expect(answer(QMessageBox::Yes));
    station.close();
    QVERIFY(driver.waitUntilAnswered());
    QVERIFY(waitUntilStopped(station));
    QVERIFY(QTest::qWaitFor([&] { return !station.isVisible(); }, kWait));
    QVERIFY(m_devices[0]->waitUntilClosed());

    // Quitting: the station stops first, without a question, and the main window then closes.
    m_frame->stationAction()->trigger();
    start(station, {});
    QVERIFY(m_frame->close() == false);
    QVERIFY(m_frame->isVisible());
    QVERIFY(QTest::qWaitFor([&] { return !m_frame->isVisible(); }, kWait));
    QVERIFY(!station.isRunning());
    QVERIFY(m_devices[0]->waitUntilClosed());
    QCOMPARE(asked.size(), 2);
    QVERIFY(driver.unexpected().isEmpty());
}

PEXO_GUI_TEST_MAIN(StationWindowTest)
#include "StationWindowTest.moc"
