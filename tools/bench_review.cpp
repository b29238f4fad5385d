// The review view and the report on long recordings (made here in a temporary folder and removed): how
// soon the first picture of a 2 GB recording shows, how long a zoom from the whole of it to one second and
// back takes (while the recording is still being read, and once it has been), the resident memory
// meanwhile and how long the whole file takes to read; then the installation report of a one-hour
// recording with five passes, through the real window. A benchmark that prints figures, not a test.
#include "ProcessFigures.h"
#include "app/Program.h"
#include "commission/Commissioning.h"
#include "commission/Recording.h"
#include "commission/Replay.h"
#include "commission/ReportJob.h"
#include "commission/ReportNotice.h"
#include "commission/ReviewWindow.h"
#include "dialogs/Application.h"
#include "dialogs/FileDialogs.h"
#include "dialogs/UserDialogs.h"
#include "graph/Fonts.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

void quietPlatformNotes(QtMsgType, const QMessageLogContext&, const QString& text) {
    if (!text.contains(QLatin1String("XDG_RUNTIME_DIR")) && !text.contains(QLatin1String("PulseAudio")) &&
        !text.contains(QLatin1String("This plugin does not support")))
        std::fprintf(stderr, "%s\n", qPrintable(text));
}

// Turns the event loop until done holds (or the deadline passes); false on the deadline.
bool turnUntil(const std::function<bool()>& done, int deadlineMs = 60000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > deadlineMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
    }
    return true;
}

double ms(const QElapsedTimer& clock) {
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

struct Figures {
    std::vector<double> values;
    double median() {
        std::sort(values.begin(), values.end());
        return values.empty() ? 0 : values[values.size() / 2];
    }
    double worst() const { return values.empty() ? 0 : *std::max_element(values.begin(), values.end()); }
};

// A walk of replies ms apart with noise, passes every few minutes, and a tamper now and then.
QByteArray line(std::int64_t ms, int i, bool walking) {
    protocol::StatusRecord s;
    for (int c = 0; c < 3; ++c) {
        const int noise = 40 + (i * 7919 + c * 104729) % 37;
        s.channels[c].signal = s.channels[c].level = static_cast<std::uint16_t>(walking ? noise + 450 : noise);
        s.channels[c].compensation = static_cast<std::uint16_t>(c == 0 ? 300 : 380);
    }
    if (walking) s.alarmFlags = 0x0015, s.stateFlags = 0x0001;
    if (i % 50000 < 20) s.alarmFlags |= 0x0800;
    return commission::recording::CsvLineBytes(ms, s) + '\n';
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietPlatformNotes);
    dialogs::OstrevoApplication app(argc, argv);
    graph::RegisterProgramFonts();
    graph::UseProgramFont();
    const double gigabytes = argc > 1 ? std::atof(argv[1]) : 2.0;
    const int zooms = argc > 2 ? std::atoi(argv[2]) : 15;
    QTemporaryDir dir(QCoreApplication::applicationDirPath() + QStringLiteral("/bench-review-XXXXXX"));

    // Replies 10 ms apart, the pace of a recording that ran for days; a pass every 5 minutes.
    const QString big = dir.filePath(QStringLiteral("long-walk.csv"));
    std::int64_t written = 0;
    {
        QFile file(big);
        if (!file.open(QIODevice::WriteOnly)) return 1;
        file.write(commission::recording::CsvHeader().toUtf8() + '\n');
        const auto target = static_cast<qint64>(gigabytes * 1024 * 1024 * 1024);
        QByteArray chunk;
        std::int64_t t = 0;
        for (int i = 0; file.size() < target;) {
            chunk.clear();
            for (int k = 0; k < 10000; ++k, ++i, t += 10) {
                const int inFive = i % 30000;
                if (inFive == 0) chunk += QStringLiteral("# pass %1 at %2 ms\n").arg(i / 30000 + 1).arg(t).toUtf8();
                if (inFive == 600) chunk += QStringLiteral("# end at %1 ms\n").arg(t).toUtf8();
                chunk += line(t, i, inFive > 200 && inFive < 400);
            }
            written = i;
            if (file.write(chunk) != chunk.size()) {
                std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(big), qPrintable(file.errorString()));
                return 1;
            }
        }
    }
    const double fileMB = static_cast<double>(QFile(big).size()) / (1024 * 1024);

    app::Program program;
    app::MainWindow& mainWindow = program.mainWindow();
    mainWindow.setEndProcess([](int) {});
    mainWindow.show();
    commission::ReviewWindow& review = mainWindow.commissioning().review();
    review.show();
    app.processEvents();
    const long rssBefore = residentKiB();
    long peak = rssBefore;
    QTimer sample;
    QObject::connect(&sample, &QTimer::timeout, [&] { peak = std::max(peak, residentKiB()); });
    sample.start(50);

    // The first picture: from Open to a picture painted with replies in it.
    commission::ReviewPlot* plot = review.plot();
    const auto painted = [&] {
        std::uint64_t replies = 0;
        for (const graph::ReviewColumn& c : plot->Picture().columns) replies += c.replies;
        if (replies == 0) return false;
        plot->repaint();
        return true;
    };
    QElapsedTimer clock;
    clock.start();
    if (!review.OpenRecording(big)) return 1;
    if (!turnUntil(painted)) return 1;
    const double firstMs = ms(clock);

    // Zooms from the whole to one second at places spread through the file, and back to the whole.
    const auto zoom = [&](Figures& in, Figures& out) {
        for (int i = 0; i < zooms; ++i) {
            const double at = std::fmod(0.37 + i * 0.6180339887, 1.0);
            const std::int64_t from =
                plot->WholeFromMs() + static_cast<std::int64_t>(at * double(plot->WholeToMs() - plot->WholeFromMs()));
            clock.start();
            plot->ShowStretch(from, from + 1000);
            if (!turnUntil([&] { return plot->FromReplies() && painted(); })) return false;
            in.values.push_back(ms(clock));
            clock.start();
            plot->ShowWhole();
            if (!turnUntil(painted)) return false;
            out.values.push_back(ms(clock));
            peak = std::max(peak, residentKiB());
        }
        return true;
    };
    Figures inReading, outReading, inRead, outRead;
    const bool stillReading = !review.recording()->progress().complete;
    if (!zoom(inReading, outReading)) return 1;
    clock.start();
    const double readAlready = review.recording()->progress().read;
    if (!turnUntil([&] { return review.recording()->progress().complete; }, 600000)) return 1;
    const double wholeS = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    if (!zoom(inRead, outRead)) return 1;
    const long rssAfter = residentKiB();
    sample.stop();
    review.ShowLive(); // the recording's reading ends
    QFile::remove(big);

    std::printf("the review view of a %.0f MB walk-test recording (%lld replies, 10 ms apart):\n", fileMB,
                static_cast<long long>(written));
    std::printf("  the first picture %.0f ms after Open (target: at most 300 ms; a sample of the file, refined as "
                "it is read)\n",
                firstMs);
    if (stillReading)
        std::printf("  while it is read: from the whole to one second %.0f ms (median), %.0f ms (the slowest); back to "
                    "the whole %.0f ms, %.0f ms; %zu zooms (target: at most 300 ms each)\n",
                    inReading.median(), inReading.worst(), outReading.median(), outReading.worst(),
                    inReading.values.size());
    std::printf("  once read: from the whole to one second %.0f ms (median), %.0f ms (the slowest); back to the whole "
                "%.0f ms, %.0f ms; %zu zooms (target: at most 300 ms each)\n",
                inRead.median(), inRead.worst(), outRead.median(), outRead.worst(), inRead.values.size());
    std::printf("  the whole file read in the background in %.1f s more (%.0f %% read when the zooms began)\n", wholeS,
                readAlready * 100);
    std::printf("  resident memory %.1f MB before, %.1f MB at the most, %.1f MB at the end (target: at most 60 MB)\n",
                rssBefore / 1024.0, peak / 1024.0, rssAfter / 1024.0);

    // The report of a one-hour walk test with five passes, from its replay, no detector connected.
    const QString hour = dir.filePath(QStringLiteral("one-hour.csv")), pdf = dir.filePath(QStringLiteral("report.pdf"));
    {
        QFile file(hour);
        if (!file.open(QIODevice::WriteOnly)) return 1;
        QByteArray all = commission::recording::CsvHeader().toUtf8() + '\n';
        constexpr int Replies = 77400; // 21.5 a second for an hour
        for (int i = 0; i < Replies; ++i) {
            const std::int64_t t = std::int64_t(i) * 3600000 / Replies;
            const int pass = i / (Replies / 6); // five passes, a quiet stretch first
            const int inStretch = i % (Replies / 6);
            if (inStretch == 0)
                all += (pass == 0 ? QStringLiteral("# quiet 1 at %1 ms\n").arg(t)
                                  : QStringLiteral("# pass %1 at %2 ms: %3 m\n").arg(pass).arg(t).arg(5 * pass))
                           .toUtf8();
            if (inStretch == 400) all += QStringLiteral("# end at %1 ms\n").arg(t).toUtf8();
            all += line(t, i, pass > 0 && inStretch > 100 && inStretch < 300);
        }
        if (file.write(all) != all.size()) return 1;
    }
    commission::Commissioning& c = mainWindow.commissioning();
    dialogs::SetFileDialogHandler(
        [&](QWidget*, dialogs::FileDialogKind, const QString&, const QString&) { return pdf; });
    dialogs::SetQuestionHandler([](QWidget*, const QString&) { return true; });
    dialogs::SetMessageHandler([](QWidget*, const QString& text) { std::fprintf(stderr, "%s\n", qPrintable(text)); });
    c.AskReportDetails = [](QString& site, QString&, QString&) { return site = QStringLiteral("Bench"), true; };
    c.StartReplay(hour);
    if (!turnUntil([&] { return c.replayer().ShownMs() >= 0; })) return 1;
    c.StopReplay();
    Figures report;
    for (int i = 0; i < 5; ++i) {
        c.reportNotice()->hide();
        clock.start();
        c.reportAction()->trigger();
        if (!turnUntil([&] { return c.reportNotice()->isVisible(); })) return 1;
        report.values.push_back(ms(clock));
    }
    std::printf("the installation report of a one-hour walk test with five passes (%.1f MB), 5 runs:\n",
                static_cast<double>(QFile(hour).size()) / (1024 * 1024));
    std::printf("  written in %.0f ms (median), %.0f ms (the slowest), the window free meanwhile (target: at most "
                "2 s)\n",
                report.median(), report.worst());
    return 0;
}
