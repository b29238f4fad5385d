// Entry point: the program with its three windows, created in order, and with --demo its training detector.
#include "app/Main.h"
#include "app/About.h"
#include "app/Application.h"
#include "app/Demo.h"
#include "app/QtNoise.h"
#include "app/QuitOnSignal.h"
#include "app/SettingsFile.h"
#include "config/RememberedSettings.h"
#include "dialogs/UserDialogs.h"
#include "graph/Fonts.h"
#include "graph/Graphic.h"
#include "link/ComSetup.h"
#include "widgets/Artwork.h"

#include <QApplication>
#include <csignal>
#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv) {
    // --help and --version are answered first: they need no display and create no window.
    if (const int status = AnswerInfoOptions(argc, argv); status >= 0) return status;
    // With no display at all, say what to do and stop before Qt looks for one. The windows are
    // never served on the network from here (from the source tree, scripts/run provides a private
    // local view instead).
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fputs(NoDisplayText(RunFromBuildTree()).toLocal8Bit().constData(), stderr);
        return 1;
    }
    KeepQtNoiseQuiet();
    // A file size limit makes a write fail (and the program says so) instead of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
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
    Demo demo;
    if (Demo::Requested(argc, argv)) {
        QString error;
        if (!demo.Start(Demo::SimulatorPath(), QString::fromStdString(RunFilesFolder()) + "detector-sim.log", error)) {
            const QString text = QStringLiteral("The demo cannot start: %1.").arg(error);
            std::fprintf(stderr, "ostrevo-setup: %s\n", text.toLocal8Bit().constData());
            dialogs::ShowWarning(nullptr, text);
            return 1;
        }
        demo.Attach(mee, formCom); // the demo's port is not remembered for the next run
        demo.ForwardInput(STDIN_FILENO);
    } else {
        formCom.rememberBetweenRuns(); // the last port and time-out come back from the last run
    }
    graphics.rememberBetweenRuns(); // ... and the graph's place
    mee.show();
    QuitOnSignal quitOnSignal([&mee] { mee.link().Exit(); }); // killed while connected: the port is released
    const int status = app.exec();
    mee.link().Exit(); // the port is closed before the demo's detector goes
    demo.Stop();
    return status;
}
