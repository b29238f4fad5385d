// Entry point: the program with its three windows, created in order, and with --demo its training detector.
#include "app/About.h"
#include "app/Demo.h"
#include "app/DemoMenu.h"
#include "app/Instance.h"
#include "app/MainWindow.h"
#include "app/Program.h"
#include "app/QtNoise.h"
#include "app/QuitOnSignal.h"
#include "config/ConfigFile.h"
#include "config/ParameterOffers.h"
#include "dialogs/Application.h"
#include "dialogs/UserDialogs.h"
#include "graph/Fonts.h"
#include "graph/GraphWindow.h"
#include "remembered/ProgramSettingsFile.h"
#include "remembered/Remembered.h"
#include "seriallink/PortDialog.h"
#include "widgets/Artwork.h"

#include <QApplication>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace app {
namespace {

void sayDemoCannotStart(QWidget* parent, const QString& error) {
    const QString text = QStringLiteral("The demo cannot start: %1.").arg(error);
    std::fprintf(stderr, "ostrevo-setup: %s\n", text.toLocal8Bit().constData());
    dialogs::ShowWarning(parent, text);
}

} // namespace
} // namespace app

int main(int argc, char** argv) {
    // --help and --version are answered first: they need no display and create no window.
    if (const int status = app::AnswerInfoOptions(argc, argv); status >= 0) return status;
    // With no display at all, say what to do and stop before Qt looks for one. The windows are
    // never served on the network from here (from the source tree, scripts/run provides a private
    // local view instead).
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fputs(app::NoDisplayText(app::RunFromBuildTree()).toLocal8Bit().constData(), stderr);
        return 1;
    }
    app::KeepQtNoiseQuiet();
    // A file size limit makes a write fail (and the program says so) instead of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    dialogs::OstrevoApplication application(argc, argv);
    // Taken from the start, so that a TERM while the program starts up (its demo detector started, say)
    // also ends it through the event loop, and everything it made goes with it.
    app::MainWindow* shownWindow = nullptr;
    app::QuitOnSignal quitOnSignal([&shownWindow] {
        if (shownWindow) shownWindow->link().Exit(); // killed while connected: the port is released
    });
    // ~/.config/ostrevo-setup/ostrevo-setup.conf
    remembered::UseProgramSettingsFile();
    QGuiApplication::setDesktopFileName(QStringLiteral("ostrevo-setup")); // its icon is set after the first paint
    graph::RegisterProgramFonts();
    graph::UseProgramFont();

    app::Program program;
    app::MainWindow& mainWindow = program.mainWindow();
    seriallink::PortDialog& portDialog = program.portDialog();
    graph::GraphWindow& graphics = program.graphWindow();
    // The first parameters read from a detector in each run are kept (File > Revert to Arrival Settings); the
    // virtual detector's are not kept as a file, where they would push a real detector's out.
    if (!app::DemoRequested(argc, argv))
        mainWindow.configFiles().offers().setArrivalFolder(QString::fromStdString(errorlog::StateLogFolder()) +
                                                           QStringLiteral("arrival"));
    app::Demo demo;
    if (app::DemoRequested(argc, argv)) {
        QString error;
        // Started now, its port awaited while the window shows.
        if (!demo.Launch(app::Demo::SimulatorPath(),
                         QString::fromStdString(errorlog::RunFilesFolder()) + "detector-sim.log", error)) {
            app::sayDemoCannotStart(nullptr, error);
            return 1;
        }
        demo.Attach(mainWindow, portDialog); // the demo's port is not remembered for the next run
        demo.ForwardInput(STDIN_FILENO);
    } else {
        portDialog.rememberBetweenRuns(); // the last port and time-out come back from the last run
    }
    graphics.rememberBetweenRuns();                            // ... and the graph's place
    mainWindow.rememberBetweenRuns(app::TakeInstanceNumber()); // ... and the window's
    shownWindow = &mainWindow;
    mainWindow.show();
    if (app::DemoRequested(argc, argv))
        demo.WhenReady([&mainWindow](const QString& error) {
            if (error.isEmpty()) return; // Connect follows
            app::sayDemoCannotStart(&mainWindow, error);
            QCoreApplication::exit(1);
        });
    const int status = application.exec();
    mainWindow.link().Exit(); // the port is closed before the demo's detector goes
    demo.Stop();
    return status;
}
