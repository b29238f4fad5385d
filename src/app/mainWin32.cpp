// Entry point on Windows: the program with its three windows, created in order, and with --demo its training
// detector inside the program (a virtual port with the line's real timing: no driver, no second program).
#include "app/About.h"
#include "app/DemoMenu.h"
#include "app/Instance.h"
#include "app/MainWindow.h"
#include "app/Program.h"
#include "app/QtNoise.h"
#include "app/VirtualDemo.h"
#include "config/ConfigFile.h"
#include "config/ParameterOffers.h"
#include "dialogs/Application.h"
#include "errorlog/StateFolder.h"
#include "graph/Fonts.h"
#include "graph/GraphWindow.h"
#include "remembered/ProgramSettingsFile.h"
#include "seriallink/PortDialog.h"

#include <QApplication>
#include <cstdio>
#include <cstring>
#include <windows.h>

namespace {

// A program of the Windows subsystem has no console: --help and --version are printed into the console it was
// started from, when there is one and its output is not already sent elsewhere (a pipe, a file).
void printIntoParentConsole() {
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (out != nullptr && out != INVALID_HANDLE_VALUE && ::GetFileType(out) != FILE_TYPE_UNKNOWN) return;
    if (!::AttachConsole(ATTACH_PARENT_PROCESS)) return;
    std::freopen("CONOUT$", "w", stdout);
    std::freopen("CONOUT$", "w", stderr);
}

} // namespace

int main(int argc, char** argv) {
    // --help and --version are answered first: they create no window.
    for (int i = 1; i < argc; ++i)
        for (const char* option : {"--help", "-h", "--version", "-v"})
            if (std::strcmp(argv[i], option) == 0) printIntoParentConsole();
    if (const int status = app::AnswerInfoOptions(argc, argv); status >= 0) return status;
    app::KeepQtNoiseQuiet();
    dialogs::OstrevoApplication application(argc, argv);
    // The program's own controls (level bars, gauges, track bars with their selections) are drawn through the
    // style and made for Fusion, as on Linux; -style NAME still chooses another.
    bool styleChosen = false;
    for (int i = 1; i < argc; ++i)
        styleChosen = styleChosen || std::strcmp(argv[i], "-style") == 0 || std::strncmp(argv[i], "-style=", 7) == 0;
    if (!styleChosen) QApplication::setStyle(QStringLiteral("Fusion"));
    // %APPDATA%\ostrevo-setup\ostrevo-setup.ini
    remembered::UseProgramSettingsFile();
    graph::RegisterProgramFonts();
    graph::UseProgramFont();

    const bool demoRequested = app::DemoRequested(argc, argv);
    app::Program program(demoRequested ? app::VirtualDemo::Roots() : protocol::PortRoots{});
    app::MainWindow& mainWindow = program.mainWindow();
    seriallink::PortDialog& portDialog = program.portDialog();
    graph::GraphWindow& graphics = program.graphWindow();
    // The first parameters read from a detector in each run are kept (File > Revert to Arrival Settings), in the
    // state folder; the virtual detector's are not kept as a file, where they would push a real detector's out.
    if (!demoRequested)
        mainWindow.configFiles().offers().setArrivalFolder(QString::fromStdString(errorlog::StateFolder()) +
                                                           QStringLiteral("arrival"));
    app::VirtualDemo demo;
    if (demoRequested) demo.Attach(mainWindow, portDialog);    // the demo's port is not remembered for the next run
    else portDialog.rememberBetweenRuns();                     // the last port and time-out come back from the last run
    graphics.rememberBetweenRuns();                            // ... and the graph's place
    mainWindow.rememberBetweenRuns(app::TakeInstanceNumber()); // ... and the window's
    mainWindow.show();
    const int status = application.exec();
    mainWindow.link().Exit(); // the port is closed before the program ends
    return status;
}
