#include "gui/app/CPexoApp.h"
#include "gui/app/InformationRequest.h"

#include <QApplication>
#include <csignal>
#include <cstdio>

int main(int argc, char* argv[]) {
    if (const auto text = pexo::gui::informationRequest(argc, argv)) {
        std::fputs(text->c_str(), stdout);
        return 0;
    }
    // A record file that reaches the file size limit must fail its write, not end the program
    // with the station's downloads in progress.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication application(argc, argv);
    // No application display name: the desktop would append it to the window title.
    pexo::gui::CPexoApp pexo(QApplication::arguments().mid(1));
    if (!pexo.InitInstance())
        return 1;
    const int status = QApplication::exec();
    pexo.ExitInstance();
    return status;
}
