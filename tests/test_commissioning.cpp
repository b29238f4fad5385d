// The commissioning commands: the installation report's PDF, a walk test recorded and replayed
// through the real status display, and comparing a parameter file with the detector.
#include "DetectorModel.h"
#include "GuiTestMain.h"
#include "LoopTurns.h"
#include "PtyPeer.h"
#include "ReplyFrames.h"
#include "app/MainWindow.h"
#include "app/Program.h"
#include "commission/Commissioning.h"
#include "commission/Recording.h"
#include "commission/Replay.h"
#include "commission/Report.h"
#include "commission/ThresholdSuggestions.h"
#include "commission/WalkAnalysis.h"
#include "config/ConfigFile.h"
#include "config/ParameterText.h"
#include "dialogs/FileDialogs.h"
#include "dialogs/UserDialogs.h"
#include "graph/GraphWindow.h"
#include "monitor/LiveMarks.h"
#include "seriallink/PortDialog.h"
#include "widgets/LevelBar.h"
#include "widgets/NoticeLabel.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

protocol::StatusRecord walk(int i) {
    protocol::StatusRecord s;
    const auto v = static_cast<std::uint16_t>(i % 60 < 20 ? 40 + 25 * (i % 20) : 40);
    s.channels = {{{v, v, v, 400}, {static_cast<std::uint16_t>(v / 2), v, v, 500}, {v, 0, v, 600}}};
    s.temperature = static_cast<std::int16_t>(19 + i % 3);
    s.alarmFlags = i % 60 == 10 ? 0x0801 : 0;
    s.stateFlags = i % 60 == 12 ? 0x0001 : 0;
    s.acc = {static_cast<std::int8_t>(i % 7 - 3), 2, 64};
    return s;
}

// The longest time the event loop goes without a turn while it lives: a 1 ms timer's longest gap.
struct LoopHold {
    QTimer timer;
    QElapsedTimer clock;
    qint64 last = 0, longest = 0;
    LoopHold() {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const qint64 now = clock.nsecsElapsed();
            longest = std::max(longest, now - last);
            last = now;
        });
        clock.start();
        timer.setTimerType(Qt::PreciseTimer);
        timer.start(1);
    }
    double Ms() const { return static_cast<double>(std::max(longest, clock.nsecsElapsed() - last)) / 1e6; }
};

// A file whose opening waits, and a FIFO, watched by a child process: it holds a lease on the file
// (whoever opens it waits until the lease is let go, as for a file on a hung mount) and stands at the
// FIFO's writing end (whoever opens it to read waits for a writer). Whenever either is opened it lets
// the opener go at once and says so: 'L' the file, 'F' the FIFO.
class OpenWatch {
  public:
    OpenWatch(const QString& file, const QString& fifo) {
        const QByteArray leased = QFile::encodeName(file), writable = QFile::encodeName(fifo);
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(fds[0]);
            watch(leased.constData(), writable.constData(), fds[1]); // (never returns)
        }
        ::close(fds[1]);
        said_ = fds[0];
        ::fcntl(said_, F_SETFL, O_NONBLOCK);
    }
    ~OpenWatch() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (said_ >= 0) ::close(said_);
    }
    OpenWatch(const OpenWatch&) = delete;
    OpenWatch& operator=(const OpenWatch&) = delete;

    // Whether the lease is held: 'R' came first ('X': it could not be taken).
    bool Ready() {
        take();
        return heard_.startsWith('R');
    }
    bool Refused() {
        take();
        return heard_.startsWith('X');
    }
    // What was opened so far: "L", "F", "LF", ...
    QString Opened() {
        take();
        QString opened;
        for (const char c : heard_.mid(1))
            if (!opened.contains(QLatin1Char(c))) opened += QLatin1Char(c);
        return opened;
    }

  private:
    void take() {
        char buf[64];
        for (ssize_t n; (n = ::read(said_, buf, sizeof buf)) > 0;) heard_.append(buf, n);
    }
    // In the child: system calls only.
    [[noreturn]] static void watch(const char* leased, const char* fifo, int said) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        sigset_t io;
        ::sigemptyset(&io);
        ::sigaddset(&io, SIGIO);
        ::pthread_sigmask(SIG_BLOCK, &io, nullptr);
        const int fd = ::open(leased, O_RDONLY | O_CLOEXEC);
        bool held = fd >= 0 && ::fcntl(fd, F_SETLEASE, F_WRLCK) == 0;
        (void)!::write(said, held ? "R" : "X", 1);
        for (;;) {
            const timespec tick{0, 5'000'000};
            if (held && ::sigtimedwait(&io, nullptr, &tick) == SIGIO) {
                (void)!::write(said, "L", 1);
                held = ::fcntl(fd, F_SETLEASE, F_UNLCK) != 0;
            } else if (!held) {
                ::nanosleep(&tick, nullptr);
            }
            const int w = ::open(fifo, O_WRONLY | O_NONBLOCK | O_CLOEXEC); // only while someone reads
            if (w >= 0) {
                (void)!::write(said, "F", 1);
                ::close(w);
            }
        }
    }

    pid_t pid_ = -1;
    int said_ = -1;
    QByteArray heard_;
};

} // namespace

class TestCommissioning : public QObject {
    Q_OBJECT
    std::vector<QString> said;

  private slots:
    void init() {
        said.clear();
        dialogs::SetMessageHandler([this](QWidget*, const QString& t) { said.push_back(t); });
    }
    void cleanup() { dialogs::SetMessageHandler({}); }

    void theReportHoldsTheKeyValues() {
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("pdftotext (poppler-utils) is not installed");
        QTemporaryDir dir;
        commission::ReportContents r;
        r.site = QStringLiteral("Warehouse North gate");
        r.installer = QStringLiteral("J. Installer");
        r.note = QStringLiteral("Walk test passed.");
        r.port = QStringLiteral("/dev/ttyUSB0");
        r.programVersion = QStringLiteral("9.8.7");
        r.written = QDateTime(QDate(2026, 12, 7), QTime(15, 7));
        r.parameters = DetectorModel::FactoryDefaults();
        r.parameters.channels[1].trange = 437;
        r.lenses[0] = QStringLiteral("Vertical Curtain");
        r.flash = QStringLiteral("not stored in flash"); // (pdftotext gives "fl" as a ligature)
        r.status = walk(10);
        r.status.temperature = -4;
        r.events[0].eventType = 0x0100;
        r.events[0].peaks[0] = 612;
        r.graph = QImage(200, 60, QImage::Format_RGB32);
        r.graph.fill(Qt::black);
        const QString pdf = dir.filePath("report.pdf");
        QString error;
        QVERIFY2(commission::WriteReport(pdf, r, error), qPrintable(error));
        QProcess text;
        text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        QVERIFY(text.waitForFinished(20000));
        const QString t = QString::fromUtf8(text.readAllStandardOutput());
        for (const char* expected : {"Warehouse North gate", "J. Installer", "Walk test passed.", "/dev/ttyUSB0",
                                     "9.8.7", "2026-12-07 15:07", "437", "Tamper", "MW detection", "TAMPER", "612",
                                     "-4\u00b0C", "Mask #1-#2", "Vertical Curtain", "Signal graph", "not stored in"})
            QVERIFY2(t.contains(QString::fromUtf8(expected)), expected);
        // The PDF replaced nothing until it was complete: a failing path leaves no file.
        QVERIFY(!commission::WriteReport(dir.filePath("missing/report.pdf"), r, error));
        QVERIFY(error.contains("missing/report.pdf"));
    }

    // A walk recorded live replays into the same bars and the same graph pixels; when the replay
    // ends its picture stays, not live, until it is cleared.
    void aRecordedWalkReplaysTheSame() {
        QTemporaryDir dir;
        const QString csv = dir.filePath("walk.csv");
        constexpr int N = 150;
        app::MainWindow live;
        graph::GraphWindow liveGraph(&live);
        live.setCompanions(nullptr, &liveGraph);
        QString error;
        QVERIFY(live.commissioning().Recorder().Start(csv, error));
        for (int i = 0; i < N; ++i) {
            auto store = protocol::EncodeStatus(walk(i));
            live.link().StoreStatus(store);
            live.commissioning().StatusArrived(store.data()); // as the reply arrives
            live.statusView().SplitFlags(store);
            live.statusView().ShowStatus(store);
        }
        live.commissioning().Recorder().Stop();
        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), N + 1);
        QCOMPARE(lines.first(), commission::recording::CsvHeader());
        // One more reply long after the walk: the replay waits for it, and meanwhile shows the walk's end.
        file.close();
        QVERIFY(file.open(QIODevice::Append | QIODevice::Text));
        file.write((commission::recording::CsvLine(3600000, walk(0)) + '\n').toUtf8());
        file.close();

        app::MainWindow again;
        graph::GraphWindow replayGraph(&again);
        again.setCompanions(nullptr, &replayGraph);
        again.commissioning().setMaxReplayGapMs(60000);
        QVERIFY(again.commissioning().StartReplay(csv));
        QTRY_COMPARE_WITH_TIMEOUT(replayGraph.State().SweepPosition, liveGraph.State().SweepPosition, 10000);
        QVERIFY(said.empty());
        QVERIFY(again.commissioning().Replaying());
        QVERIFY(replayGraph.Screen() == liveGraph.Screen());
        const char* const bars[] = {"ProgressBar1", "ProgressBar2", "ProgressBar3", "ProgressBar_Temperatura",
                                    "ProgressBar_acc_X"};
        for (const char* bar : bars)
            QCOMPARE(again.findChild<widgets::LevelBar*>(bar)->value(),
                     live.findChild<widgets::LevelBar*>(bar)->value());
        QVERIFY(again.liveMarks().Live());
        // Stopped, the replay's picture stays, not live, until it is cleared (Connect, another replay).
        again.commissioning().StopReplay();
        QVERIFY(replayGraph.Screen() == liveGraph.Screen());
        for (const char* bar : bars)
            QCOMPARE(again.findChild<widgets::LevelBar*>(bar)->value(),
                     live.findChild<widgets::LevelBar*>(bar)->value());
        QVERIFY(!again.liveMarks().Live());
        again.commissioning().replayer().ClearPicture();
        for (const char* bar : bars) {
            auto* b = again.findChild<widgets::LevelBar*>(bar);
            QCOMPARE(b->value(), b->minimum());
        }
        QVERIFY(!again.liveMarks().Live());
    }

    // What a replay is given: a malformed line stops it, named; a FIFO is refused at once; a pause of
    // 2^31 ms is shortened and the replay goes on; a last line cut off unfinished ends it quietly.
    void replayInput() {
        QTemporaryDir dir;
        auto write = [&](const char* name, const QStringList& lines, const QByteArray& tail = {}) {
            QFile f(dir.filePath(name));
            if (!f.open(QIODevice::WriteOnly)) qFatal("cannot write %s", name);
            f.write((lines.join('\n') + '\n').toUtf8() + tail);
            return f.fileName();
        };
        const QString header = commission::recording::CsvHeader();
        app::MainWindow mainWindow;
        mainWindow.commissioning().setMaxReplayGapMs(50);
        const QString bad =
            write("bad.csv", {header, commission::recording::CsvLine(0, walk(1)),
                              commission::recording::CsvLine(5, walk(2)), QStringLiteral("10,1,2,three")});
        QVERIFY(mainWindow.commissioning().StartReplay(bad));
        QTRY_VERIFY_WITH_TIMEOUT(!mainWindow.commissioning().Replaying(), 5000);
        QCOMPARE(said.size(), std::size_t(1));
        QVERIFY2(said[0].startsWith("Line 4 of \"" + bad + "\""), qPrintable(said[0]));

        const QString fifo = dir.filePath("fifo.csv");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(!mainWindow.commissioning().StartReplay(fifo)); // returns at once, never blocks
        QVERIFY(said.back().contains("not a regular file"));

        graph::GraphWindow graph(&mainWindow);
        mainWindow.setCompanions(nullptr, &graph);
        const QString gap = write("gap.csv",
                                  {header, commission::recording::CsvLine(0, walk(1)),
                                   commission::recording::CsvLine(2147483653LL, walk(11))},
                                  commission::recording::CsvLine(2147483663LL, walk(12)).left(30).toUtf8());
        said.clear();
        QVERIFY(mainWindow.commissioning().StartReplay(gap));
        QTRY_VERIFY_WITH_TIMEOUT(!mainWindow.commissioning().Replaying(), 2000);
        QVERIFY(said.empty());
        QCOMPARE(graph.State().SweepPosition, 2); // the reply after the gap was shown, the cut-off one was not
        // A value out of its field's range is named too.
        QString error;
        std::int64_t ms = 0;
        protocol::StatusRecord s;
        QString wide = commission::recording::CsvLine(0, walk(1));
        wide.replace(wide.lastIndexOf(','), 3, QStringLiteral(",200"));
        QVERIFY(!commission::recording::ParseLine(wide, ms, s, error));
        QVERIFY2(error.startsWith("acc_z"), qPrintable(error));
    }

    // A reply's line as written: every field in decimal, the flag words in hex, the extremes of each; and
    // read back to the same reply.
    void aReplyLineHoldsEveryField() {
        protocol::StatusRecord high;
        high.channels = {{{65535, 65535, 65535, 65535}, {1, 2, 3, 4}, {0, 0, 0, 0}}};
        high.mwMask = 750;
        high.mask1 = 400;
        high.irNoise1 = 200;
        high.irNoise2 = 9;
        high.ntc = 1600;
        high.temperature = -32768;
        high.alarmFlags = 0x0801;
        high.stateFlags = 0xffff;
        high.acc = {-128, 127, 0};
        const struct {
            std::int64_t ms;
            protocol::StatusRecord reply;
            const char* line;
        } cases[] = {
            {0, {}, "0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0x0000,0x0000,0,0,0"},
            {9007199254740993LL, high,
             "9007199254740993,65535,65535,65535,1,2,3,0,0,0,750,400,0,200,9,1600,-32768,65535,4,0,0x0801,0xffff,-128,"
             "127,0"},
        };
        for (const auto& c : cases) {
            QCOMPARE(commission::recording::CsvLineBytes(c.ms, c.reply), QByteArray(c.line));
            QCOMPARE(commission::recording::CsvLine(c.ms, c.reply), QString::fromLatin1(c.line));
            std::int64_t ms = -1;
            protocol::StatusRecord back;
            QString error;
            QVERIFY2(commission::recording::ParseLine(QString::fromLatin1(c.line), ms, back, error), qPrintable(error));
            QCOMPARE(ms, c.ms);
            QVERIFY(back == c.reply);
            std::int64_t quickMs = -1;
            protocol::StatusRecord quick;
            QVERIFY(commission::recording::ParseWrittenLine(QByteArray(c.line), quickMs, quick));
            QCOMPARE(quickMs, c.ms);
            QVERIFY(quick == c.reply);
        }
    }

    // A walk of a great many passes and quiet stretches is analysed in bounded memory: the first ones whole,
    // of the rest only those the suggestions turn on, so that they suggest what all of them would.
    void aLongWalkInBoundedMemory() {
        commission::WalkAnalysis kept;
        std::vector<commission::WalkSegment> all; // the same walk, every segment (made here, not by the analysis)
        std::uint32_t seed = 12345;
        const auto next = [&seed](int n) { return int((seed = seed * 1103515245u + 12345u) >> 16) % n; };
        std::int64_t ms = 0;
        for (int i = 0; i < 20000; ++i) {
            commission::recording::Mark m;
            m.kind = next(3) == 0 ? commission::recording::Mark::Kind::Quiet : commission::recording::Mark::Kind::Pass;
            m.number = i + 1;
            m.ms = ms;
            kept.Mark(m);
            commission::WalkSegment seg;
            seg.kind = m.kind;
            seg.number = m.number;
            protocol::StatusRecord s;
            for (int c = 0; c < 3; ++c) {
                // Quiet near the bottom, passes higher, the two close for some.
                const int level = m.kind == commission::recording::Mark::Kind::Quiet ? 50 + next(300) : 340 + next(400);
                s.channels[static_cast<std::size_t>(c)].level = static_cast<std::uint16_t>(level);
                seg.peak[static_cast<std::size_t>(c)] = level;
            }
            kept.Reply(++ms, s);
            seg.replies = 1;
            if (next(50) == 0) { // a pause in it
                commission::recording::Mark pause;
                pause.kind = commission::recording::Mark::Kind::Paused;
                pause.ms = ++ms;
                pause.lengthMs = 1000;
                kept.Mark(pause);
                seg.pausedMs = 1000;
            }
            all.push_back(seg);
            ms += 10;
        }
        kept.Finish();
        QCOMPARE(kept.SegmentCount(), std::int64_t(all.size()));
        QVERIFY(kept.Segments().size() <= std::size_t(commission::WalkAnalysis::KeptInFull + 12));
        QVERIFY(kept.Pauses().size() <= std::size_t(commission::WalkAnalysis::KeptInFull));
        const std::array<int, 3> now{300, 380, 380};
        const auto fromAll = commission::SuggestThresholds(all, now);
        const auto fromKept = commission::SuggestThresholds(kept.Segments(), now);
        for (int c = 0; c < 3; ++c) {
            QCOMPARE(fromKept[c].quietPeak, fromAll[c].quietPeak);
            QCOMPARE(fromKept[c].quietNumber, fromAll[c].quietNumber);
            QCOMPARE(fromKept[c].weakestPass, fromAll[c].weakestPass);
            QCOMPARE(fromKept[c].weakestNumber, fromAll[c].weakestNumber);
            QCOMPARE(fromKept[c].suggested, fromAll[c].suggested);
            QCOMPARE(fromKept[c].reason, fromAll[c].reason);
        }
    }

    // The report's result reads every pass and quiet stretch of a long walk, though only some are kept:
    // a pass missed far beyond the first thousand is named.
    void theResultOfALongWalk() {
        commission::ReportContents r;
        r.walkFile = "long.csv";
        r.walk.KeepAlso([](const commission::WalkSegment& s) { return !commission::VerdictOf(s).good; });
        std::int64_t ms = 0;
        commission::recording::Mark parameters;
        parameters.kind = commission::recording::Mark::Kind::Parameters;
        parameters.parameters = protocol::params::EncodeRecord(DetectorModel::FactoryDefaults());
        r.walk.Mark(parameters);
        for (int i = 1; i <= 3000; ++i) {
            commission::recording::Mark m;
            m.kind = commission::recording::Mark::Kind::Pass;
            m.number = i;
            m.ms = ms;
            r.walk.Mark(m);
            protocol::StatusRecord quiet, alarm;
            if (i != 2718) alarm.stateFlags = 1u << protocol::StateOut1; // output 1 switches on, but once
            r.walk.Reply(++ms, quiet);
            r.walk.Reply(++ms, alarm);
            ms += 100;
        }
        r.walk.Finish();
        QVERIFY(r.walk.Segments().size() < 1100);
        QCOMPARE(commission::ResultLine(r), QString("NOT PASSED: pass 2718 not detected."));
    }

    // The quick reading of the written form takes only what the full reading takes, with the same values,
    // and leaves every other spelling to it.
    void theWrittenFormIsReadQuickly_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("quick"); // read by the quick reading (else left to ParseLine)
        const QByteArray written = commission::recording::CsvLineBytes(1234, walk(10));
        // The line of an empty reply at 5 ms with one cell (0 the time) spelt otherwise.
        const auto with = [](int cell, const char* text) {
            QList<QByteArray> cells = commission::recording::CsvLineBytes(5, {}).split(',');
            cells[cell] = text;
            return cells.join(',');
        };
        QTest::newRow("as written") << written << true;
        QTest::newRow("a field in hex") << with(1, "0x1f") << true;
        QTest::newRow("capital hex digits") << with(20, "0xFFFF") << true;
        QTest::newRow("minus zero") << with(1, "-0") << true;
        QTest::newRow("a plus sign") << with(1, "+7") << false;
        QTest::newRow("a space in a cell") << with(1, " 7") << false;
        QTest::newRow("0x twice") << with(1, "0x0x1f") << false;
        QTest::newRow("a signal below 0") << with(1, "-1") << false;
        QTest::newRow("an axis beyond 127") << with(24, "128") << false;
        QTest::newRow("the temperature in hex") << with(16, "0xffff") << false;
        QTest::newRow("a time beyond 64 bits") << with(0, "99999999999999999999") << false;
        QTest::newRow("an empty field") << with(3, "") << false;
        QTest::newRow("a field short") << written.left(written.lastIndexOf(',')) << false;
        QTest::newRow("a field more") << written + ",0" << false;
        QTest::newRow("a mark") << QByteArray("# pass 1 at 5 ms") << false;
    }

    void theWrittenFormIsReadQuickly() {
        QFETCH(QByteArray, line);
        QFETCH(bool, quick);
        std::int64_t quickMs = -1, ms = -1;
        protocol::StatusRecord quickReply, reply;
        QString error;
        QCOMPARE(commission::recording::ParseWrittenLine(line, quickMs, quickReply), quick);
        const bool full = commission::recording::ParseLine(QString::fromLatin1(line), ms, reply, error);
        if (!quick) return;
        QVERIFY2(full, qPrintable(error));
        QCOMPARE(quickMs, ms);
        QVERIFY(quickReply == reply);
    }

    // A note is kept as one line of text that reads the same everywhere: no direction or zero-width
    // controls (they would print it reversed), and no cell a spreadsheet would take for a formula.
    void notesReadTheSameEverywhere() {
        const struct {
            const char16_t* written;
            const char16_t* kept;
        } cases[] = {{u"\u202Eevil\u202C", u"evil"}, {u"a\u200Bb\u2066c\u2069\uFEFF", u"abc"},
                     {u"10 m,=1+1", u"10 m,'=1+1"},  {u"left, @SUM(A1), -3, +4", u"left, '@SUM(A1), '-3, '+4"},
                     {u"10 m, left", u"10 m, left"}, {u"say \"hi\"\nthere", u"say 'hi' there"}};
        for (const auto& c : cases) {
            const QString kept = commission::recording::CleanNote(QString::fromUtf16(c.written));
            QCOMPARE(kept, QString::fromUtf16(c.kept));
            QCOMPARE(commission::recording::CleanNote(kept), kept); // (read back, it stays as it is)
        }
        // Cut to its 200 characters once the apostrophe is in: read back, it stays as it is.
        const QString kept = commission::recording::CleanNote(QString(198, QLatin1Char('a')) + QStringLiteral(",=1+1"));
        QCOMPARE(kept, QString(198, QLatin1Char('a')) + QStringLiteral(",'"));
        QCOMPARE(commission::recording::CleanNote(kept), kept);
    }

    // Record, the installation report and Save Image ask before an extension they add makes them
    // replace an existing file, and leave it alone on No. A full disk (the file size limit stands in
    // for it) leaves the recording with whole lines only, and says why.
    void writersAskAndKeepWholeLines() {
        QTemporaryDir dir;
        PtyPeer peer;
        app::Program program(protocol::PortRoots{"/nonexistent", "/nonexistent"});
        app::MainWindow& mainWindow = program.mainWindow();
        seriallink::PortDialog& portDialog = program.portDialog();
        graph::GraphWindow& graph = program.graphWindow();
        mainWindow.setEndProcess([](int) {});
        portDialog.portCombo()->setEditText(QString::fromStdString(peer.path()));
        mainWindow.connectAction()->trigger();
        peer.write(reply9(DetectorModel::FactoryDefaults()));
        mainWindow.link().tick();
        QVERIFY(mainWindow.link().ParametersKnown());
        mainWindow.commissioning().AskReportDetails = [](QString&, QString&, QString&) { return true; };

        QString chosen;
        dialogs::SetFileDialogHandler(
            [&](QWidget*, dialogs::FileDialogKind, const QString&, const QString&) { return chosen; });
        QStringList asked;
        dialogs::SetQuestionHandler([&](QWidget*, const QString& text) { return asked << text, false; });
        const struct {
            const char* name;
            QAction* command;
        } writers[] = {{"walk", mainWindow.commissioning().recordAction()},
                       {"report", mainWindow.commissioning().reportAction()},
                       {"graph", graph.saveImageAction()}};
        const char* extensions[] = {".csv", ".pdf", ".png"};
        for (int i = 0; i < 3; ++i) {
            const QString existing = dir.filePath(QString::fromLatin1(writers[i].name) + extensions[i]);
            QFile f(existing);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write("keep") == 4);
            f.close();
            chosen = dir.filePath(QString::fromLatin1(writers[i].name));
            writers[i].command->trigger();
            QCOMPARE(asked.size(), i + 1);
            QVERIFY2(asked.last().contains(existing), writers[i].name);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), QByteArray("keep"));
        }
        QVERIFY(!mainWindow.commissioning().Recorder().Recording());
        // The questions of a report answered while the link connected again by itself, perhaps to
        // another detector: no report is written of either.
        mainWindow.commissioning().AskReportDetails = [&](QString&, QString&, QString&) {
            mainWindow.link().Connect();
            peer.write(reply9(DetectorModel::FactoryDefaults()));
            mainWindow.link().tick();
            return true;
        };
        chosen = dir.filePath("fresh.pdf");
        mainWindow.commissioning().reportAction()->trigger();
        QVERIFY(!said.empty() && said.back().contains("connected again"));
        QVERIFY(LoopTurns()); // (nothing deferred writes it either)
        QVERIFY(!QFile::exists(chosen));
        dialogs::SetFileDialogHandler({});
        dialogs::SetQuestionHandler({});

        commission::WalkRecorder& recorder = mainWindow.commissioning().Recorder();
        const QString full = dir.filePath("full.csv");
        QString error;
        // A symbolic link where the recording goes is not followed, dangling or not.
        const QString link = dir.filePath("link.csv"), target = dir.filePath("elsewhere.csv");
        QCOMPARE(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()), 0);
        QVERIFY(!recorder.Start(link, error));
        QVERIFY2(error.contains("link.csv") && !QFile::exists(target), qPrintable(error));
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        ::getrlimit(RLIMIT_FSIZE, &old);
        rlimit small = old;
        small.rlim_cur = 600; // the header and a few lines, the last of them cut
        ::setrlimit(RLIMIT_FSIZE, &small);
        bool writing = recorder.Start(full, error);
        const auto status = protocol::EncodeStatus(walk(3));
        for (int i = 0; writing && i < 100; ++i) writing = recorder.Record(status.data(), error);
        ::setrlimit(RLIMIT_FSIZE, &old);
        QVERIFY(!writing);
        QVERIFY2(error.contains("File too large"), qPrintable(error));
        QFile f(full);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray content = f.readAll();
        QVERIFY(content.endsWith('\n'));
        QCOMPARE(content.count('\n'), recorder.Lines() + 1);

        // A file the user agreed to replace stays whole until the recording is complete, and a start that
        // fails leaves no file behind.
        const QString kept = dir.filePath("kept.csv");
        {
            QFile old(kept);
            QVERIFY(old.open(QIODevice::WriteOnly) && old.write("an older walk\n") == 14);
        }
        QVERIFY(recorder.Start(kept, error));
        QVERIFY(recorder.Record(status.data(), error));
        QFile during(kept);
        QVERIFY(during.open(QIODevice::ReadOnly));
        QCOMPARE(during.readAll(), QByteArray("an older walk\n"));
        QVERIFY(recorder.Stop());
        QFile after(kept);
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll().count('\n'), 2); // the header and the reply
        small.rlim_cur = 10;                      // not even the header
        ::setrlimit(RLIMIT_FSIZE, &small);
        const QStringList before = QDir(dir.path()).entryList(QDir::Files);
        QVERIFY(!recorder.Start(dir.filePath("refused.csv"), error));
        ::setrlimit(RLIMIT_FSIZE, &old);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), before);
        mainWindow.exitAction()->trigger();
    }

    // However a file is made, reading it never holds the window: a replay reads a slice of bytes per
    // turn of the event loop (blank lines, one line without end), and a file that is not a regular one
    // on a disk (a FIFO, a file the system makes up) is refused before it is read. (How long the loop
    // waits at most for its turn is printed; scripts/bench measures it.)
    void readersNeverHoldTheWindow_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("replay");  // else read as a parameter file (Open Config, Compare)
        QTest::addColumn<QString>("told"); // what the user is told; empty: the replay went through
        QTest::newRow("32 MB of blank lines") << "blank.csv" << true << "";
        QTest::newRow("one 50 MB line") << "long.csv" << true << "Line 2 of";
        QTest::newRow("a 50 MB comment") << "comment.csv" << true << "";
        QTest::newRow("a NUL in a field") << "nul.csv" << true << "Line 2 of";
        QTest::newRow("a FIFO") << "fifo.csv" << true << "not a regular file";
        QTest::newRow("a file under /proc") << "/proc/self/status" << true << "not a file on a disk";
        QTest::newRow("the kernel's messages (root)") << "/proc/kmsg" << true << "not a file on a disk";
        QTest::newRow("a parameter file under /proc") << "/proc/self/status" << false << "not a file on a disk";
    }

    void readersNeverHoldTheWindow() {
        QFETCH(QString, file);
        QFETCH(bool, replay);
        QFETCH(QString, told);
        if (file == "/proc/kmsg" && (::geteuid() != 0 || !QFileInfo::exists(file)))
            QSKIP("only root reads the kernel's messages");
        QTemporaryDir dir;
        const QString path = file.startsWith('/') ? file : dir.filePath(file);
        if (file == "fifo.csv") QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        QFile f(path);
        if ((file == "blank.csv" || file == "long.csv" || file == "comment.csv") && f.open(QIODevice::WriteOnly)) {
            f.write(commission::recording::CsvHeader().toUtf8() + '\n');
            if (file == "comment.csv") f.write("# ");
            const QByteArray megabyte(1 << 20, file == "blank.csv" ? '\n' : 'x');
            for (int i = 0; i < (file == "blank.csv" ? 32 : 50); ++i) f.write(megabyte);
            f.write('\n' + commission::recording::CsvLine(0, walk(5)).toUtf8() + '\n');
            f.close();
        } else if (file == "nul.csv" && f.open(QIODevice::WriteOnly)) {
            QByteArray reply = commission::recording::CsvLine(0, walk(5)).toUtf8();
            reply.replace(reply.indexOf(',') + 1, reply.indexOf(',', reply.indexOf(',') + 1) - reply.indexOf(',') - 1,
                          QByteArray("55\0zzz", 6));
            f.write(commission::recording::CsvHeader().toUtf8() + '\n' + reply + '\n');
            f.close();
        }

        app::MainWindow mainWindow;
        graph::GraphWindow graph(&mainWindow);
        mainWindow.setCompanions(nullptr, &graph);
        bool done = false;
        const LoopHold hold;
        int turns = 0;
        QTimer turning;
        QObject::connect(&turning, &QTimer::timeout, [&turns] { ++turns; });
        turning.start(0);
        QTimer::singleShot(0, [&] {
            QString error;
            protocol::params::Record bytes{};
            if (replay) mainWindow.commissioning().StartReplay(path);
            else if (!config::ReadParameterFile(path, bytes, error)) said.push_back(error);
            done = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(done && !mainWindow.commissioning().Replaying(), 60000);
        turning.stop();
        qInfo("longest hold of the event loop: %.1f ms, %d turns", hold.Ms(), turns);
        if (told.isEmpty()) {
            // The loop turned between the slices: at least one turn for every two.
            const qint64 slices = QFileInfo(path).size() / commission::RecordingReader::SliceBytes;
            QVERIFY2(turns >= slices / 2, qPrintable(QStringLiteral("%1 turns, %2 slices").arg(turns).arg(slices)));
            QVERIFY2(said.empty(), qPrintable(said.empty() ? QString() : said.front()));
            QCOMPARE(graph.State().SweepPosition, 1); // the reply after the blank lines was shown
        } else {
            QCOMPARE(said.size(), std::size_t(1));
            QVERIFY2(said[0].contains(told) && said[0].contains(path), qPrintable(said[0]));
            if (file == "nul.csv") QVERIFY2(said[0].contains("NUL"), qPrintable(said[0]));
        }
    }

    // The Record button is pressed while a recording is being written, and only then; a refusal, or a
    // recording that stops by itself, says why in the status bar; a link lost and waited for pauses it.
    void recordShowsWhatIsRecorded_data() {
        QTest::addColumn<QString>("event");
        QTest::addColumn<QString>("notice"); // the status bar's notice afterwards, its beginning
        QTest::newRow("not connected") << "not connected"
                                       << "Not recording: connect first";
        QTest::newRow("the file dialog cancelled") << "cancel"
                                                   << "";
        QTest::newRow("a full disk") << "full disk"
                                     << "Recording stopped: File too large";
        QTest::newRow("the link closed") << "disconnect"
                                         << "Recording stopped: the link was closed";
        QTest::newRow("the link lost") << "lose"
                                       << "Recording stopped: the detector stopped answering.";
        QTest::newRow("the link lost, reconnecting") << "lose, reconnecting"
                                                     << "Recording paused: link lost";
        QTest::newRow("connected again") << "connect again"
                                         << "Recording stopped: the link was connected";
    }

    void recordShowsWhatIsRecorded() {
        QFETCH(QString, event);
        QFETCH(QString, notice);
        QTemporaryDir dir;
        PtyPeer peer;
        app::MainWindow mainWindow;
        mainWindow.setEndProcess([](int) {});
        mainWindow.resize(988, 600);
        seriallink::PortDialog portDialog(&mainWindow, protocol::PortRoots{"/nonexistent", "/nonexistent"});
        mainWindow.setCompanions(&portDialog, nullptr);
        portDialog.portCombo()->setEditText(QString::fromStdString(peer.path()));
        if (event != "not connected") {
            mainWindow.connectAction()->trigger();
            peer.write(reply9(DetectorModel::FactoryDefaults()));
            mainWindow.link().tick();
            QVERIFY(mainWindow.link().ParametersKnown());
        }
        const QString csv = dir.filePath("walk.csv");
        auto* button = mainWindow.findChild<QToolButton*>("ActionItem_Record");
        bool pressedWhileAsked = false;
        dialogs::SetFileDialogHandler([&](QWidget*, dialogs::FileDialogKind, const QString&, const QString&) {
            pressedWhileAsked = button->isChecked();
            return event == "cancel" ? QString() : csv;
        });
        auto* shown = mainWindow.findChild<widgets::NoticeLabel*>("StatusNotice");
        QAction* action = mainWindow.commissioning().recordAction();
        commission::WalkRecorder& recorder = mainWindow.commissioning().Recorder();
        auto pressedMeansRecording = [&] {
            return button->isChecked() == recorder.Recording() && action->isChecked() == recorder.Recording();
        };

        button->click();
        QVERIFY(!pressedWhileAsked);
        QVERIFY(pressedMeansRecording());
        const bool starts = event != "not connected" && event != "cancel";
        QCOMPARE(recorder.Recording(), starts);
        if (event == "full disk") {
            ::signal(SIGXFSZ, SIG_IGN);
            rlimit old{};
            ::getrlimit(RLIMIT_FSIZE, &old);
            rlimit small = old;
            small.rlim_cur = 600; // the header and a few lines
            ::setrlimit(RLIMIT_FSIZE, &small);
            for (int i = 0; i < 20 && recorder.Recording(); ++i) {
                peer.write(replyFrame(8, protocol::EncodeStatus(walk(i))));
                mainWindow.link().tick();
            }
            ::setrlimit(RLIMIT_FSIZE, &old);
        } else if (event == "disconnect") {
            mainWindow.connectAction()->trigger();
        } else if (event.startsWith("lose")) { // the adapter pulled out: the recording stops with the link
            portDialog.reconnectBox()->setChecked(event.endsWith("reconnecting"));
            bool recordingWhenTold = false;
            dialogs::SetMessageHandler([&](QWidget*, const QString&) { recordingWhenTold = recorder.Recording(); });
            peer.hangUp();
            for (int i = 0; i < 6 && mainWindow.link().State() == seriallink::LinkState::Polling; ++i)
                mainWindow.link().tick();
            QVERIFY(!recordingWhenTold); // stopped (or paused) before the box about the loss
        } else if (event == "connect again") {
            mainWindow.link().Connect();
        }
        const bool paused = event == "lose, reconnecting";
        QCOMPARE(recorder.Recording(), paused);
        QVERIFY(pressedMeansRecording());
        if (!notice.isEmpty()) QVERIFY2(shown->notice().startsWith(notice), qPrintable(shown->notice()));
        if (starts && !paused)
            QVERIFY2(shown->toolTip().contains("\"walk.csv\" holds the"), qPrintable(shown->toolTip()));
        dialogs::SetFileDialogHandler({});
        mainWindow.exitAction()->trigger();
    }

    // A file whose name is not UTF-8 text cannot be listed by the file dialog, nor opened by a name it
    // gives back: the dialog says below its list which files of the folder shown it leaves out, and to
    // rename them.
    // Each kind of file opens in the folder used last for that kind.
    void eachKindOfFileHasItsFolder() {
        const struct {
            const char *caption, *filter, *folder;
        } cases[] = {{"Open Config", "bin (*.bin)", "/srv/sites/params"},
                     {"Record Walk Test", "CSV (*.csv)", "/srv/walks"},
                     {"Installation Report", "PDF (*.pdf)", "/srv/reports"},
                     {"Export Event Memory", "CSV (*.csv)", "/srv/exports"},
                     {"Save Image", "PNG (*.png)", "/srv/images"}};
        for (const auto& c : cases) dialogs::RememberFolder(c.caption, c.filter, QString(c.folder) + "/file");
        const struct {
            const char *caption, *filter, *folder;
        } asked[] = {{"Save Config", "bin (*.bin)", "/srv/sites/params"},
                     {"Replay Walk Test", "CSV (*.csv)", "/srv/walks"},
                     {"Installation Report", "PDF (*.pdf)", "/srv/reports"},
                     {"Export Event Memory", "CSV (*.csv)", "/srv/images"}}; // (exports share one)
        for (const auto& a : asked) QCOMPARE(dialogs::LastFolder(a.caption, a.filter), QString(a.folder));
    }

    void theFileDialogNamesWhatItCannotList() {
        QTemporaryDir dir, clean;
        const QByteArray names[] = {"walk.csv", "w\xe4lk.csv", "\xff\xfe.csv"};
        auto pathOf = [&](const QByteArray& name) { return QFile::encodeName(dir.path()) + '/' + name; };
        // (QTemporaryDir does not see such names either: they are removed here.)
        const std::shared_ptr<void> removed(nullptr, [&](void*) {
            for (const QByteArray& name : names) ::unlink(pathOf(name).constData());
        });
        for (const QByteArray& name : names) {
            const int fd = ::open(pathOf(name).constData(), O_WRONLY | O_CREAT, 0600);
            QVERIFY(fd >= 0);
            ::close(fd);
        }
        QCOMPARE(dialogs::UnlistedNames(dir.path()), QStringList({"w\uFFFDlk.csv", "\uFFFD\uFFFD.csv"}));
        // Read no further than it may: the folder holds five entries with "." and "..".
        for (const auto& [most, toTheEnd] : {std::pair(1, false), std::pair(5, true)}) {
            bool complete = !toTheEnd;
            dialogs::UnlistedNames(dir.path(), &complete, most);
            QCOMPARE(complete, toTheEnd);
        }
        const std::unique_ptr<QFileDialog> dialog(dialogs::MakeFileDialog(
            nullptr, dialogs::FileDialogKind::Open, "Replay Walk Test", "CSV (*.csv)", dir.path()));
        auto* note = dialog->findChild<QLabel*>("UnlistedNames");
        QVERIFY(note);
        dialog->show();
        QVERIFY(note->isVisible());
        QVERIFY2(note->text().startsWith("Not listed here: 2 files") && note->text().contains("\"w\uFFFDlk.csv\"") &&
                     note->text().contains("Rename them"),
                 qPrintable(note->text()));
        dialog->setDirectory(clean.path()); // as when the user goes to another folder
        QVERIFY(!note->isVisible());
        dialog->setDirectory(dir.path());
        QVERIFY(note->isVisible());
    }

    // The file dialogs read no file: shown on a folder that holds a link to a file whose opening waits
    // and a FIFO, they list both, take either name typed and give it back, and the window answers all
    // the while (its event loop turns); none of them is opened until the command that asked for the
    // name checks it, which refuses both without waiting.
    void theFileDialogsOpenNoFile_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("told");
        const QString held = "another program holds it", fifo = "it is not a regular file";
        for (const char* command : {"Open Config", "Compare Files", "Replay", "Suggest Thresholds"}) {
            const QString suffix = QString(command).startsWith("Replay") || QString(command).startsWith("Suggest")
                                       ? QStringLiteral(".csv")
                                       : QStringLiteral(".bin");
            QTest::addRow("%s: a link to a file whose opening waits", command) << command << "x" + suffix << held;
            QTest::addRow("%s: a FIFO", command) << command << "pipe" + suffix << fifo;
        }
    }

    void theFileDialogsOpenNoFile() {
        QFETCH(QString, command);
        QFETCH(QString, name);
        QFETCH(QString, told);
        QTemporaryDir dir;
        const QString folder = dir.filePath("site"), target = dir.filePath("elsewhere");
        QVERIFY(QDir().mkpath(folder));
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(44, '\1')) == 44);
        file.close();
        for (const char* suffix : {".bin", ".csv"}) {
            QVERIFY(QFile::link(target, folder + "/x" + suffix));
            QCOMPARE(::mkfifo(QFile::encodeName(folder + "/pipe" + suffix).constData(), 0600), 0);
        }
        OpenWatch watch(target, folder + "/pipe" + name.right(4));
        QTRY_VERIFY(watch.Ready() || watch.Refused());
        if (watch.Refused()) QSKIP("no lease can be taken on a file here");

        app::MainWindow mainWindow;
        graph::GraphWindow graph(&mainWindow);
        mainWindow.setCompanions(nullptr, &graph);
        mainWindow.show();
        QVERIFY(QTest::qWaitForWindowExposed(&mainWindow));
        QString openedInDialog;
        int shown = 0;
        // A user at the program's own dialog: it shows the folder, the name is typed, Open is pressed.
        dialogs::SetFileDialogHandler([&](QWidget* parent, dialogs::FileDialogKind kind, const QString& caption,
                                          const QString& filter) {
            ++shown;
            const std::unique_ptr<QFileDialog> dialog(dialogs::MakeFileDialog(parent, kind, caption, filter, folder));
            auto* model = dialog->findChild<QFileSystemModel*>();
            bool loaded = false;
            QObject::connect(model, &QFileSystemModel::directoryLoaded,
                             [&](const QString& path) { loaded = loaded || path == folder; });
            dialog->setViewMode(QFileDialog::Detail); // (icons and kinds both shown)
            dialog->show();
            if (!QTest::qWaitFor([&] { return loaded; }, 5000)) return QString();
            const bool listed =
                LoopTurns() && !dialog->grab().isNull() && LoopTurns() && model->rowCount(model->index(folder)) >= 1;
            QTest::keyClicks(dialog->findChild<QLineEdit*>("fileNameEdit"), name);
            const bool typed = LoopTurns();
            static_cast<QDialog*>(dialog.get())->accept();
            openedInDialog += watch.Opened();
            if (!listed || !typed) openedInDialog += "(the window did not answer)";
            return dialog->selectedFiles().value(0);
        });
        QAction* action = command == "Open Config"     ? mainWindow.openConfigAction()
                          : command == "Compare Files" ? mainWindow.compareFilesAction()
                          : command == "Replay"        ? mainWindow.commissioning().replayAction()
                                                       : mainWindow.commissioning().suggestions().suggestAction;
        action->trigger();
        QTRY_COMPARE(said.size(), std::size_t(1));
        dialogs::SetFileDialogHandler({});
        QCOMPARE(shown, 1); // (Compare Files stops at the first file it cannot read)
        QCOMPARE(openedInDialog, QString());
        QVERIFY2(said[0].contains(told) && said[0].contains(name), qPrintable(said[0]));
        // The check itself opens the file without waiting (and the lease tells), the FIFO not at all.
        QTRY_COMPARE(watch.Opened(), name.startsWith("x") ? QString("L") : QString());
        QVERIFY(LoopTurns());
    }

    void theComparisonListsExactlyTheDifferences() {
        protocol::params::Parameters detector = DetectorModel::FactoryDefaults();
        detector.outputs[0].function = protocol::params::AutoTest;
        protocol::params::Parameters file = detector;
        QVERIFY(config::CompareParameters(file, detector).empty());
        file.channels[2].npulse = 4;
        file.outputs[0].function = 9; // shown as AUTO TEST too, yet another byte
        file.outputs[1].function = protocol::params::NoFunction;
        file.reserved = {9, 9, 9, 9}; // the detector's own bytes: not a setting
        const auto d = config::CompareParameters(file, detector);
        QCOMPARE(d.size(), std::size_t(3));
        QCOMPARE(d[0].name, QString("PIR DOWN UNDER Pulses"));
        QCOMPARE(d[0].fileValue, QString("4"));
        QCOMPARE(d[0].detectorValue, QString("2"));
        QCOMPARE(d[1].fileValue, QString("AUTO TEST (9)"));
        QCOMPARE(d[1].detectorValue, QString("AUTO TEST"));
        QCOMPARE(d[2].name, QString("OUT #2 Function"));
        QCOMPARE(d[2].fileValue, QString("none"));
        QCOMPARE(d[2].detectorValue, QString("Mask #1-#2"));
    }
};

OSTREVO_GUI_TEST_MAIN(TestCommissioning)
#include "test_commissioning.moc"
