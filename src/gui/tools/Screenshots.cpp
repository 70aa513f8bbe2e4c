// Takes the pictures in docs/screenshots: each window of the program as it first appears,
// grabbed from its own pixels. Run by scripts/screenshots under a virtual X server; reads
// the program folder's settings file and writes nothing but the pictures.

#include "gui/app/AboutDialog.h"
#include "gui/app/CMainFrame.h"
#include "gui/app/CPexoApp.h"
#include "gui/settings/CUDefaultSaveDialog.h"
#include "gui/settings/CUParameterSettingsDialog.h"
#include "gui/settings/CURS232CSettingsDialog.h"
#include "gui/tools/CaptionedGrab.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTextStream>
#include <QWidget>
#include <QWindow>
#include <functional>
#include <memory>

namespace {

using namespace pexo::gui;

struct Shot {
    const char* name;
    // Shows the window to be taken; the main window is up behind it.
    std::function<QWidget*(CMainFrame& frame)> show;
};

QWidget* showOwned(QWidget* window) {
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    return window;
}

const Shot kShots[] = {
    {"main-window", [](CMainFrame& frame) -> QWidget* { return &frame; }},
    {"rs232c-settings",
     [](CMainFrame& frame) -> QWidget* {
         frame.rs232cDialog().show();
         return &frame.rs232cDialog();
     }},
    {"parameter-settings",
     [](CMainFrame& frame) -> QWidget* {
         frame.parameterDialog().show();
         return &frame.parameterDialog();
     }},
    {"default-save",
     [](CMainFrame& frame) -> QWidget* { return showOwned(new CUDefaultSaveDialog(&frame)); }},
    {"about", [](CMainFrame& frame) -> QWidget* { return showOwned(new AboutDialog(&frame)); }},
};

bool waitUntilExposed(QWidget* window) {
    for (int i = 0; i < 200 && !window->windowHandle()->isExposed(); ++i)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    QApplication::processEvents();
    return window->windowHandle()->isExposed();
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    const QStringList args = QApplication::arguments();
    const QDir out(args.size() > 1 ? args.at(1) : QStringLiteral("."));
    QTextStream err(stderr);

    CPexoApp app({});
    if (!app.InitInstance())
        return 1;
    CMainFrame& frame = *app.mainFrame();
    waitUntilExposed(&frame);

    int failures = 0;
    for (const Shot& shot : kShots) {
        QWidget* window = shot.show(frame);
        const bool exposed = waitUntilExposed(window);
        const QString file = out.filePath(QString::fromLatin1(shot.name) + QStringLiteral(".png"));
        if (!exposed || !tools::withCaption(window).save(file)) {
            err << "screenshots: could not take " << shot.name << "\n";
            ++failures;
        } else {
            err << file << "\n";
        }
        if (window != &frame)
            window->close();
    }
    return failures == 0 ? 0 : 1;
}
