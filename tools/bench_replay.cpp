// Replaying a very long walk-test recording (2 GB by default, made here and removed afterwards):
// how soon the first reply shows, and the resident memory while the replay runs, which must not grow
// with the file. A benchmark that prints figures, not a test.
#include "ProcessFigures.h"
#include "app/Application.h"
#include "app/MainWindow.h"
#include "commission/Commissioning.h"
#include "commission/Recording.h"
#include "graph/Fonts.h"
#include "graph/GraphWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

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
    OstrevoApplication app(argc, argv);
    RegisterProgramFonts();
    UseProgramFont();
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
        file.write(recording::CsvHeader().toUtf8() + '\n');
        monitor::StatusRecord s;
        const auto target = static_cast<qint64>(gigabytes * 1024 * 1024 * 1024);
        QByteArray chunk;
        std::int64_t ms = 0;
        while (file.size() < target) {
            chunk.clear();
            for (int i = 0; i < 10000; ++i, ms += 10) {
                s.channels[0].signal = static_cast<std::uint16_t>(40 + ms / 10 % 300);
                chunk += recording::CsvLine(ms, s).toUtf8() + '\n';
            }
            if (file.write(chunk) != chunk.size()) {
                std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(path), qPrintable(file.errorString()));
                return 1;
            }
        }
    }
    const double fileMB = static_cast<double>(QFile(path).size()) / (1024 * 1024);

    MainWindow mainWindow;
    mainWindow.setEndProcess([](int) {});
    GraphWindow graphics(&mainWindow);
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
    mainWindow.commissioning().StopReplay();

    std::printf("replaying a %.0f MB walk-test recording for %d s:\n", fileMB, seconds);
    std::printf("  the replay started in %.1f ms (the file is read as the replay goes, never whole)\n", startMs);
    std::printf("  resident memory %.1f MB before, %.1f MB at the most while replaying (target: under 60 MB)%s\n",
                rssBefore / 1024.0, peak / 1024.0, stillReplaying ? "" : " (the replay ended early)");
    return 0;
}
