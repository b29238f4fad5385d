// Soak: the real program (main window, poll cycle, serial layer) against the real virtual detector
// for a number of minutes, with faults injected through the detector's standard input over and over
// (corrupt, drop, surplus, a slow and a dribbling detector, silent, unplug, frames of another length, a
// stalled transmitter, unplug with automatic reconnection), then the figures: the exchanges, the faults
// the link recovered from by itself, the "Error Time Out"s (where one is expected and where it is not),
// how soon a reconnecting link was back after its port, resident memory at the start and at the end, CPU. At the end it
// also weighs a message box against a plain Qt one. A benchmark that prints figures, not a test.
#include "ProcessFigures.h"
#include "app/MainWindow.h"
#include "app/Program.h"
#include "dialogs/Application.h"
#include "dialogs/UserDialogs.h"
#include "graph/Fonts.h"
#include "graph/GraphWindow.h"
#include "seriallink/PortDialog.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QScrollBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <malloc.h>
#include <map>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

// Runs the event loop as the program does (sleeping between events) for a while.
void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// One step of the schedule: commands at its start (and again every repeatMs), commands at its end.
struct Phase {
    const char* name;
    int seconds;
    std::vector<const char*> start;
    std::vector<const char*> end;
    int repeatMs = 0;           // the start commands again this often (0: once)
    bool expectTimeOut = false; // a detector that cannot be polled: "Error Time Out" is right, and
                                // the end commands go as soon as it came
    int tab = 0;                // the tab shown meanwhile
    bool reconnect = false;     // "Reconnect automatically" on: the link comes back without a box
};

const std::vector<Phase> Schedule = {
    {"clean", 10, {}, {}},
    {"corrupt every 5th reply", 10, {"corrupt 5"}, {"corrupt 0"}},
    {"drop every 7th reply", 10, {"drop 7"}, {"drop 0"}},
    {"3 surplus bytes every second", 10, {"surplus 3"}, {}, 1000},
    {"event memory, every 4th reply corrupt", 10, {"corrupt 4"}, {"corrupt 0"}, 0, false, 1},
    {"event memory, 3 surplus bytes every second", 10, {"surplus 3"}, {}, 1000, false, 1},
    {"slow detector (a byte a millisecond)", 10, {"dribble 1"}, {"dribble 0"}},
    {"dribbling detector (a byte every 40 ms)", 10, {"dribble 40"}, {"dribble 0"}, 0, true},
    {"silent for 3 s", 6, {"silent 3000"}, {}, 0, true},
    {"unplugged for 1.5 s", 6, {"unplug 1500"}, {}, 0, true},
    {"another firmware's frames (6 data bytes longer)", 6, {"lengthen 6"}, {"lengthen 0"}, 0, true},
    {"transmitter stalled for 0.3 s", 10, {"stall 300"}, {}},
    {"unplugged for 1.5 s, reconnecting by itself", 8, {"unplug 1500"}, {}, 0, false, 0, true},
};

// How much the heap grows per message box: the program's (through its message seam, over the main
// window) or a plain QMessageBox, each closed as soon as it shows.
double heapPerBoxKiB(QWidget* parent, bool plain, int boxes) {
    QTimer closer;
    closer.setInterval(1);
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) box->accept();
    });
    closer.start();
    auto show = [&](int i) {
        const QString text = QStringLiteral("Error Time Out %1").arg(i);
        if (plain) QMessageBox::information(nullptr, QStringLiteral("plain"), text);
        else dialogs::ShowMessage(parent, text);
    };
    for (int i = 0; i < 20; ++i) show(i); // caches filled first
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    malloc_trim(0);
    const double before = static_cast<double>(mallinfo2().uordblks);
    for (int i = 0; i < boxes; ++i) show(i);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    malloc_trim(0);
    return (static_cast<double>(mallinfo2().uordblks) - before) / boxes / 1024.0;
}

// Qt's notes about what the off-screen platform cannot do would bury the figures.
void quietPlatformNotes(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (text.contains(QLatin1String("This plugin does not support")) || text.contains(QLatin1String("XDG_RUNTIME_DIR")))
        return;
    std::fprintf(stderr, "%s%s\n", type == QtDebugMsg ? "" : "warning: ", qPrintable(text));
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietPlatformNotes);
    dialogs::OstrevoApplication app(argc, argv);
    graph::RegisterProgramFonts();
    graph::UseProgramFont();
    const QString simPath = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("build/ostrevo-detector-sim");
    const double minutes = argc > 2 ? std::atof(argv[2]) : 30.0;

    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyDETECTOR"));
    QProcess sim;
    sim.setStandardErrorFile(QProcess::nullDevice());
    sim.start(simPath, {QStringLiteral("--link"), link});
    if (!sim.waitForStarted(5000) || !sim.waitForReadyRead(5000)) {
        std::fprintf(stderr, "the virtual detector did not start: %s\n", qPrintable(simPath));
        return 1;
    }
    // Its answers are not needed; read so that they do not pile up.
    QObject::connect(&sim, &QProcess::readyReadStandardOutput, [&] { sim.readAllStandardOutput(); });
    sim.readAllStandardOutput();
    auto command = [&](const char* line) {
        sim.write(line);
        sim.write("\n");
    };

    const Phase* phase = nullptr;
    std::map<std::string, int> timeOuts; // "Error Time Out" by the phase it came in
    int expectedTimeOuts = 0, unexpectedTimeOuts = 0, otherMessages = 0;
    dialogs::SetMessageHandler([&](QWidget*, const QString& text) {
        if (!text.startsWith(QLatin1String("Error Time Out"))) {
            ++otherMessages;
            std::fprintf(stderr, "message: %s\n", qPrintable(text));
            return;
        }
        ++timeOuts[phase ? phase->name : "start"];
        if (phase && phase->expectTimeOut) ++expectedTimeOuts;
        else ++unexpectedTimeOuts;
    });
    app::Program program(protocol::PortRoots{"/nonexistent", "/nonexistent"});
    app::MainWindow& mainWindow = program.mainWindow();
    seriallink::PortDialog& portDialog = program.portDialog();
    mainWindow.setEndProcess([](int) {});
    mainWindow.setErrorLogFolder(dir.path().toStdString());
    mainWindow.show();
    portDialog.portCombo()->setEditText(link);
    mainWindow.connectAction()->trigger();
    seriallink::PollCycle& cycle = mainWindow.link();
    int reconnects = 0;
    std::map<std::string, int> injected;
    // While a phase reconnects by itself: when its port came back, and how long the link took after.
    std::vector<double> backAfterMs;
    QElapsedTimer sinceReturn;
    bool portGone = false;
    QTimer watch;
    watch.setInterval(5);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const bool there = QFileInfo::exists(link);
        if (!there) portGone = true;
        if (portGone && there && !sinceReturn.isValid()) sinceReturn.start();
        if (sinceReturn.isValid() && cycle.State() == seriallink::LinkState::Polling) {
            backAfterMs.push_back(static_cast<double>(sinceReturn.nsecsElapsed()) / 1e6);
            sinceReturn.invalidate();
            portGone = false;
        }
    });
    auto reconnectIfHalted = [&] {
        if (cycle.State() != seriallink::LinkState::Halted) return;
        ++reconnects;
        mainWindow.connectAction()->trigger(); // as the user would: Connect
    };

    runFor(10000); // settled: the read-back, the first polls, the graph and the grid filled
    const long rssStart = residentKiB();
    const double cpuStart = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    const qint64 total = static_cast<qint64>(minutes * 60000);
    int rounds = 0;
    std::size_t phases = 0;
    while (clock.elapsed() < total) {
        for (const Phase& p : Schedule) {
            if (clock.elapsed() >= total) break;
            ++phases;
            phase = &p;
            mainWindow.tabs()->setCurrentIndex(p.tab);
            portDialog.reconnectBox()->setChecked(p.reconnect);
            portGone = false;
            sinceReturn.invalidate();
            if (p.reconnect) watch.start();
            for (const char* c : p.start) {
                command(c);
                ++injected[c];
            }
            QElapsedTimer inPhase;
            inPhase.start();
            qint64 lastRepeat = 0;
            bool ended = false;
            auto end = [&] {
                if (ended) return;
                ended = true;
                for (const char* c : p.end) command(c);
            };
            while (inPhase.elapsed() < p.seconds * 1000) {
                runFor(100);
                if (p.expectTimeOut && cycle.State() == seriallink::LinkState::Halted) end();
                if (p.repeatMs > 0 && inPhase.elapsed() - lastRepeat >= p.repeatMs) {
                    lastRepeat = inPhase.elapsed();
                    for (const char* c : p.start) {
                        command(c);
                        ++injected[c];
                    }
                }
                // A halt where none is expected is counted, and polling is restarted at once.
                if (!p.expectTimeOut) reconnectIfHalted();
            }
            end();
            watch.stop();
            runFor(1000); // the detector back to normal
            reconnectIfHalted();
            runFor(2000);
        }
        if (phases % Schedule.size() == 0) ++rounds;
    }
    const double wall = clock.elapsed() / 1000.0;
    const double cpu = cpuSeconds() - cpuStart;
    const long rssEnd = residentKiB();
    phase = nullptr;
    cycle.Disconnect();
    sim.terminate();
    sim.waitForFinished(3000);

    const std::uint64_t exchanges =
        cycle.counters().GoodReplies + cycle.counters().FailedExchanges + cycle.counters().DroppedFrames;
    std::printf("soak against the paced virtual detector with injected faults, %.1f min (%zu phases: %d whole "
                "rounds of %zu):\n",
                wall / 60, phases, rounds, Schedule.size());
    std::printf("  exchanges %llu: %llu good, %llu failed (counted), %llu damaged frames dropped\n",
                static_cast<unsigned long long>(exchanges),
                static_cast<unsigned long long>(cycle.counters().GoodReplies),
                static_cast<unsigned long long>(cycle.counters().FailedExchanges),
                static_cast<unsigned long long>(cycle.counters().DroppedFrames));
    std::string faults;
    for (const auto& [what, count] : injected) faults += "  " + what + " x" + std::to_string(count);
    std::printf("  faults injected:%s\n", faults.c_str());
    std::printf("  recovered faults (back to good replies without the user): %llu; %llu stray bytes thrown away\n",
                static_cast<unsigned long long>(cycle.counters().Recoveries),
                static_cast<unsigned long long>(cycle.counters().BytesDiscarded));
    std::printf(
        "  \"Error Time Out\": %d where expected (dribbling, silent, unplugged, another firmware: Connect again each "
        "time), "
        "%d elsewhere (target: 0)\n",
        expectedTimeOuts, unexpectedTimeOuts);
    for (const auto& [where, count] : timeOuts) std::printf("    %s: %d\n", where.c_str(), count);
    std::printf("  Connect pressed %d times\n", reconnects);
    std::sort(backAfterMs.begin(), backAfterMs.end());
    if (!backAfterMs.empty())
        std::printf(
            "  reconnected by itself %zu times (of %llu links lost with reconnection on): back %.0f ms (median), "
            "%.0f ms (worst) after its port (target: within 1 s)\n",
            backAfterMs.size(), static_cast<unsigned long long>(cycle.counters().Reconnections),
            backAfterMs[backAfterMs.size() / 2], backAfterMs.back());
    if (otherMessages) std::printf("  other messages: %d\n", otherMessages);
    std::printf("  resident memory %.1f MB at the start, %.1f MB at the end: %+.2f MB (target: under 1 MB)\n",
                rssStart / 1024.0, rssEnd / 1024.0, (rssEnd - rssStart) / 1024.0);
    std::printf("  CPU %.1f %% of one core\n", 100 * cpu / wall);

    dialogs::SetMessageHandler({});
    const int boxes = 300;
    const double programBox = heapPerBoxKiB(&mainWindow, false, boxes);
    const double plainBox = heapPerBoxKiB(nullptr, true, boxes);
    std::printf("message boxes, %d of each: the program's %.2f kB heap per box, a plain QMessageBox %.2f kB\n", boxes,
                programBox, plainBox);
    return unexpectedTimeOuts == 0 ? 0 : 1;
}
