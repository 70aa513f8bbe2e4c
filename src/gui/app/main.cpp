#include "gui/app/CPexoApp.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    // No application display name: the desktop would append it to the window title.
    pexo::gui::CPexoApp pexo(QApplication::arguments().mid(1));
    if (!pexo.InitInstance())
        return 1;
    const int status = QApplication::exec();
    pexo.ExitInstance();
    return status;
}
