// Measures the status poll rate of the real program (main window, poll cycle, serial layer)
// against the virtual detector paced at 19200 baud, with its CPU use and resident memory, on the
// platform it is started on (offscreen unless QT_QPA_PLATFORM says otherwise; scripts/bench also runs
// it on a real X server, Xvfb, and there at a display scale of 2).
#include "ProcessFigures.h"
#include "app/MainWindow.h"
#include "app/Program.h"
#include "commission/Commissioning.h"
#include "dialogs/UserDialogs.h"
#include "graph/Fonts.h"
#include "graph/GraphWindow.h"
#include "seriallink/PortDialog.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <fstream>
#include <string>
#include <sys/resource.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    graph::RegisterProgramFonts();
    graph::UseProgramFont();
    const QString simPath = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("build/ostrevo-detector-sim");
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 20;
    const bool recordWalk = argc > 3 && QString::fromLocal8Bit(argv[3]) == QLatin1String("--record");

    QProcess sim;
    sim.start(simPath, {});
    if (!sim.waitForStarted(5000) || !sim.waitForReadyRead(5000)) {
        std::fprintf(stderr, "the virtual detector did not start: %s\n", qPrintable(simPath));
        return 1;
    }
    const QString port = QString::fromUtf8(sim.readLine()).trimmed();

    std::vector<QString> messages;
    dialogs::SetMessageHandler([&](QWidget*, const QString& t) { messages.push_back(t); });
    app::Program program;
    app::MainWindow& mainWindow = program.mainWindow();
    seriallink::PortDialog& portDialog = program.portDialog();
    graph::GraphWindow& graphics = program.graphWindow();
    mainWindow.setEndProcess([](int) {});
    mainWindow.show();
    graphics.show(); // the VIEW tab and the graph window both shown, as an installer watches
    portDialog.portCombo()->setEditText(port);
    mainWindow.connectAction()->trigger();

    // Runs the event loop as the program does (sleeping between events) for a while.
    auto runFor = [](int ms) {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    };
    // Settle for a second (the read-back and the first polls), then count status replies.
    runFor(1000);
    QTemporaryDir recordings;
    if (recordWalk) {
        QString error;
        if (!mainWindow.commissioning().Recorder().Start(recordings.filePath(QStringLiteral("walk.csv")), error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
    }
    const auto repliesBefore = mainWindow.link().counters().GoodReplies;
    const double cpuBefore = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    runFor(seconds * 1000);
    const double wall = clock.elapsed() / 1000.0;
    const double cpu = cpuSeconds() - cpuBefore;
    const auto replies = mainWindow.link().counters().GoodReplies - repliesBefore;
    mainWindow.link().Disconnect();
    sim.terminate();
    sim.waitForFinished(3000);
    if (!messages.empty()) {
        std::fprintf(stderr, "polling stopped: %s\n", qPrintable(messages.front()));
        return 1;
    }

    const double rate = replies / wall;
    const double limit = 1.0 / (0.010 + 70 * 10 / 19200.0); // 10 ms pause + 70 bytes on the wire
    // Where the windows are painted: the offscreen raster, or a real X server (and at what scale).
    const qreal scale = mainWindow.devicePixelRatioF();
    const bool x11 = QGuiApplication::platformName() == QLatin1String("xcb");
    const QString platform = (x11 ? QStringLiteral("X11") : QGuiApplication::platformName()) +
                             (scale != 1 ? QStringLiteral(" at display scale %1").arg(scale) : QString());
    std::printf("status polls against the paced virtual detector, %s, VIEW tab and graph shown%s, %.1f s:\n",
                qPrintable(platform), recordWalk ? ", walk test recorded" : "", wall);
    std::printf("  %.2f per second, %.1f %% of the line limit of %.2f per second (target: at least 99.5 %%)\n", rate,
                100 * rate / limit, limit);
    // On a real X server every paint also goes through the X server; at display scale 2 it has four times
    // the pixels.
    const char* cpuTarget = !x11 ? "2.5" : scale > 1 ? "2" : "1.5";
    const char* memoryTarget = !x11 ? "40" : scale > 1 ? "52" : "40";
    std::printf("  CPU %.2f %% of one core while polling (target: at most %s %%)\n", 100 * cpu / wall, cpuTarget);
    std::printf("  resident memory %.1f MB (target: at most %s MB)\n", residentKiB() / 1024.0, memoryTarget);
    return 0;
}
