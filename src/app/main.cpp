// Entry point: the application "Ostrevo" with its three windows, created in order.
#include "app/Main.h"
#include "app/Application.h"
#include "app/Fonts.h"
#include "graph/Graphic.h"
#include "link/ComSetup.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    // With no display at all, serve the windows over VNC instead of failing to start.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "vnc:size=1100x760:port=5900");
        std::fprintf(stderr, "No display found: Ostrevo SetUp is served over VNC. "
                             "Point a VNC viewer at this machine, port 5900 (display :0).\n");
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
