// Measures the status poll rate of the Windows program (main window, poll cycle, Win32 serial layer) under
// wine against the Linux virtual detector paced at 19200 baud on COM5 (scripts/bench runs it under
// ostrevo-line-peer --sim), with its CPU use and working set, on the platform it is started on (the Windows
// platform on a real X server, or offscreen).
#include "app/MainWindow.h"
#include "app/Program.h"
#include "dialogs/UserDialogs.h"
#include "graph/Fonts.h"
#include "graph/GraphWindow.h"
#include "seriallink/PortDialog.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <windows.h>

#include <psapi.h>

namespace {

// User and kernel CPU seconds of this process so far.
double cpuSeconds() {
    FILETIME created, ended, kernel, user;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &ended, &kernel, &user);
    auto seconds = [](const FILETIME& f) {
        return (static_cast<double>(f.dwHighDateTime) * 4294967296.0 + f.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

double workingSetMB() {
    PROCESS_MEMORY_COUNTERS counters{};
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
    return static_cast<double>(counters.WorkingSetSize) / (1024.0 * 1024.0);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    graph::RegisterProgramFonts();
    graph::UseProgramFont();
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 20;

    std::vector<QString> messages;
    dialogs::SetMessageHandler([&](QWidget*, const QString& t) { messages.push_back(t); });
    app::Program program;
    app::MainWindow& mainWindow = program.mainWindow();
    mainWindow.setEndProcess([](int) {});
    mainWindow.show();
    program.graphWindow().show(); // the VIEW tab and the graph window both shown, as an installer watches
    program.portDialog().portCombo()->setEditText(QStringLiteral("COM5"));
    mainWindow.connectAction()->trigger();

    auto runFor = [](int ms) {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    };
    runFor(1000); // the read-back and the first polls
    const auto repliesBefore = mainWindow.link().counters().GoodReplies;
    const double cpuBefore = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    runFor(seconds * 1000);
    const double wall = clock.elapsed() / 1000.0;
    const double cpu = cpuSeconds() - cpuBefore;
    const auto replies = mainWindow.link().counters().GoodReplies - repliesBefore;
    mainWindow.link().Disconnect();
    if (!messages.empty()) {
        std::fprintf(stderr, "polling stopped: %s\n", qPrintable(messages.front()));
        return 1;
    }
    const double rate = replies / wall;
    const double limit = 1.0 / (0.010 + 70 * 10 / 19200.0); // 10 ms pause + 70 bytes on the wire
    std::printf("status polls of the Windows program under wine against the paced virtual detector on COM5, %s, "
                "VIEW tab and graph shown, %.1f s:\n",
                qPrintable(QGuiApplication::platformName()), wall);
    std::printf("  %.2f per second, %.1f %% of the line limit of %.2f per second (target: at least 99 %%)\n", rate,
                100 * rate / limit, limit);
    std::printf("  CPU %.2f %% of one core while polling (the program's own, as wine counts it)\n", 100 * cpu / wall);
    std::printf("  working set %.1f MB\n", workingSetMB());
    std::fflush(stdout);
    return 0;
}
