// Takes the production station's picture in docs/screenshots: four ports on simulated devices
// mid-run, one device passed, one failed, two downloading. Run by scripts/screenshots-station
// under a virtual X server, from a program folder with the archiver module and a settings file
// that holds the write range, with a pexo-devsim --replug behind each of the four links. The
// station opens the archive itself. Stops the station afterwards and fails if its ports do not
// all close.
//
//   pexo-station-screenshots OUT_FOLDER ARCHIVE PASSING FAILING DOWNLOADING DOWNLOADING

#include "gui/app/CMainFrame.h"
#include "gui/app/CPexoApp.h"
#include "gui/station/StationPortList.h"
#include "gui/station/StationTile.h"
#include "gui/station/StationWindow.h"
#include "gui/tools/CaptionedGrab.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTextStream>
#include <QTimer>
#include <QWindow>
#include <cstdio>
#include <functional>

namespace {

using namespace pexo;
using namespace pexo::gui;

bool waitFor(const std::function<bool()>& condition, int ms) {
    QDeadlineTimer deadline(ms);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

bool downloading(const StationTile* tile, int atLeast) {
    return tile->stateLabel()->text().startsWith(QStringLiteral("Downloading")) &&
           tile->progressBar()->value() >= atLeast * tile->progressBar()->maximum() / 100;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() != 7) {
        std::fprintf(stderr, "usage: pexo-station-screenshots OUT_FOLDER ARCHIVE PASSING FAILING "
                             "DOWNLOADING DOWNLOADING\n");
        return 2;
    }
    QTextStream err(stderr);
    const QDir out(args.at(1));

    // Nobody is there to answer a message box: it is printed and closed, and the run fails.
    int failures = 0;
    QTimer boxes;
    QObject::connect(&boxes, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            err << "screenshots: " << box->text() << "\n";
            ++failures;
            box->reject();
        }
    });
    boxes.start(100);

    CPexoApp app({});
    if (!app.InitInstance())
        return 1;
    CMainFrame& frame = *app.mainFrame();
    frame.OnStation();
    StationWindow& station = *frame.stationWindow();
    station.setSoundPlayer([] {});
    if (!station.openArchive(args.at(2))) {
        err << "screenshots: could not open " << args.at(2) << "\n";
        return 1;
    }
    for (int i = 3; i < 7; ++i)
        if (const auto refused = station.portList().addPort(args.at(i))) {
            err << "screenshots: " << *refused << "\n";
            return 1;
        }
    station.startButton()->click();
    if (!station.isRunning()) {
        err << "screenshots: the station did not start\n";
        return 1;
    }

    const auto& tiles = station.tiles();
    const bool ready = waitFor(
        [&] {
            return tiles[0]->verdict() == StationTile::Verdict::Passed &&
                   tiles[1]->verdict() == StationTile::Verdict::Failed &&
                   downloading(tiles[2], 45) && downloading(tiles[3], 15);
        },
        120000);
    const QString file = out.filePath(QStringLiteral("production-station.png"));
    if (!ready) {
        err << "screenshots: the devices did not reach the states to be shown\n";
        ++failures;
    } else if (!tools::withCaption(&station).save(file)) {
        err << "screenshots: could not write " << file << "\n";
        ++failures;
    } else {
        err << file << "\n";
    }

    // Stopped mid-download: the window must stay responsive and every port close.
    station.stopButton()->click();
    if (!waitFor([&] { return !station.isRunning(); }, 30000)) {
        err << "screenshots: the station did not stop\n";
        ++failures;
    }
    return failures == 0 ? 0 : 1;
}
