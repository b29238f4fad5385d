// Replaying a very long walk-test recording (2 GB by default, made here and removed afterwards):
// how soon the first reply shows, how long a jump to another place takes (mostly to places the replay
// has not read), and the resident memory while the replay runs and jumps, which must not grow with the
// file. Then a recording of nothing but blank lines (200 MB by default): the longest time the
// window goes without a turn of its event loop while the replay reads through it. A benchmark that
// prints figures, not a test.
#include "ProcessFigures.h"
#include "app/MainWindow.h"
#include "commission/Commissioning.h"
#include "commission/Recording.h"
#include "commission/Replay.h"
#include "dialogs/Application.h"
#include "graph/Fonts.h"
#include "graph/GraphWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

void quietPlatformNotes(QtMsgType, const QMessageLogContext&, const QString& text) {
    if (!text.contains(QLatin1String("XDG_RUNTIME_DIR")) && !text.contains(QLatin1String("PulseAudio")) &&
        !text.contains(QLatin1String("This plugin does not support")))
        std::fprintf(stderr, "%s\n", qPrintable(text));
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietPlatformNotes);
    dialogs::OstrevoApplication app(argc, argv);
    graph::RegisterProgramFonts();
    graph::UseProgramFont();
    const double gigabytes = argc > 1 ? std::atof(argv[1]) : 2.0;
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 10;

    // Replies 10 ms apart, the pace of a recording that ran for days.
    QTemporaryDir dir(QCoreApplication::applicationDirPath() + QStringLiteral("/bench-replay-XXXXXX"));
    const QString path = dir.filePath(QStringLiteral("long-walk.csv"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        file.write(commission::recording::CsvHeader().toUtf8() + '\n');
        protocol::StatusRecord s;
        const auto target = static_cast<qint64>(gigabytes * 1024 * 1024 * 1024);
        QByteArray chunk;
        std::int64_t ms = 0;
        while (file.size() < target) {
            chunk.clear();
            for (int i = 0; i < 10000; ++i, ms += 10) {
                s.channels[0].signal = static_cast<std::uint16_t>(40 + ms / 10 % 300);
                chunk += commission::recording::CsvLine(ms, s).toUtf8() + '\n';
            }
            if (file.write(chunk) != chunk.size()) {
                std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(path), qPrintable(file.errorString()));
                return 1;
            }
        }
    }
    const double fileMB = static_cast<double>(QFile(path).size()) / (1024 * 1024);

    app::MainWindow mainWindow;
    mainWindow.setEndProcess([](int) {});
    graph::GraphWindow graphics(&mainWindow);
    mainWindow.setCompanions(nullptr, &graphics);
    mainWindow.show();
    graphics.show();
    app.processEvents();
    const long rssBefore = residentKiB();

    QElapsedTimer clock;
    clock.start();
    if (!mainWindow.commissioning().StartReplay(path)) return 1;
    const double startMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    long peak = residentKiB();
    QTimer sample;
    QObject::connect(&sample, &QTimer::timeout, [&] { peak = std::max(peak, residentKiB()); });
    sample.start(100);
    QTimer::singleShot(seconds * 1000, &app, [] { QCoreApplication::exit(0); }); // (quit() would close the window)
    app.exec();
    const bool stillReplaying = mainWindow.commissioning().Replaying();

    // Jumps through the recording, paused, mostly to places not read yet: from the call to the reply
    // shown there, the graph filled with the replies before it.
    commission::Replayer& replay = mainWindow.commissioning().replayer();
    replay.setPaused(true);
    const std::int64_t length = replay.LengthMs();
    std::vector<double> seekMs;
    constexpr int Seeks = 25;
    for (int i = 0; i < Seeks && stillReplaying; ++i) {
        // Forward and back across the whole length: 0.97, 0.05, 0.61, 0.29, ...
        const double at = std::fmod(0.97 + i * 0.6180339887, 1.0);
        clock.start();
        replay.Seek(static_cast<std::int64_t>(at * static_cast<double>(length)));
        while (replay.Seeking()) app.processEvents(QEventLoop::AllEvents, 5);
        seekMs.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        peak = std::max(peak, residentKiB());
    }
    mainWindow.commissioning().StopReplay();

    std::printf("replaying a %.0f MB walk-test recording for %d s:\n", fileMB, seconds);
    std::printf("  the replay started in %.1f ms (the file is read as the replay goes, never whole)\n", startMs);
    if (!seekMs.empty()) {
        std::sort(seekMs.begin(), seekMs.end());
        std::printf(
            "  a jump to another place, %zu jumps: median %.1f ms, the slowest %.1f ms (target: at most 200 ms; "
            "the graph filled with the replies before it)\n",
            seekMs.size(), seekMs[seekMs.size() / 2], seekMs.back());
    }
    std::printf("  resident memory %.1f MB before, %.1f MB at the most while replaying and jumping (target: under 60 "
                "MB)%s\n",
                rssBefore / 1024.0, peak / 1024.0, stillReplaying ? "" : " (the replay ended early)");
    QFile::remove(path);

    // A header, blank lines and one reply at the end: the replay reads a slice of the file per turn of
    // the event loop, and a 1 ms timer's longest gap is the longest the window waits.
    const qint64 blankMB = argc > 3 ? std::atoll(argv[3]) : 200;
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) return 1;
        file.write(commission::recording::CsvHeader().toUtf8() + '\n');
        const QByteArray blank(1 << 20, '\n');
        for (qint64 i = 0; i < blankMB; ++i)
            if (file.write(blank) != blank.size()) return 1;
        file.write(commission::recording::CsvLine(0, protocol::StatusRecord()).toUtf8() + '\n');
    }
    QElapsedTimer sinceTick;
    qint64 longestNs = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longestNs = std::max(longestNs, sinceTick.nsecsElapsed());
        sinceTick.start();
    });
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!mainWindow.commissioning().Replaying()) QCoreApplication::exit(0);
    });
    clock.start();
    sinceTick.start();
    tick.start();
    watch.start(10);
    QTimer::singleShot(0, [&] { mainWindow.commissioning().StartReplay(path); });
    app.exec();
    const double wholeS = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    std::printf("replaying %lld MB of blank lines:\n", static_cast<long long>(blankMB));
    std::printf("  longest time without a turn of the event loop %.1f ms (target: at most 50 ms); through the file in "
                "%.1f s\n",
                static_cast<double>(longestNs) / 1e6, wholeS);
    return 0;
}
