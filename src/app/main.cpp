// Entry point: the application "Ostrevo" with its three windows, created in order.
#include "app/Main.h"
#include "app/About.h"
#include "app/Application.h"
#include "app/Fonts.h"
#include "app/QtNoise.h"
#include "app/QuitOnSignal.h"
#include "app/SettingsFile.h"
#include "config/RememberedSettings.h"
#include "graph/Graphic.h"
#include "link/ComSetup.h"
#include "widgets/Artwork.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char** argv) {
    // --help and --version are answered first: they need no display and create no window.
    if (const int status = AnswerInfoOptions(argc, argv); status >= 0) return status;
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
    KeepQtNoiseQuiet();
    OstrevoApplication app(argc, argv);
    UseProgramSettingsFile(); // ~/.config/ostrevo-setup/ostrevo-setup.conf
    // The window's icon: the installed one (menu entry and icon theme), else the graph's own picture.
    QGuiApplication::setDesktopFileName(QStringLiteral("ostrevo-setup"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("ostrevo-setup"), ActionIcon(8)));
    RegisterProgramFonts();
    QApplication::setFont(ProgramFont());

    TMee mee;
    // What the user should know without being asked: a log or settings file that could not be used.
    ErrorLog::SetNotice([&mee](const std::string& text) { mee.ShowNotice(QString::fromStdString(text)); });
    remembered::SetNotice([&mee](const QString& text) { mee.ShowNotice(text); });
    TFormCom formCom(&mee);
    TGraphics graphics(&mee);
    mee.setCompanions(&formCom, &graphics);
    // The last port, time-out and graph placement come back from the last run.
    formCom.rememberBetweenRuns();
    graphics.rememberBetweenRuns();
    mee.show();
    QuitOnSignal quitOnSignal([&mee] { mee.link().Exit(); }); // killed while connected: the port is released
    return app.exec();
}
