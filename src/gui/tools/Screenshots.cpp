// Takes the pictures in docs/screenshots: each window of the program as it first appears,
// grabbed from its own pixels. Run by scripts/screenshots under a virtual X server; reads
// the program folder's settings file and writes nothing but the pictures.

#include "devsim/FakeDeviceTree.h"
#include "gui/app/AboutDialog.h"
#include "gui/app/CMainFrame.h"
#include "gui/app/CPexoApp.h"
#include "gui/settings/CUDefaultSaveDialog.h"
#include "gui/settings/CUParameterSettingsDialog.h"
#include "gui/settings/CURS232CSettingsDialog.h"
#include "gui/tools/CaptionedGrab.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QPainter>
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

// The ports a workstation might have, in a simulated sysfs and /dev (the program's device
// tree seam): the picture shows how they are described without the hardware.
pexo::DeviceTree simulatedPorts(const QString& folder) {
    pexo::devsim::FakeDeviceTree fake(folder.toStdString());
    fake.addUsb({"ttyUSB0", "ftdi_sio", "0403", "6001", "FTDI", "FT232R USB UART", "A5XK3RJT",
                 "usb-FTDI_FT232R_USB_UART_A5XK3RJT-if00-port0",
                 "pci-0000:00:14.0-usb-0:2:1.0-port0", 2});
    fake.addUsb({"ttyUSB1", "cp210x", "10c4", "ea60", "Silicon Labs",
                 "CP2102 USB to UART Bridge Controller", "0001",
                 "usb-Silicon_Labs_CP2102_USB_to_UART_Bridge_Controller_0001-if00-port0",
                 "pci-0000:00:14.0-usb-0:3:1.0-port0", 3});
    fake.addUsb({"ttyACM0", "cdc_acm", "0483", "5740", "STMicroelectronics",
                 "STM32 Virtual ComPort", "6D8F3A5B4E50",
                 "usb-STMicroelectronics_STM32_Virtual_ComPort_6D8F3A5B4E50-if00", "", 4});
    fake.addUart({"ttyS0", "serial", 4, true});
    fake.addUart({"ttyS1", "serial", 0, true});
    return {fake.sysRoot(), fake.devRoot()};
}

// The dialog with its device list open: the list is a window of its own, drawn where it
// stands on the screen relative to the dialog.
QPixmap withOpenList(QWidget* dialog, QComboBox* list) {
    const QPixmap body = tools::withCaption(dialog);
    QWidget* popup = list->view()->window();
    const QPixmap shown = popup->grab();
    const int captionHeight = body.height() - dialog->height();
    const QPoint at =
        popup->geometry().topLeft() - dialog->geometry().topLeft() + QPoint(0, captionHeight);
    const QRect all = QRect(QPoint(0, 0), body.size()).united(QRect(at, shown.size()));
    QPixmap picture(all.size());
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.drawPixmap(-all.topLeft(), body);
    painter.drawPixmap(at - all.topLeft(), shown);
    return picture;
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

    // The RS232C dialog describing the ports it found, its list open at the first.
    const QString simulated = QDir::tempPath() + QStringLiteral("/simulated");
    QDir(simulated).removeRecursively();
    {
        CURS232CSettingsDialog ports(nullptr, simulatedPorts(simulated));
        ports.show();
        QComboBox* list = ports.devicePath();
        list->setCurrentIndex(0);
        const bool exposed = waitUntilExposed(&ports);
        list->showPopup();
        const bool listShown = waitUntilExposed(list->view()->window());
        const QString file = out.filePath(QStringLiteral("rs232c-ports.png"));
        if (!exposed || !listShown || !withOpenList(&ports, list).save(file)) {
            err << "screenshots: could not take rs232c-ports\n";
            ++failures;
        } else {
            err << file << "\n";
        }
        list->hidePopup();
    }
    QDir(simulated).removeRecursively();
    return failures == 0 ? 0 : 1;
}
