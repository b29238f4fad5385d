// Entry point: the application "Ostrevo" with its three windows, created in order.
#include "app/Main.h"
#include "app/Application.h"
#include "app/Fonts.h"
#include "graph/Graphic.h"
#include "link/ComSetup.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char** argv) {
    // With no display at all, say what to do and stop before Qt looks for one. The windows are
    // never served on the network from here: scripts/run provides a private local view instead.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fputs("ostrevo-setup: no display (DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM are unset); "
                   "run it from a desktop session, or start it with scripts/run, which provides a private "
                   "local view in a browser when there is no display.\n",
                   stderr);
        return 1;
    }
    OstrevoApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ostrevo"));
    RegisterProgramFonts();
    QApplication::setFont(ProgramFont());

    TMee mee;
    TFormCom formCom(&mee);
    TGraphics graphics(&mee);
    mee.setCompanions(&formCom, &graphics);
    mee.show();
    return app.exec();
}
