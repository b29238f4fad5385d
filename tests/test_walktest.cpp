// The walk test: marks and pauses recorded and read back by the replay, the pass table from a file of
// known peaks, the thresholds suggested for a table of peaks and their way to the detector, the replay's
// controls (seek, step, keys), through the real window, the real tick and the real virtual detector.
#include "DetectorModel.h"
#include "GuiTestMain.h"
#include "HeldPollTimer.h"
#include "PtyPeer.h"
#include "ReplyFrames.h"
#include "SimProcess.h"
#include "app/MainWindow.h"
#include "app/MessageHistory.h"
#include "app/Program.h"
#include "commission/Commissioning.h"
#include "commission/Recording.h"
#include "commission/RecordingScan.h"
#include "commission/Replay.h"
#include "commission/ReplayBar.h"
#include "commission/Report.h"
#include "commission/ReportNotice.h"
#include "commission/ThresholdSuggestions.h"
#include "commission/WalkAnalysis.h"
#include "commission/WalkRecording.h"
#include "dialogs/FileDialogs.h"
#include "dialogs/UserDialogs.h"
#include "graph/GraphWindow.h"
#include "monitor/LiveMarks.h"
#include "protocol/ParameterBlock.h"
#include "seriallink/PortDialog.h"
#include "view/ViewPage.h"
#include "widgets/LevelBar.h"
#include "widgets/TrackBar.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSlider>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>
#include <set>

namespace {

using Kind = commission::recording::Mark::Kind;

commission::recording::Mark mark(Kind kind, std::int64_t ms, int number = 0, const QString& text = {},
                                 std::int64_t length = 0) {
    commission::recording::Mark m;
    m.kind = kind;
    m.ms = ms;
    m.number = number;
    m.text = text;
    m.lengthMs = length;
    return m;
}

commission::recording::Mark parametersMark(std::int64_t ms, const protocol::params::Parameters& p) {
    commission::recording::Mark m = mark(Kind::Parameters, ms);
    m.parameters = protocol::params::EncodeRecord(p);
    return m;
}

// A reply whose values say which one it is: MW signal 10 + i % 600, PIR1 signal i / 600.
protocol::StatusRecord numbered(int i) {
    protocol::StatusRecord s;
    s.channels[0].signal = static_cast<std::uint16_t>(10 + i % 600);
    s.channels[1].signal = static_cast<std::uint16_t>(1 + i / 600);
    s.channels[2].signal = 40;
    for (auto& c : s.channels) c.compensation = 400;
    s.acc = {0, 0, 64};
    return s;
}

int numberOf(const protocol::StatusRecord& s) {
    return (s.channels[1].signal - 1) * 600 + (s.channels[0].signal - 10);
}

void writeLines(const QString& path, const QStringList& lines) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) qFatal("cannot write %s", qPrintable(path));
    f.write(commission::recording::CsvHeader().toUtf8() + '\n');
    for (const QString& l : lines) f.write(l.toUtf8() + '\n');
}

// Every entry of a recording, read as a replay reads it.
struct Read {
    std::vector<commission::RecordingReader::Entry> replies, marks;
    std::vector<commission::RecordingReader::Entry> all;
    std::vector<bool> isMark;
};
Read readAll(const QString& path) {
    Read r;
    commission::RecordingReader reader;
    QString error;
    if (!reader.Open(path, error)) qFatal("%s", qPrintable(error));
    commission::RecordingReader::Entry e;
    for (;;) {
        const auto result = reader.Next(e, error);
        if (result == commission::RecordingReader::Result::Later) continue;
        if (result != commission::RecordingReader::Result::Reply && result != commission::RecordingReader::Result::Mark)
            break;
        (result == commission::RecordingReader::Result::Mark ? r.marks : r.replies).push_back(e);
        r.all.push_back(e);
        r.isMark.push_back(result == commission::RecordingReader::Result::Mark);
    }
    return r;
}

QString noticeOf(app::MainWindow& w) {
    return w.findChild<QLabel*>(QStringLiteral("StatusNotice"))->toolTip();
}

QString pdfText(const QString& pdf) {
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    text.waitForFinished(20000);
    return QString::fromUtf8(text.readAllStandardOutput()).simplified();
}

} // namespace

class TestWalkTest : public QObject {
    Q_OBJECT
    std::vector<QString> said;

  private slots:
    void init() {
        said.clear();
        dialogs::SetMessageHandler([this](QWidget*, const QString& t) { said.push_back(t); });
    }
    void cleanup() {
        dialogs::SetMessageHandler({});
        dialogs::SetFileDialogHandler({});
        dialogs::SetQuestionHandler({});
    }

    // A walk recorded against the virtual detector: a quiet stretch, a pass with its note and its end
    // marked by keys, a visit of the LOGS tab and a lost link. Each pause is told in the status bar for
    // as long as it lasts and marked in the file, no gap goes unmarked; the replay reads the marks back
    // (lines and bands on the graph, the pause told), its picture stays at the end, and the report made
    // from it counts the pauses and lists the pass.
    void marksAndPausesAreRecordedAndReplayed() {
        QTemporaryDir dir;
        const QString link = dir.filePath("ttyADAPTER");
        SimProcess sim({"--no-pacing", "--intruder-every", "0", "--link", link});
        QVERIFY(!sim.port().isEmpty());
        app::Program program(protocol::PortRoots{"/nonexistent", "/nonexistent"});
        app::MainWindow& w = program.mainWindow();
        seriallink::PortDialog& portDialog = program.portDialog();
        graph::GraphWindow& graph = program.graphWindow();
        w.setEndProcess([](int) {});
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        portDialog.reconnectBox()->setChecked(true);
        portDialog.timeoutBar()->setValue(50);
        portDialog.portCombo()->setEditText(link);
        w.connectAction()->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(w.link().ParametersKnown() && w.link().counters().LastReplyCode == 8, 5000);

        const QString csv = dir.filePath("walk.csv");
        dialogs::SetFileDialogHandler(
            [&](QWidget*, dialogs::FileDialogKind, const QString&, const QString&) { return csv; });
        commission::Commissioning& c = w.commissioning();
        commission::WalkRecording& walk = c.walkRecording();
        c.recordAction()->trigger();
        QVERIFY(c.Recorder().Recording());
        QVERIFY(walk.bar()->isVisible());
        auto repliesGrow = [&] {
            const auto lines = c.Recorder().Lines();
            QTRY_VERIFY_WITH_TIMEOUT(c.Recorder().Lines() > lines + 10, 5000);
        };
        repliesGrow();
        QTest::keyClick(&w, Qt::Key_Q); // a quiet stretch, nobody in the field
        repliesGrow();
        walk.noteEdit()->setText(QStringLiteral("10 m, \"left\" to right")); // (a quote would open a CSV cell)
        QTest::keyClick(&w, Qt::Key_M);                                      // the pass, with its note
        QVERIFY(walk.noteEdit()->text().isEmpty());
        QVERIFY(sim.command("intruder"));
        // The walk goes by within the pass: the recording sees OUT1 switch on in it.
        QTRY_VERIFY_WITH_TIMEOUT(walk.Walk().Segments().back().outputAfterMs[0] >= 0, 5000);
        QTest::keyClick(&w, Qt::Key_E);

        // The LOGS tab: paused, and said so in place of the clock for as long as it lasts.
        w.tabs()->setCurrentIndex(1);
        QCOMPARE(noticeOf(w), QString("Recording paused: LOGS tab"));
        QTest::keyClick(&w, Qt::Key_M); // nothing of a pass would be recorded now
        QVERIFY2(noticeOf(w).startsWith("Nothing is marked: the recording is paused"), qPrintable(noticeOf(w)));
        // Once the recording's clock has gone past its next second, the pause is still said, not the clock.
        const std::int64_t pausedAt = c.Recorder().ElapsedMs();
        QTRY_VERIFY_WITH_TIMEOUT(c.Recorder().ElapsedMs() >= pausedAt + 1300, 5000);
        QCOMPARE(noticeOf(w), QString("Recording paused: LOGS tab"));
        w.tabs()->setCurrentIndex(0);
        QTRY_VERIFY_WITH_TIMEOUT(noticeOf(w).startsWith("Recording 0:"), 3000);
        repliesGrow();

        // The adapter pulled out and put back: paused while the link is lost, on with the same detector.
        QVERIFY(sim.command("unplug 1500"));
        QTRY_COMPARE_WITH_TIMEOUT(noticeOf(w), QString("Recording paused: link lost"), 3000);
        QTRY_VERIFY_WITH_TIMEOUT(
            w.link().State() == seriallink::LinkState::Polling && noticeOf(w).startsWith("Recording "), 5000);
        QVERIFY(c.Recorder().Recording());
        repliesGrow();
        c.recordAction()->trigger();
        QVERIFY(!c.Recorder().Recording());
        QVERIFY(said.empty());

        // The file: the marks in their order, each pause spanning its gap, and no gap unmarked.
        const Read r = readAll(csv);
        std::vector<Kind> kinds;
        for (const auto& m : r.marks) kinds.push_back(m.mark.kind);
        QCOMPARE(kinds,
                 (std::vector<Kind>{Kind::Parameters, Kind::Quiet, Kind::Pass, Kind::End, Kind::Paused, Kind::Paused}));
        QCOMPARE(r.marks[0].mark.parameters, protocol::params::EncodeRecord(DetectorModel::FactoryDefaults()));
        QCOMPARE(r.marks[2].mark.number, 1);
        QCOMPARE(r.marks[2].mark.text, QString("10 m, 'left' to right"));
        const commission::recording::Mark logs = r.marks[4].mark, lost = r.marks[5].mark;
        QCOMPARE(logs.text, QString("LOGS tab"));
        QVERIFY2(logs.lengthMs >= 1300, qPrintable(QString::number(logs.lengthMs)));
        QCOMPARE(lost.text, QString("link lost"));
        QVERIFY2(lost.lengthMs >= 1400, qPrintable(QString::number(lost.lengthMs)));
        for (std::size_t i = 1; i < r.all.size(); ++i) {
            if (r.isMark[i]) continue;
            std::size_t before = i - 1;
            while (before > 0 && r.isMark[before]) --before;
            const std::int64_t gap = r.all[i].ms - r.all[before].ms;
            bool marked = false;
            for (std::size_t k = before + 1; k < i; ++k)
                marked = marked || (r.all[k].mark.kind == Kind::Paused && r.all[k].mark.ms >= r.all[before].ms - 1 &&
                                    r.all[k].mark.ms + r.all[k].mark.lengthMs >= r.all[i].ms - 100);
            QVERIFY2(gap < 500 || marked,
                     qPrintable(QStringLiteral("a gap of %1 ms before line %2 unmarked").arg(gap).arg(i)));
        }

        // Replayed: the marks come back on the graph and the pause is told; the picture stays at the end.
        w.connectAction()->trigger(); // Disconnect
        c.setMaxReplayGapMs(300);
        QSet<QString> notices;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] { notices.insert(noticeOf(w)); });
        watch.start(5);
        QVERIFY(!graph.State().marks.empty()); // the live walk's
        QVERIFY(c.StartReplay(csv));
        for (const graph::Mark& m : graph.State().marks)
            QVERIFY(m.column <= graph.State().SweepPosition); // the replay's
        c.replayer().setSpeed(8);
        QVERIFY(c.replayer().bar()->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!c.Replaying(), 20000);
        watch.stop();
        QVERIFY(std::any_of(notices.begin(), notices.end(),
                            [](const QString& n) { return n.contains("the recording was paused here for"); }));
        std::vector<graph::Mark::Kind> onGraph;
        std::vector<graph::Mark> byColumn = graph.State().marks;
        std::sort(byColumn.begin(), byColumn.end(),
                  [](const graph::Mark& a, const graph::Mark& b) { return a.column < b.column; });
        for (const graph::Mark& m : byColumn)
            if (m.kind != graph::Mark::Kind::Pause || !m.label.isNull()) onGraph.push_back(m.kind); // (a band once)
        QCOMPARE(onGraph, (std::vector<graph::Mark::Kind>{graph::Mark::Kind::Quiet, graph::Mark::Kind::Pass,
                                                          graph::Mark::Kind::End, graph::Mark::Kind::Pause,
                                                          graph::Mark::Kind::Pause}));
        QVERIFY(said.empty());
        QVERIFY(c.replayer().HasPicture());
        QVERIFY(w.view().mw.signal->value() > w.view().mw.signal->minimum());
        QVERIFY(!w.liveMarks().Live());
        QVERIFY(c.replayer().bar()->isVisible()); // to go back into it

        // The report, no detector connected: from the replay's picture and its recording.
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()) QSKIP("pdftotext is not installed");
        const QString pdf = dir.filePath("report.pdf");
        dialogs::SetFileDialogHandler(
            [&](QWidget*, dialogs::FileDialogKind, const QString&, const QString&) { return pdf; });
        c.AskReportDetails = [](QString& site, QString&, QString&) { return site = QStringLiteral("Gate 2"), true; };
        c.reportAction()->trigger();
        // Written off the window's thread; then a notice says so, with Open and Show in Folder, and Messages too.
        QTRY_VERIFY_WITH_TIMEOUT(c.reportNotice()->isVisible(), 10000);
        QVERIFY2(said.empty(), qPrintable(said.empty() ? QString() : said.front()));
        QVERIFY2(w.messages().message(0).startsWith("The report was written"), qPrintable(w.messages().message(0)));
        const QString text = pdfText(pdf);
        for (const char* expected :
             {"Made from the replayed walk test \"walk.csv\"", "Pauses: 2,", "(LOGS tab)", "(link lost)",
              "Pass 1:", "Quiet 1", "OUT1 after", "Not read: no detector was connected", "Signal graph"})
            QVERIFY2(text.contains(QString::fromUtf8(expected)), qPrintable(QString::fromUtf8(expected) + "\n" + text));
        // Connect ends the picture.
        w.connectAction()->trigger();
        QVERIFY(!c.replayer().HasPicture());
        QCOMPARE(w.view().mw.signal->value(), w.view().mw.signal->minimum());
        QVERIFY(!c.replayer().bar()->isVisible());
        w.exitAction()->trigger();
    }

    // The pass table of a recording with known peaks: each channel's peak against the threshold the
    // recording names, the margin, whether it crossed, the detector's own detection, and the outputs
    // that fired after the pass began.
    void thePassTableFromARecordedFile() {
        QTemporaryDir dir;
        protocol::params::Parameters p = DetectorModel::FactoryDefaults(); // thresholds 300, 380, 380
        QStringList lines;
        std::int64_t t = 0;
        auto reply = [&](int mw, int pir1, int pir2, std::uint16_t alarm = 0, std::uint16_t state = 0) {
            protocol::StatusRecord s;
            // (The level on the threshold scale is what counts; the signal plotted is set apart from it.)
            s.channels[0].level = static_cast<std::uint16_t>(mw);
            s.channels[1].level = static_cast<std::uint16_t>(pir1);
            s.channels[2].level = static_cast<std::uint16_t>(pir2);
            for (auto& ch : s.channels) ch.signal = 9;
            s.alarmFlags = alarm;
            s.stateFlags = state;
            lines << commission::recording::CsvLine(t, s);
            t += 50;
        };
        lines << commission::recording::MarkLine(parametersMark(0, p));
        reply(40, 40, 40, 0, 0x0004); // OUT3 on before anything is marked
        lines << commission::recording::MarkLine(mark(Kind::Quiet, t, 1));
        reply(55, 61, 48, 0, 0x0004);
        reply(50, 40, 52);
        lines << commission::recording::MarkLine(mark(Kind::Pass, t, 1, "5 m"));
        reply(120, 40, 40);
        reply(555, 300, 200, 0x0001);         // MW crosses
        reply(300, 700, 570, 0x0014, 0x0001); // both PIRs cross, OUT1 on 100 ms after the start
        reply(60, 40, 40, 0, 0x0001);
        lines << commission::recording::MarkLine(mark(Kind::End, t));
        reply(40, 40, 40);
        lines << commission::recording::MarkLine(mark(Kind::Paused, t, 0, "LOGS tab", 3200));
        t += 3200;
        p.channels[2].trange = 500; // the installer raised PIR DOWN's threshold between the passes
        lines << commission::recording::MarkLine(parametersMark(t, p));
        lines << commission::recording::MarkLine(mark(Kind::Pass, t, 2, "15 m, right to left"));
        reply(299, 381, 420, 0, 0x0002); // OUT2 on at once
        reply(200, 379, 499);
        const QString csv = dir.filePath("passes.csv");
        writeLines(csv, lines);

        commission::RecordingScan scan;
        QString error;
        bool done = false;
        QVERIFY(scan.Start(
            csv, [&](const QString& e) { error = e, done = true; }, error));
        QTRY_VERIFY(done);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        const commission::WalkAnalysis& walk = scan.Analysis();
        QCOMPARE(walk.Segments().size(), std::size_t(3));
        QCOMPARE(walk.Pauses().size(), std::size_t(1));
        QCOMPARE(walk.PausedMs(), std::int64_t(3200));
        const struct {
            int segment, channel, peak, threshold, margin;
            bool detected;
        } rows[] = {
            {0, 0, 55, 300, -82, false}, {0, 1, 61, 380, -84, false}, {0, 2, 52, 380, -86, false},
            {1, 0, 555, 300, 85, true},  {1, 1, 700, 380, 84, true},  {1, 2, 570, 380, 50, true},
            {2, 0, 299, 300, 0, false},  {2, 1, 381, 380, 0, false},  {2, 2, 499, 500, 0, false},
        };
        for (const auto& row : rows) {
            const commission::WalkSegment& s = walk.Segments()[static_cast<std::size_t>(row.segment)];
            const QByteArray where = QStringLiteral("segment %1 channel %2").arg(row.segment).arg(row.channel).toUtf8();
            QVERIFY2(s.peak[row.channel] == row.peak, where);
            QVERIFY2(s.threshold[row.channel] == row.threshold, where);
            QVERIFY2(commission::MarginPercent(s.peak[row.channel], s.threshold[row.channel]) == row.margin, where);
            QVERIFY2(s.detected[row.channel] == row.detected, where);
        }
        const commission::WalkSegment& first = walk.Segments()[1];
        QCOMPARE(first.outputAfterMs, (std::array<std::int64_t, 3>{100, -1, -1}));
        QCOMPARE(first.outputOnAtStart, (std::array<bool, 3>{false, false, false}));
        QCOMPARE(first.endMs - first.startMs, std::int64_t(200));
        QCOMPARE(walk.Segments()[0].outputOnAtStart, (std::array<bool, 3>{false, false, true}));
        const commission::WalkSegment& second = walk.Segments()[2];
        QCOMPARE(second.outputAfterMs, (std::array<std::int64_t, 3>{-1, 0, -1}));
        QCOMPARE(second.note, QString("15 m, right to left"));
        QCOMPARE(second.endMs, walk.LastMs()); // it ran to the end of the recording

        commission::ReportContents r;
        r.walkFile = QStringLiteral("passes.csv");
        r.walk = walk;
        const QString html = commission::WalkHtml(r);
        for (const char* expected :
             {"Pass 1: 5 m", "<td>555</td><td>300</td><td>+85 %</td><td>yes</td><td>yes</td>",
              "<td>299</td><td>300</td><td>0 %</td><td>no</td><td>no</td>",
              "<td>381</td><td>380</td><td>+0 %</td><td>yes</td><td>no</td>", "OUT1 after 0.1 s", "OUT2 after 0.0 s",
              "Pauses: 1, 3.2 s in all", "3.2 s at 0:00.4 (LOGS tab)", "55 of 300 (-82 %)"})
            QVERIFY2(html.contains(QString::fromUtf8(expected)), expected);
    }

    // Thresholds halfway between the highest quiet peak and the weakest pass, rounded up, within the
    // control's range, where they keep a margin of at least 10 and 5 % of themselves on each side; none,
    // said plainly with both figures, where the two are too close, where the weakest pass did not rise
    // above the quiet, or where the control's range leaves too little; a pass that missed its peak in a
    // pause of the recording left out, and said.
    void suggestionsForATableOfPeaks_data() {
        QTest::addColumn<QList<int>>("quiet"); // peaks of MW, PIR1, PIR2 per quiet stretch, in threes
        QTest::addColumn<QList<int>>("passes");
        QTest::addColumn<int>("pausedPass");       // a pass the recording paused in, 0 for none
        QTest::addColumn<QList<int>>("suggested"); // -1: none
        QTest::addColumn<QStringList>("reasons");  // each channel's
        const QStringList none{"", "", ""};
        QTest::newRow("the training detector") << QList<int>{55, 58, 52} << QList<int>{552, 655, 594, 548, 650, 601}
                                               << 0 << QList<int>{302, 354, 323} << none;
        QTest::newRow("halves rounded up")
            << QList<int>{100, 100, 100} << QList<int>{141, 142, 143} << 0 << QList<int>{121, 121, 122} << none;
        QTest::newRow("the highest quiet, the weakest pass")
            << QList<int>{60, 60, 60, 90, 70, 80} << QList<int>{400, 500, 600, 200, 300, 75} << 0
            << QList<int>{145, 185, -1}
            << QStringList{"", "",
                           "no threshold separates them: the weakest pass, pass 2, peaked at 75, not above the "
                           "highest quiet peak, 80 (quiet 2)"};
        QTest::newRow("a pass as high as the quiet")
            << QList<int>{300, 50, 50} << QList<int>{300, 400, 400} << 0 << QList<int>{-1, 225, 225}
            << QStringList{"no threshold separates them: the weakest pass, pass 1, peaked at 300, not above the "
                           "highest quiet peak, 300 (quiet 1)",
                           "", ""};
        QTest::newRow("someone walked in the quiet stretch")
            << QList<int>{46, 52, 595} << QList<int>{350, 405, 601} << 0 << QList<int>{198, 229, -1}
            << QStringList{"", "",
                           "the quiet stretch peaked at 595 (quiet 1), the weakest pass at 601 (pass 1): too close "
                           "for a margin of 30 on each side; was someone in the field?"};
        QTest::newRow("margins at their least")
            << QList<int>{400, 40, 60} << QList<int>{444, 60, 700} << 0 << QList<int>{422, 50, 380}
            << QStringList{"", "", "the threshold is there already"};
        QTest::newRow("a level short of them")
            << QList<int>{400, 40, 60} << QList<int>{443, 59, 700} << 0 << QList<int>{-1, -1, 380}
            << QStringList{"the quiet stretch peaked at 400 (quiet 1), the weakest pass at 443 (pass 1): too close "
                           "for a margin of 22 on each side; was someone in the field?",
                           "the quiet stretch peaked at 40 (quiet 1), the weakest pass at 59 (pass 1): too close for "
                           "a margin of 10 on each side; was someone in the field?",
                           "the threshold is there already"};
        QTest::newRow("beyond the control's range")
            << QList<int>{600, 40, 40} << QList<int>{900, 40, 900} << 0 << QList<int>{-1, -1, 470}
            << QStringList{
                   "no threshold the control can take (10..500) separates them: quiet peak 600, weakest pass 900 "
                   "(pass 1)",
                   "no threshold separates them: the weakest pass, pass 1, peaked at 40, not above the highest quiet "
                   "peak, 40 (quiet 1)",
                   ""};
        QTest::newRow("at the control's end")
            << QList<int>{480, 300, 40} << QList<int>{900, 1300, 400} << 0 << QList<int>{-1, 700, 220}
            << QStringList{"halfway would be 690, but the control takes 10..500: 500 keeps only 20 from the quiet "
                           "peak, less than a margin of 25",
                           "halfway would be 800; the control takes 10..700", ""};
        QTest::newRow("a pass that missed its peak in a pause")
            << QList<int>{50, 50, 50} << QList<int>{400, 400, 400, 60, 60, 60} << 2 << QList<int>{225, 225, 225}
            << none;
    }

    void suggestionsForATableOfPeaks() {
        QFETCH(QList<int>, quiet);
        QFETCH(QList<int>, passes);
        QFETCH(int, pausedPass);
        QFETCH(QList<int>, suggested);
        QFETCH(QStringList, reasons);
        std::vector<commission::WalkSegment> segments;
        auto add = [&](const QList<int>& peaks, bool pass) {
            for (qsizetype i = 0; i + 2 < peaks.size(); i += 3) {
                commission::WalkSegment s;
                s.kind = pass ? Kind::Pass : Kind::Quiet;
                s.number = static_cast<int>(i / 3 + 1);
                s.replies = 10;
                s.peak = {peaks[i], peaks[i + 1], peaks[i + 2]};
                if (pass && s.number == pausedPass) s.pausedMs = 1400;
                segments.push_back(s);
            }
        };
        add(quiet, false);
        add(passes, true);
        QString why;
        QVERIFY(commission::CanSuggestThresholds(segments, why));
        const std::array<int, 3> now{300, 380, 380};
        const auto s = commission::SuggestThresholds(segments, now);
        for (int c = 0; c < 3; ++c) {
            const commission::ThresholdSuggestion& t = s[c];
            QCOMPARE(t.suggested, suggested[c]);
            QCOMPARE(t.current, now[c]);
            QCOMPARE(t.reason, reasons[c]);
            if (t.suggested < 0) continue;
            // The margins shown with it: above the quiet peak, below the weakest pass, each at least 10
            // and 5 % of the threshold.
            QCOMPARE(t.quietMargin, t.suggested - t.quietPeak);
            QCOMPARE(t.passMargin, t.weakestPass - t.suggested);
            QVERIFY(t.requiredMargin >= 10 && t.requiredMargin * 100 >= 5 * t.suggested);
            QVERIFY(t.quietMargin >= t.requiredMargin && t.passMargin >= t.requiredMargin);
        }
        QCOMPARE(commission::LeftOutOfSuggestions(segments),
                 pausedPass ? QStringList{QStringLiteral("pass %1").arg(pausedPass)} : QStringList());
        // Without a quiet stretch, or a pass, nothing is suggested, and that is said.
        std::vector<commission::WalkSegment> passesOnly;
        for (const commission::WalkSegment& seg : segments)
            if (seg.isPass()) passesOnly.push_back(seg);
        QVERIFY(!commission::CanSuggestThresholds(passesOnly, why));
        QVERIFY(why.contains("no quiet stretch"));
    }

    // The suggestions' dialog shows every cell whole, the longest remark wrapped within its row, and
    // needs no scroll bar, whether it suggests, refuses with its reason, or both.
    void theSuggestionsDialogFitsItsCells_data() {
        QTest::addColumn<QList<int>>("peaks"); // a quiet stretch's, then a pass's
        QTest::newRow("suggested") << QList<int>{46, 52, 50, 350, 405, 367};
        QTest::newRow("too close, with a note") << QList<int>{46, 52, 595, 350, 405, 601};
        QTest::newRow("none at all") << QList<int>{480, 500, 600, 481, 450, 605};
    }

    void theSuggestionsDialogFitsItsCells() {
        QFETCH(QList<int>, peaks);
        std::vector<commission::WalkSegment> segments(2);
        for (int k = 0; k < 2; ++k) {
            segments[k].kind = k ? Kind::Pass : Kind::Quiet;
            segments[k].number = 1;
            segments[k].replies = 10;
            segments[k].peak = {peaks[3 * k], peaks[3 * k + 1], peaks[3 * k + 2]};
        }
        segments[1].note = QStringLiteral("15 m, from the gate to the far corner of the yard");
        commission::SuggestionView view;
        view.file = QStringLiteral("walk 2024-05-02 10-14.csv");
        view.channels = commission::SuggestThresholds(segments, {300, 380, 380});
        view.thresholdsFrom = QStringLiteral("the detector");
        view.canApply = true;
        const std::unique_ptr<QDialog> dialog(commission::ThresholdSuggestions::MakeDialog(nullptr, view));
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        auto* table = dialog->findChild<QTableWidget*>("SuggestionTable");
        QVERIFY(table);
        const QAbstractItemView* cells = table; // (whose size hints are public)
        for (int column = 0; column < table->columnCount(); ++column) {
            const QByteArray where = table->horizontalHeaderItem(column)->text().toUtf8();
            QVERIFY2(table->columnWidth(column) >= table->horizontalHeader()->sectionSizeHint(column), where);
            // (The remark wraps; every other cell keeps to one line.)
            if (column + 1 < table->columnCount())
                QVERIFY2(table->columnWidth(column) >= cells->sizeHintForColumn(column), where);
        }
        for (int row = 0; row < 3; ++row) QVERIFY(table->rowHeight(row) >= cells->sizeHintForRow(row));
        QVERIFY(table->horizontalHeader()->length() <= table->viewport()->width());
        QVERIFY(table->verticalHeader()->length() <= table->viewport()->height());
        QVERIFY(dialog->width() >= table->width());
    }

    // Applying a suggestion is one settings frame after the question that lists the change, then the
    // read-back; declined, or answered while the link was connected again, nothing is sent.
    void applyingASuggestion_data() {
        QTest::addColumn<QString>("answer");
        QTest::newRow("applied") << "yes";
        QTest::newRow("declined") << "no";
        QTest::newRow("the link connected again while the question was open") << "reconnect";
        QTest::newRow("applied, from a walk recorded with another set") << "other set";
    }

    void applyingASuggestion() {
        QFETCH(QString, answer);
        QTemporaryDir dir;
        QStringList lines{commission::recording::MarkLine(mark(Kind::Quiet, 0, 1))};
        if (answer == "other set") { // (its thresholds aside, the only difference that counts)
            protocol::params::Parameters other = DetectorModel::FactoryDefaults();
            other.flags &= ~protocol::params::EnableLed;
            other.channels[1].trange = 555;
            lines.prepend(commission::recording::MarkLine(parametersMark(0, other)));
        }
        protocol::StatusRecord s;
        for (int i = 0; i < 4; ++i) {
            const auto mw = static_cast<std::uint16_t>(50 + i);
            s.channels = {{{mw, mw, 0, 0}, {60, 60, 0, 0}, {70, 70, 0, 0}}};
            lines << commission::recording::CsvLine(i * 50, s);
        }
        lines << commission::recording::MarkLine(mark(Kind::Pass, 200, 1));
        s.channels = {{{560, 560, 0, 0}, {600, 600, 0, 0}, {600, 600, 0, 0}}};
        lines << commission::recording::CsvLine(250, s);
        const QString csv = dir.filePath("walk.csv");
        writeLines(csv, lines);

        PtyPeer peer;
        app::MainWindow w;
        w.setEndProcess([](int) {});
        seriallink::PortDialog portDialog(&w, protocol::PortRoots{"/nonexistent", "/nonexistent"});
        w.setCompanions(&portDialog, nullptr);
        portDialog.portCombo()->setEditText(QString::fromStdString(peer.path()));
        const HeldPollTimer held(w.pollTimer()); // (polled by the test alone: its port answers nothing else)
        w.connectAction()->trigger();
        const protocol::params::Parameters detector = DetectorModel::FactoryDefaults();
        peer.write(reply9(detector));
        w.link().tick();
        QVERIFY(w.link().ParametersKnown());
        peer.readSent();

        commission::ThresholdSuggestions& suggestions = w.commissioning().suggestions();
        commission::SuggestionView shown;
        suggestions.ShowSuggestions = [&](const commission::SuggestionView& v, std::array<bool, 3>& apply) {
            shown = v;
            apply = {true, false, false}; // MW only
            return true;
        };
        QStringList asked;
        dialogs::SetQuestionHandler([&](QWidget*, const QString& text) {
            asked << text;
            if (answer == "reconnect") {
                w.link().Connect();
                peer.write(reply9(detector));
                w.link().tick();
            }
            return answer != "no";
        });
        suggestions.SuggestFrom(csv);
        QTRY_VERIFY(!shown.file.isEmpty());
        QVERIFY(shown.canApply);
        QCOMPARE(shown.thresholdsFrom, QString("the detector"));
        QCOMPARE(shown.channels[0].suggested, 53 + (560 - 53 + 1) / 2); // 307
        QCOMPARE(asked.size(), 1);
        QVERIFY2(asked[0].contains("It changes 1 setting(s)") && asked[0].contains("MW Threshold: 300 -> 307"),
                 qPrintable(asked[0]));
        QCOMPARE(asked[0].contains("perhaps it is another detector's walk"), answer == "other set");
        // (The frame is queued from the event loop once the question is answered: on a busy machine a moment later.)
        if (answer == "yes" || answer == "other set") QTRY_VERIFY(w.link().SettingsPending());
        peer.readSent();
        w.link().tick(); // the frame, if one is pending
        const std::vector<std::uint8_t> sent = peer.readSent();
        if (answer == "yes" || answer == "other set") {
            protocol::params::Parameters expected = detector;
            expected.channels[0].trange = 307;
            QCOMPARE(sent, settingsFrameByLayout(expected));
            QVERIFY(w.link().ReadBackRequested());
        } else {
            QVERIFY(sent.size() != 46); // a poll, not a settings frame
            QVERIFY(!w.link().SettingsPending());
        }
        if (answer == "reconnect") QVERIFY(!said.empty() && said.back().contains("connected again"));
        w.link().Exit();
    }

    // Seeking and stepping land on the right reply, with the graph showing the replies before it, in a
    // recording whose place the index does not know yet as well as in one already read.
    void seekLandsOnTheRightReply_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("asked"); // the reply whose time is asked for, or the step's start
        QTest::addColumn<int>("shown");
        QTest::newRow("a reply's time, far ahead") << "seek" << 60000 << 60000;
        QTest::newRow("between two replies: the next") << "seek+25" << 45000 << 45001;
        QTest::newRow("back near the start") << "seek" << 3 << 3;
        QTest::newRow("past the end: the last") << "seek+1000000" << 79999 << 79999;
        QTest::newRow("one back") << "back" << 50000 << 49999;
        QTest::newRow("one forward") << "forward" << 50000 << 50001;
    }

    void seekLandsOnTheRightReply() {
        QFETCH(QString, how);
        QFETCH(int, asked);
        QFETCH(int, shown);
        static QTemporaryDir dir;
        static const QString csv = [] {
            QStringList lines;
            for (int i = 0; i < 80000; ++i) { // some 10 MB, replies 46 ms apart
                if (i == 45000) lines << commission::recording::MarkLine(mark(Kind::Pass, 46 * i - 10, 3, "far"));
                lines << commission::recording::CsvLine(46 * i, numbered(i));
            }
            const QString path = dir.filePath("long.csv");
            writeLines(path, lines);
            return path;
        }();
        app::MainWindow w;
        graph::GraphWindow graph(&w);
        w.setCompanions(nullptr, &graph);
        commission::Replayer& replay = w.commissioning().replayer();
        QVERIFY(w.commissioning().StartReplay(csv));
        replay.setPaused(true);
        auto shownNumber = [&] { return numberOf(protocol::DecodeStatus(w.link().stores().status.data())); };
        auto landed = [&](int n) {
            return QTest::qWaitFor([&] { return replay.ShownMs() == 46 * n; }, 3000) && shownNumber() == n;
        };
        if (how == "back" || how == "forward") {
            replay.Seek(46 * asked);
            QVERIFY(landed(asked));
            replay.Step(how == "back" ? -1 : 1);
        } else {
            const int extra = how.contains('+') ? how.section('+', 1).toInt() : 0;
            replay.Seek(46 * asked + extra);
        }
        QVERIFY(landed(shown));
        QVERIFY(replay.Paused());
        // The graph swept the replies before it: its newest column is the reply shown, the one before
        // it the reply before.
        const int width = graph.State().GraphWidth;
        const auto at = [&](int column) {
            return graph.State().traces[graph::MwTrace][static_cast<std::size_t>((column + width) % width)].Y;
        };
        const int column = graph.State().SweepPosition - 1;
        const auto rowOf = [](int n) { return 80 - static_cast<int>(std::nearbyint((10 + n % 600) / 10.0)); };
        QCOMPARE(at(column), rowOf(shown));
        QCOMPARE(at(column - 1), rowOf(shown - 1));
        int swept = 0;
        for (int x = 0; x < width; ++x) swept += at(x) != graph::TraceBaseline[graph::MwTrace];
        QVERIFY2(swept >= std::min(width * 9 / 10, shown), qPrintable(QString::number(swept)));
        if (shown > 45000 && shown < 45300) { // the pass mark lies among the replies swept
            QCOMPARE(graph.State().marks.size(), std::size_t(1));
            QCOMPARE(graph.State().marks[0].kind, graph::Mark::Kind::Pass);
        }
        QVERIFY(said.empty());
    }

    // The replay's keys act while it runs and its bar is shown, whatever control has the focus: Space
    // pauses, Left and Right step, and the focused control is not changed; while recording, M marks a
    // pass without choosing a lens.
    void keysActWithoutChangingAFocusedSetting_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("key");
        QTest::newRow("Space on Enable MW") << "CheckBox_EN_MW" << int(Qt::Key_Space);
        QTest::newRow("Right on the MW threshold") << "TrackBar_MW_TRange" << int(Qt::Key_Right);
        QTest::newRow("Left on a lens") << "ComboBox_Pir1_Lens" << int(Qt::Key_Left);
        QTest::newRow("Right on the slider") << "ReplayPosition" << int(Qt::Key_Right);
        QTest::newRow("M on a lens while recording") << "ComboBox_Pir1_Lens" << int(Qt::Key_M);
        QTest::newRow("M typed into the note") << "PassNote" << int(Qt::Key_M);
    }

    void keysActWithoutChangingAFocusedSetting() {
        QFETCH(QString, control);
        QFETCH(int, key);
        QTemporaryDir dir;
        QStringList lines;
        for (int i = 0; i < 400; ++i) lines << commission::recording::CsvLine(46 * i, numbered(i));
        const QString csv = dir.filePath("walk.csv");
        writeLines(csv, lines);
        PtyPeer peer;
        app::Program program(protocol::PortRoots{"/nonexistent", "/nonexistent"});
        app::MainWindow& w = program.mainWindow();
        seriallink::PortDialog& portDialog = program.portDialog();
        w.setEndProcess([](int) {});
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        commission::Commissioning& c = w.commissioning();
        const bool recording = key == Qt::Key_M;
        const HeldPollTimer held(w.pollTimer()); // (the test's port answers only the read-back)
        if (recording) {
            portDialog.portCombo()->setEditText(QString::fromStdString(peer.path()));
            w.connectAction()->trigger();
            peer.write(reply9(DetectorModel::FactoryDefaults()));
            w.link().tick();
            dialogs::SetFileDialogHandler([&](QWidget*, dialogs::FileDialogKind, const QString&, const QString&) {
                return dir.filePath("recorded.csv");
            });
            c.recordAction()->trigger();
            QVERIFY(c.Recorder().Recording());
        } else {
            QVERIFY(c.StartReplay(csv));
            c.replayer().setPaused(true);
            c.replayer().Seek(46 * 200);
            QTRY_COMPARE(c.replayer().ShownMs(), std::int64_t(46 * 200));
            if (key == Qt::Key_Space) c.replayer().setPaused(false);
        }
        QWidget* focused = w.findChild<QWidget*>(control);
        QVERIFY(focused);
        focused->setFocus();
        QTRY_VERIFY(focused->hasFocus());
        auto settingOf = [&]() -> QVariant {
            if (auto* box = qobject_cast<QCheckBox*>(focused)) return box->isChecked();
            if (auto* combo = qobject_cast<QComboBox*>(focused)) return combo->currentIndex();
            if (qobject_cast<QLineEdit*>(focused)) return 0; // (the note: its text is looked at below)
            if (auto* slider = qobject_cast<QAbstractSlider*>(focused))
                return control == "ReplayPosition" ? 0 : slider->value();
            return {};
        };
        const QVariant before = settingOf();
        QTest::keyClick(focused, static_cast<Qt::Key>(key));
        QCOMPARE(settingOf(), before);
        if (key == Qt::Key_Space) QVERIFY(c.replayer().Paused());
        if (key == Qt::Key_Right) QTRY_COMPARE(c.replayer().ShownMs(), std::int64_t(46 * 201));
        if (key == Qt::Key_Left) QTRY_COMPARE(c.replayer().ShownMs(), std::int64_t(46 * 199));
        if (recording) {
            const bool typed = control == "PassNote"; // a letter of the note, not a mark
            if (typed) QCOMPARE(c.walkRecording().noteEdit()->text(), QString("m"));
            c.recordAction()->trigger();
            QFile f(dir.filePath("recorded.csv"));
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll().contains("\n# pass 1 at "), !typed);
        }
        w.exitAction()->trigger();
    }

    // The note takes letters only while it is being typed: Enter marks the pass and gives the keys back
    // to the marks bar, Escape leaves the note (which the next mark takes), so the Q and E that follow
    // mark a quiet stretch and its end instead of becoming text.
    void theNoteGivesTheKeysBack_data() {
        QTest::addColumn<QString>("typed");     // into the note
        QTest::addColumn<int>("leaving");       // the key that leaves it
        QTest::addColumn<QStringList>("marks"); // then Q, then E: the marks in the file
        QTest::newRow("Enter marks the pass")
            << "10 m, left to right" << int(Qt::Key_Return)
            << QStringList{"# pass 1 at * ms: 10 m, left to right", "# quiet 1 at * ms", "# end at * ms"};
        QTest::newRow("Enter on the keypad")
            << "" << int(Qt::Key_Enter) << QStringList{"# pass 1 at * ms", "# quiet 1 at * ms", "# end at * ms"};
        QTest::newRow("Escape keeps the note for the next mark")
            << "nobody in the field" << int(Qt::Key_Escape)
            << QStringList{"# quiet 1 at * ms: nobody in the field", "# end at * ms"};
    }

    void theNoteGivesTheKeysBack() {
        QFETCH(QString, typed);
        QFETCH(int, leaving);
        QFETCH(QStringList, marks);
        QTemporaryDir dir;
        PtyPeer peer;
        app::Program program(protocol::PortRoots{"/nonexistent", "/nonexistent"});
        app::MainWindow& w = program.mainWindow();
        w.setEndProcess([](int) {});
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        program.portDialog().portCombo()->setEditText(QString::fromStdString(peer.path()));
        const HeldPollTimer held(w.pollTimer()); // (the test's port answers only the read-back)
        w.connectAction()->trigger();
        peer.write(reply9(DetectorModel::FactoryDefaults()));
        w.link().tick();
        const QString csv = dir.filePath("walk.csv");
        dialogs::SetFileDialogHandler(
            [&](QWidget*, dialogs::FileDialogKind, const QString&, const QString&) { return csv; });
        commission::Commissioning& c = w.commissioning();
        c.recordAction()->trigger();
        QVERIFY(c.Recorder().Recording());
        QLineEdit* note = c.walkRecording().noteEdit();
        note->setFocus();
        QTRY_VERIFY(note->hasFocus());
        QTest::keyClicks(note, typed);
        QTest::keyClick(note, static_cast<Qt::Key>(leaving));
        QVERIFY(!note->hasFocus());
        QVERIFY(c.walkRecording().bar()->isAncestorOf(QApplication::focusWidget()));
        for (const Qt::Key key : {Qt::Key_Q, Qt::Key_E}) QTest::keyClick(QApplication::focusWidget(), key);
        QCOMPARE(note->text(), QString()); // (taken by a mark, no "qe" in it)
        c.recordAction()->trigger();
        QFile f(csv);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QStringList written;
        for (const QByteArray& line : f.readAll().split('\n'))
            if (line.startsWith("# ") && !line.startsWith("# parameters"))
                written << QString::fromUtf8(line).replace(QRegularExpression(" at \\d+ ms"), " at * ms");
        QCOMPARE(written, marks);
        w.exitAction()->trigger();
    }
};

OSTREVO_GUI_TEST_MAIN(TestWalkTest)
#include "test_walktest.moc"
