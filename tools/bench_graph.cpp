// Prints what one status reply costs the program: the graph work alone (threshold traces, samples,
// frame, labels, sweep), the whole reply from its checked frame to the updated window and graph
// (the VIEW tab's controls, the lamps and the graph at design size, both windows shown), and apart
// from it the paint that the reply causes in both windows.
#include "app/MainWindow.h"
#include "commission/Recording.h"
#include "graph/Fonts.h"
#include "graph/GraphWindow.h"
#include "protocol/StatusRecord.h"

#include <QApplication>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr double WireUs = 36.5e3; // a status exchange on the wire: 70 bytes at 19200 baud, 8N1

// Runs work runs times after a warm-up (each after prepare, which is not timed) and prints the median
// and the 99th percentile.
void measure(const char* what, int runs, const std::function<void(int)>& work, const char* target = "under 0.5 ms",
             const std::function<void(int)>& prepare = {}) {
    std::vector<double> us;
    us.reserve(static_cast<std::size_t>(runs));
    for (int i = 0; i < runs + 200; ++i) {
        if (prepare) prepare(i);
        const auto t0 = std::chrono::steady_clock::now();
        work(i);
        const auto t1 = std::chrono::steady_clock::now();
        if (i >= 200) us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    }
    std::sort(us.begin(), us.end());
    const double median = us[us.size() / 2];
    const double p99 = us[us.size() * 99 / 100];
    std::printf("%s, %d runs:\n", what, runs);
    std::printf("  median %.1f us (%.2f %% of the %.1f ms a status reply spends on the wire; target %s)\n", median,
                100.0 * median / WireUs, WireUs / 1000, target);
    std::printf("  99th percentile %.1f us\n", p99);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    graph::RegisterProgramFonts();
    graph::UseProgramFont();
    const int runs = argc > 1 ? std::atoi(argv[1]) : 5000;

    {
        graph::GraphWindow graphics(nullptr);
        measure(qPrintable(QStringLiteral("graph work per status reply at %1x%2")
                               .arg(graphics.Screen().width())
                               .arg(graphics.Screen().height())),
                runs, [&](int i) {
                    const auto v = static_cast<std::uint16_t>(300 + 250 * std::sin(i * 0.05));
                    graphics.FeedStatus({{{v, 600}, {static_cast<std::uint16_t>(v / 2), 500}, {v, 650}}});
                });
    }

    app::MainWindow mainWindow;
    mainWindow.setEndProcess([](int) {});
    graph::GraphWindow graphics(&mainWindow);
    mainWindow.setCompanions(nullptr, &graphics);
    mainWindow.show();
    graphics.show();
    app.processEvents();
    // A walk past the detector with lamps going on and off, as the detector reports it.
    protocol::StatusRecord s;
    s.temperature = 21;
    auto reply = [&](int i) {
        const auto v = static_cast<std::uint16_t>(300 + 250 * std::sin(i * 0.05));
        s.channels = {{{v, v, v, 400}, {static_cast<std::uint16_t>(v / 2), v, v, 500}, {v, v, v, 600}}};
        s.alarmFlags = (i / 50) % 2 ? 0x0815 : 0;
        s.stateFlags = (i / 80) % 2 ? 0x0081 : 0;
        s.acc = {static_cast<std::int8_t>(i % 100 - 50), 3, 64};
        auto store = protocol::EncodeStatus(s);
        mainWindow.link().StoreStatus(store);
        mainWindow.statusView().SplitFlags(store);
        mainWindow.statusView().ShowStatus(store);
        mainWindow.link().StoreStatus(store);
    };
    measure("whole status reply, VIEW tab and graph at design size (ShowStatus)", runs, reply, "at most 0.1 ms");
    // The paint happens with the window's next paint, in the pause between two polls, not inside the
    // exchange: measured apart, after each reply.
    const QString platform = QGuiApplication::platformName() == QLatin1String("xcb") ? QStringLiteral("X11")
                                                                                     : QGuiApplication::platformName();
    app.processEvents();
    measure(
        qPrintable(QStringLiteral("the paint one status reply causes in both windows (%1)").arg(platform)), runs,
        [&](int) { app.processEvents(); }, "at most 0.5 ms", reply);
    // One line of a walk-test recording, written through to the file system.
    QTemporaryDir dir;
    commission::WalkRecorder recorder;
    QString error;
    if (!recorder.Start(dir.filePath(QStringLiteral("walk.csv")), error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    measure(
        "one line of a walk-test recording", runs,
        [&](int i) {
            s.channels[0].signal = static_cast<std::uint16_t>(i);
            const auto bytes = protocol::EncodeStatus(s);
            recorder.Record(bytes.data(), error);
        },
        "a small share of the 36.5 ms");
    return 0;
}
