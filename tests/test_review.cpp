// The review view: its summary of a recording against a plain reading of the same file (the same least
// and greatest per column at every zoom, from the summary and from the replies themselves), the cells of
// a summary joined as it grows, and the window itself: zoom, scrolling, the cursor's reading, the exports
// and the live connection.
#include "GuiTestMain.h"
#include "app/MainWindow.h"
#include "app/Program.h"
#include "commission/Commissioning.h"
#include "commission/LiveReview.h"
#include "commission/Recording.h"
#include "commission/ReviewWindow.h"
#include "commission/SignalSummary.h"
#include "dialogs/FileDialogs.h"
#include "dialogs/UserDialogs.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <cmath>
#include <functional>
#include <sys/stat.h>

namespace {

using commission::recording::Mark;

// A walk of n replies 47 ms apart: noise, two passes, a tamper test, a pause of 5 s of nothing recorded,
// thresholds that move with the temperature, and its marks.
void writeWalk(const QString& path, int n) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(commission::recording::CsvHeader().toUtf8() + '\n');
    const auto mark = [&](Mark::Kind kind, std::int64_t ms, int number = 0, const char* note = "") {
        Mark m;
        m.kind = kind;
        m.ms = ms;
        m.number = number;
        m.text = QString::fromLatin1(note);
        if (kind == Mark::Kind::Paused) m.lengthMs = 5000, m.text = QStringLiteral("LOGS tab");
        f.write(commission::recording::MarkLine(m).toUtf8() + '\n');
    };
    std::int64_t ms = 46;
    for (int i = 0; i < n; ++i, ms += 47) {
        if (i == n / 10) mark(Mark::Kind::Quiet, ms, 1, "nobody in the field");
        if (i == n / 4) mark(Mark::Kind::Pass, ms, 1, "10 m, left to right");
        if (i == n / 3) mark(Mark::Kind::End, ms);
        if (i == n / 2) {
            mark(Mark::Kind::Paused, ms, 0);
            ms += 5000;
        }
        if (i == 2 * n / 3) mark(Mark::Kind::Pass, ms, 2, "20 m");
        protocol::StatusRecord s;
        const double walk = (i > n / 4 && i < n / 3) || (i > 2 * n / 3 && i < 3 * n / 4) ? 1 : 0;
        for (int c = 0; c < 3; ++c) {
            s.channels[c].signal =
                static_cast<std::uint16_t>(40 + (i * 7919 + c * 104729) % 37 + walk * (300 + (i * 31 + c) % 350));
            s.channels[c].level = s.channels[c].signal;
            s.channels[c].compensation = static_cast<std::uint16_t>(300 + 50 * c + (i / 500) % 7);
        }
        if (walk > 0 && i % 3 == 0) s.alarmFlags |= 0x0015, s.stateFlags |= 0x0001;
        if (i > 4 * n / 5 && i < 4 * n / 5 + 40) s.alarmFlags |= 0x0800;
        f.write(commission::recording::CsvLineBytes(ms, s) + '\n');
    }
}

// The columns a plain reading of the file gives: every reply line read with ParseLine, each in the column
// its time falls in.
std::vector<graph::ReviewColumn> plainColumns(const QString& path, std::int64_t fromMs, double msPerColumn, int n) {
    std::vector<graph::ReviewColumn> columns(static_cast<std::size_t>(n));
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return columns;
    f.readLine(); // the header
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine()).trimmed();
        std::int64_t ms = 0;
        protocol::StatusRecord s;
        QString error;
        if (line.startsWith('#') || !commission::recording::ParseLine(line, ms, s, error)) continue;
        const double i = std::floor(double(ms - fromMs) / msPerColumn);
        if (i < 0 || i >= n) continue;
        const commission::Reading r = commission::ReadingOf(ms, s);
        columns[static_cast<std::size_t>(i)].Add(r.signal, r.threshold, r.alarmFlags, r.stateFlags);
    }
    return columns;
}

// The first column where two pictures differ in anything a column holds but its marks; -1 where none does.
int firstDifference(const std::vector<graph::ReviewColumn>& a, const std::vector<graph::ReviewColumn>& b) {
    if (a.size() != b.size()) return 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const graph::ReviewColumn &x = a[i], &y = b[i];
        if (x.replies != y.replies) return static_cast<int>(i);
        if (x.empty()) continue;
        if (x.low != y.low || x.high != y.high || x.thresholdLow != y.thresholdLow ||
            x.thresholdHigh != y.thresholdHigh || x.alarmFlags != y.alarmFlags || x.stateFlags != y.stateFlags)
            return static_cast<int>(i);
    }
    return -1;
}

QString describe(const graph::ReviewColumn& c) {
    return QStringLiteral("%1 replies, MW %2..%3").arg(c.replies).arg(c.low[0]).arg(c.high[0]);
}

} // namespace

class TestReview : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString walk;
    static constexpr int Replies = 30000;
    std::vector<QString> said;

  private slots:
    void initTestCase() {
        walk = dir.filePath("walk.csv");
        writeWalk(walk, Replies);
        dialogs::SetMessageHandler([this](QWidget*, const QString& text) { said.push_back(text); });
    }
    void cleanupTestCase() { dialogs::SetMessageHandler({}); }

    // Opened through File > Review Recording..., the recording's picture holds at every zoom what a plain
    // reading of the file holds: in each column the same replies, the same least and greatest of each
    // signal and threshold, the same flags. A long stretch comes from the summary, a short one (or one
    // narrower than the summary's cells) from the replies themselves.
    void thePictureHoldsWhatAPlainReadingHolds_data() {
        QTest::addColumn<double>("from"); // of the whole
        QTest::addColumn<double>("to");
        QTest::addColumn<bool>("replies"); // drawn from the replies themselves, else from the summary
        QTest::newRow("the whole") << 0.0 << 1.0 << false;
        QTest::newRow("four fifths") << 0.1 << 0.9 << false;
        QTest::newRow("the first pass") << 0.24 << 0.35 << true;
        QTest::newRow("two seconds") << 0.55 << 0.5514 << true;
        QTest::newRow("across the pause") << 0.49 << 0.51 << true;
        QTest::newRow("the end") << 0.97 << 1.0 << true;
    }

    void thePictureHoldsWhatAPlainReadingHolds() {
        QFETCH(double, from);
        QFETCH(double, to);
        QFETCH(bool, replies);
        app::Program program;
        app::MainWindow& w = program.mainWindow();
        w.setEndProcess([](int) {});
        dialogs::SetFileDialogHandler(
            [&](QWidget*, dialogs::FileDialogKind, const QString&, const QString&) { return walk; });
        w.commissioning().reviewAction()->trigger();
        dialogs::SetFileDialogHandler({});
        commission::ReviewWindow& review = w.commissioning().review();
        QVERIFY(review.isVisible());
        QCOMPARE(review.RecordingPath(), walk);
        QTRY_VERIFY(review.recording()->progress().complete);
        QVERIFY(review.recording()->progress().failure.isEmpty());
        QCOMPARE(review.recording()->progress().replies, std::int64_t(Replies));
        commission::ReviewPlot* plot = review.plot();
        const std::int64_t first = plot->WholeFromMs(), length = plot->WholeToMs() - first;
        if (from > 0 || to < 1)
            plot->ShowStretch(first + static_cast<std::int64_t>(from * length),
                              first + static_cast<std::int64_t>(to * length));
        QTRY_VERIFY(plot->Exact());
        // (The summary is exact at once; the replies themselves come from the file a moment later.)
        if (replies) QTRY_VERIFY(plot->FromReplies());
        else QVERIFY(!plot->FromReplies());
        const graph::ReviewPicture& shown = plot->Picture();
        const auto plain = plainColumns(walk, shown.fromMs, shown.msPerColumn, static_cast<int>(shown.columns.size()));
        const int differs = firstDifference(shown.columns, plain);
        QVERIFY2(differs < 0,
                 qPrintable(differs < 0 ? QString()
                                        : QStringLiteral("column %1: %2, read plainly %3")
                                              .arg(differs)
                                              .arg(describe(shown.columns[differs]), describe(plain[differs]))));
        int filled = 0;
        for (const graph::ReviewColumn& c : plain) filled += !c.empty();
        QVERIFY2(filled > 10, "the stretch holds replies"); // (not a comparison of two empty pictures)
        review.close();
    }

    // A summary that grows beyond its cells joins them two to one, and still holds exactly what each
    // column holds; the memory stays what its cells take, whatever it was fed.
    void joinedCellsKeepEveryExtreme_data() {
        QTest::addColumn<int>("cells");
        QTest::addColumn<int>("replies");
        QTest::newRow("never joined") << 4096 << 3000;
        QTest::newRow("joined three times") << 512 << 3000;
        QTest::newRow("joined ten times") << 64 << 50000;
    }

    void joinedCellsKeepEveryExtreme() {
        QFETCH(int, cells);
        QFETCH(int, replies);
        commission::SignalSummary summary(cells);
        summary.Reset(0, 10);
        std::vector<commission::Reading> all;
        for (int i = 0; i < replies; ++i) {
            commission::Reading r;
            r.ms = 47LL * i + (i > replies / 2 ? 7000 : 0); // a gap in the middle
            for (int c = 0; c < 3; ++c) {
                r.signal[c] = static_cast<std::uint16_t>((i * 7919 + c * 31) % 811);
                r.threshold[c] = static_cast<std::uint16_t>(300 + (i / 97 + c) % 13);
            }
            r.alarmFlags = i % 1000 == 0 ? 0x0800 : 0;
            summary.Add(r);
            all.push_back(r);
        }
        QVERIFY(summary.Bytes() <= std::size_t(cells) * 2 * sizeof(graph::ReviewColumn));
        for (const int n : {1, 7, 333, 1000}) {
            const double width = summary.ExactWidth(double(all.back().ms + 1) / n);
            const std::int64_t from = summary.ExactFrom(0, width);
            std::vector<graph::ReviewColumn> shown;
            bool exact = false;
            summary.Fill(from, width, n, shown, exact);
            QVERIFY(exact);
            std::vector<graph::ReviewColumn> plain(static_cast<std::size_t>(n));
            for (const commission::Reading& r : all) {
                const double i = std::floor(double(r.ms - from) / width);
                if (i >= 0 && i < n)
                    plain[static_cast<std::size_t>(i)].Add(r.signal, r.threshold, r.alarmFlags, r.stateFlags);
            }
            QCOMPARE(firstDifference(shown, plain), -1);
        }
    }

    // The window's own controls: keys and the wheel zoom and scroll, the scroll bar follows and leads, the
    // cursor reads the values under it, and the stretch shown goes to PNG and to CSV.
    void theWindowZoomsScrollsReadsAndExports() {
        app::Program program;
        app::MainWindow& w = program.mainWindow();
        w.setEndProcess([](int) {});
        commission::ReviewWindow& review = w.commissioning().review();
        QVERIFY(review.OpenRecording(walk));
        review.show();
        QVERIFY(QTest::qWaitForWindowExposed(&review));
        QTRY_VERIFY(review.recording()->progress().complete);
        commission::ReviewPlot* plot = review.plot();
        plot->setFocus();
        const double whole = plot->MsPerColumn();
        const std::int64_t wholeFrom = plot->FromMs();
        const auto wheel = [&](Qt::KeyboardModifiers modifiers, int notches) {
            const QPointF at(plot->width() / 2.0, plot->height() / 2.0);
            QWheelEvent event(at, plot->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, modifiers,
                              Qt::NoScrollPhase, false);
            QApplication::sendEvent(plot, &event);
        };
        struct Step {
            const char* what;
            std::function<void()> act;
            // From the place and the width before, to those after.
            std::function<bool(std::int64_t beforeFrom, double beforeWidth, std::int64_t from, double width)> holds;
        };
        const Step steps[] = {
            {"+ zooms in", [&] { QTest::keyClick(plot, Qt::Key_Plus); },
             [](std::int64_t, double before, std::int64_t, double width) { return width < before * 0.6; }},
            {"- zooms out", [&] { QTest::keyClick(plot, Qt::Key_Minus); },
             [](std::int64_t, double before, std::int64_t, double width) { return width > before * 1.6; }},
            {"Ctrl+wheel zooms in", [&] { wheel(Qt::ControlModifier, 3); },
             [](std::int64_t, double before, std::int64_t, double width) { return width < before * 0.6; }},
            {"Right scrolls on", [&] { QTest::keyClick(plot, Qt::Key_Right); },
             [](std::int64_t before, double, std::int64_t from, double) { return from > before; }},
            {"the wheel scrolls back", [&] { wheel(Qt::NoModifier, 1); },
             [](std::int64_t before, double, std::int64_t from, double) { return from < before; }},
            {"End shows the end", [&] { QTest::keyClick(plot, Qt::Key_End); },
             [&](std::int64_t, double, std::int64_t, double width) {
                 return plot->ToMs() >= plot->WholeToMs() - width;
             }},
            {"the scroll bar leads", [&] { review.scrollBar()->setValue(review.scrollBar()->minimum()); },
             [&](std::int64_t, double, std::int64_t from, double width) {
                 return from <= plot->WholeFromMs() + width;
             }},
            {"0 shows the whole", [&] { QTest::keyClick(plot, Qt::Key_0); },
             [&](std::int64_t, double, std::int64_t from, double width) {
                 return width == whole && from == wholeFrom;
             }},
        };
        for (const Step& step : steps) {
            const double beforeWidth = plot->MsPerColumn();
            const std::int64_t beforeFrom = plot->FromMs();
            step.act();
            QVERIFY2(step.holds(beforeFrom, beforeWidth, plot->FromMs(), plot->MsPerColumn()), step.what);
            // The scroll bar shows the place.
            const QScrollBar* bar = review.scrollBar();
            const double place = double(plot->FromMs() - plot->WholeFromMs()) /
                                 std::max<double>(1, plot->WholeToMs() - plot->WholeFromMs());
            QVERIFY2(bar->maximum() == 0 ||
                         std::abs(double(bar->value()) / (bar->maximum() + bar->pageStep()) - place) < 0.02,
                     step.what);
        }

        // The cursor over the first pass reads its time and values, also in the label below.
        const std::int64_t passMs = plot->WholeFromMs() + (plot->WholeToMs() - plot->WholeFromMs()) * 29 / 100;
        plot->ShowStretch(passMs - 1000, passMs + 1000);
        QTRY_VERIFY(plot->FromReplies());
        const QRect area = graph::LayoutReview(plot->size(), plot->font()).plot;
        QTest::mouseMove(plot, QPoint(area.left() + area.width() / 2, area.center().y()));
        QVERIFY(plot->CursorColumn().has_value());
        const QString reading = review.readingLabel()->text();
        QVERIFY2(reading.contains(graph::ElapsedText(passMs, 0).left(4)) && reading.contains("MW ") &&
                     reading.contains("DOWN PIR "),
                 qPrintable(reading));

        // Export PNG and CSV through the file dialog, of the stretch shown.
        QString chosen;
        dialogs::SetFileDialogHandler(
            [&](QWidget*, dialogs::FileDialogKind, const QString&, const QString&) { return chosen; });
        chosen = dir.filePath("pass");
        review.exportPngAction()->trigger();
        QImage picture(dir.filePath("pass.png"));
        QVERIFY(!picture.isNull());
        QCOMPARE(picture.size(), plot->size() * plot->devicePixelRatioF());
        chosen = dir.filePath("pass.csv");
        review.exportCsvAction()->trigger();
        dialogs::SetFileDialogHandler({});
        QFile csv(chosen);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(csv.readAll()).split('\n', Qt::SkipEmptyParts);
        QVERIFY(lines.size() > 2);
        QVERIFY(lines[0].startsWith("# Review of walk.csv"));
        QVERIFY(lines[1].startsWith("time_ms,"));
        int rows = 0;
        for (const QString& line : lines.mid(2)) {
            const std::int64_t ms = line.section(',', 0, 0).toLongLong();
            QVERIFY2(ms >= plot->FromMs() && ms < plot->ToMs(), qPrintable(line));
            for (const QString& cell : line.split(','))
                QVERIFY2(cell.isEmpty() || !QStringLiteral("=+-@").contains(cell.front()), qPrintable(line));
            ++rows;
        }
        // Every reply of the two seconds: 47 ms apart.
        QVERIFY2(std::abs(rows - 2000 / 47) <= 1, qPrintable(QString::number(rows)));
        QVERIFY(said.empty());
        review.close();
    }

    // Whatever a file holds, the review opens it or says why not, reads it to its end (or to a bad line,
    // said with its number, the part before shown), and paints it: a clock that jumps by years or goes back,
    // nothing but marks, nothing at all, a FIFO, a file the system makes up.
    void oddRecordingsOpenOrSayWhy_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("refused"); // what the box says; empty: opened
        QTest::addColumn<QString>("failure"); // what the reading stops at; empty: read to the end
        QTest::addColumn<std::int64_t>("replies");
        QTest::newRow("a clock that jumps by years") << "jump.csv"
                                                     << ""
                                                     << "" << std::int64_t(200);
        QTest::newRow("a clock that goes back") << "back.csv"
                                                << ""
                                                << "" << std::int64_t(200);
        QTest::newRow("a bad line") << "bad.csv"
                                    << ""
                                    << "Line 102 of" << std::int64_t(100);
        QTest::newRow("marks only") << "marks.csv"
                                    << ""
                                    << "" << std::int64_t(0);
        QTest::newRow("the header alone") << "empty.csv"
                                          << ""
                                          << "" << std::int64_t(0);
        QTest::newRow("a FIFO") << "fifo.csv"
                                << "not a regular file"
                                << "" << std::int64_t(0);
        QTest::newRow("a file under /proc") << "/proc/self/status"
                                            << "not a file on a disk"
                                            << "" << std::int64_t(0);
    }

    void oddRecordingsOpenOrSayWhy() {
        QFETCH(QString, file);
        QFETCH(QString, refused);
        QFETCH(QString, failure);
        QFETCH(std::int64_t, replies);
        const QString path = file.startsWith('/') ? file : dir.filePath(file);
        QFile f(path);
        if (file == "fifo.csv") QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (!file.startsWith('/') && f.open(QIODevice::WriteOnly)) {
            f.write(commission::recording::CsvHeader().toUtf8() + '\n');
            for (int i = 0; file != "empty.csv" && i < 200; ++i) {
                if (file == "marks.csv") {
                    Mark m;
                    m.kind = i % 2 ? Mark::Kind::End : Mark::Kind::Pass;
                    m.ms = i;
                    m.number = i / 2 + 1;
                    f.write(commission::recording::MarkLine(m).toUtf8() + '\n');
                    continue;
                }
                std::int64_t ms = 47LL * i;
                if (file == "jump.csv" && i >= 100) ms += 100000000000000LL; // three thousand years on
                if (file == "back.csv") ms = 47LL * (200 - i);
                if (file == "bad.csv" && i == 100) f.write("12,this is no reply\n");
                protocol::StatusRecord s;
                s.channels[0].signal = static_cast<std::uint16_t>(i);
                f.write(commission::recording::CsvLineBytes(ms, s) + '\n');
            }
            f.close();
        }
        said.clear();
        app::Program program;
        program.mainWindow().setEndProcess([](int) {});
        commission::ReviewWindow& review = program.mainWindow().commissioning().review();
        const bool opened = review.OpenRecording(path);
        QCOMPARE(opened, refused.isEmpty());
        if (!opened) {
            QCOMPARE(said.size(), std::size_t(1));
            QVERIFY2(said[0].contains(refused) && said[0].contains(path), qPrintable(said[0]));
            said.clear();
            return;
        }
        review.show();
        QTRY_VERIFY(review.recording()->progress().complete);
        const commission::RecordingSummary::Progress p = review.recording()->progress();
        QCOMPARE(p.replies, replies);
        QVERIFY2(failure.isEmpty() ? p.failure.isEmpty() : p.failure.contains(failure), qPrintable(p.failure));
        // It paints, whole and close up, and its picture holds what was read.
        for (int zoom = 0; zoom < 3; ++zoom) {
            if (zoom == 1)
                review.plot()->ShowStretch(review.plot()->WholeFromMs(), review.plot()->WholeFromMs() + 2000);
            if (zoom == 2) review.plot()->ShowWhole();
            QVERIFY(!review.grab().isNull());
        }
        std::uint64_t shown = 0;
        for (const graph::ReviewColumn& c : review.plot()->Picture().columns) shown += c.replies;
        QCOMPARE(shown, std::uint64_t(replies));
        QVERIFY(said.empty());
        review.close();
    }

    // The live connection so far: every status reply since Connect, summed up; the marks of the walk test
    // recorded on it are its spans.
    void theLiveConnectionShowsItsReplies() {
        app::Program program;
        app::MainWindow& w = program.mainWindow();
        w.setEndProcess([](int) {});
        commission::LiveReview& live = w.commissioning().liveReview();
        live.Connected(QStringLiteral("/dev/ttyUSB0"));
        protocol::StatusRecord s;
        for (int i = 0; i < 40; ++i) {
            s.channels[0].signal = static_cast<std::uint16_t>(100 + i);
            s.alarmFlags = i == 20 ? 0x0800 : 0;
            const auto bytes = protocol::EncodeStatus(s);
            w.commissioning().StatusArrived(bytes.data());
        }
        w.commissioning().reviewLiveAction()->trigger();
        commission::ReviewWindow& review = w.commissioning().review();
        QVERIFY(review.windowTitle().contains("/dev/ttyUSB0"));
        commission::ReviewPlot* plot = review.plot();
        QTRY_VERIFY(plot->Exact());
        std::uint32_t replies = 0;
        std::uint16_t low = 0xFFFF, high = 0, alarms = 0;
        for (const graph::ReviewColumn& c : plot->Picture().columns) {
            replies += c.replies;
            if (c.empty()) continue;
            low = std::min(low, c.low[0]);
            high = std::max(high, c.high[0]);
            alarms |= c.alarmFlags;
        }
        QCOMPARE(replies, 40u);
        QCOMPARE(low, std::uint16_t(100));
        QCOMPARE(high, std::uint16_t(139));
        QCOMPARE(alarms, std::uint16_t(0x0800));
        // A new connection starts afresh.
        live.Connected(QStringLiteral("/dev/ttyUSB1"));
        QTRY_VERIFY(plot->Picture().remark.contains("No status reply"));
        review.close();
    }
};

OSTREVO_GUI_TEST_MAIN(TestReview)
#include "test_review.moc"
