// The installation report that proves the job, made through the real window from a replayed recording
// with known passes: the result in one line, each pass's and quiet stretch's verdict, the tamper, mask
// and noise tests with their times, a graph per pass; thousands of passes summed up; Cancel; and the
// notice that says it was written, whose Open and Show in Folder go through the desktop's seam.
#include "GuiTestMain.h"
#include "LoopTurns.h"
#include "app/MainWindow.h"
#include "app/MessageHistory.h"
#include "app/Program.h"
#include "commission/Commissioning.h"
#include "commission/Recording.h"
#include "commission/Replay.h"
#include "commission/ReportJob.h"
#include "commission/ReportNotice.h"
#include "dialogs/DesktopOpen.h"
#include "dialogs/FileDialogs.h"
#include "dialogs/UserDialogs.h"
#include "protocol/ParameterBlock.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

using commission::recording::Mark;
using Kind = commission::recording::Mark::Kind;

// A recording written line by line: replies 50 ms apart, marks between them.
class Walk {
  public:
    Walk() {
        protocol::params::Parameters p{};
        p.channels[0].trange = 330;
        p.channels[1].trange = 380;
        p.channels[2].trange = 380;
        Mark m;
        m.kind = Kind::Parameters;
        m.parameters = protocol::params::EncodeRecord(p);
        lines << commission::recording::CsvHeader() << commission::recording::MarkLine(m);
    }
    void mark(Kind kind, int number = 0, const char* note = "") {
        Mark m;
        m.kind = kind;
        m.ms = ms;
        m.number = number;
        m.text = QString::fromLatin1(note);
        lines << commission::recording::MarkLine(m);
    }
    // count replies with these levels (the signal plotted is the same) and flags.
    void replies(int count, int mw, int pir1, int pir2, std::uint16_t alarm = 0, std::uint16_t state = 0) {
        for (int i = 0; i < count; ++i, ms += 50) {
            protocol::StatusRecord s;
            const int levels[3] = {mw, pir1, pir2};
            for (int c = 0; c < 3; ++c) {
                s.channels[c].level = s.channels[c].signal = static_cast<std::uint16_t>(levels[c]);
                s.channels[c].compensation = static_cast<std::uint16_t>(c == 0 ? 330 : 380);
            }
            s.alarmFlags = alarm;
            s.stateFlags = state;
            lines << commission::recording::CsvLine(ms, s);
        }
    }
    // A pass the detector detects: MW and both PIRs cross, the detection bits, OUT1 on after 0.1 s.
    void detectedPass(int number, const char* note = "") {
        mark(Kind::Pass, number, note);
        replies(2, 120, 100, 90);
        replies(6, 555, 600, 470, 0x0015, 0x0001);
        replies(2, 60, 50, 50);
        mark(Kind::End);
        replies(4, 50, 45, 45);
    }
    bool save(const QString& path) const {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write((lines.join('\n') + '\n').toUtf8()) > 0;
    }

    QStringList lines;
    std::int64_t ms = 0;
};

// The PDF's text in reading order (a table cell's lines together), ligatures as plain letters, the lines
// joined by spaces.
QString pdfText(const QString& pdf) {
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {QStringLiteral("-raw"), pdf, QStringLiteral("-")});
    text.waitForFinished(30000);
    return QString::fromUtf8(text.readAllStandardOutput()).normalized(QString::NormalizationForm_KC);
}

} // namespace

class TestReport : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    std::vector<QString> said;

    // The real window, replaying path with no detector connected, its report asked for to pdf: the
    // installer's answers given, the file dialog answered.
    struct Replayed {
        app::Program program;
        commission::Commissioning& c = program.mainWindow().commissioning();
        Replayed(const QString& path, const QString& pdf) {
            program.mainWindow().setEndProcess([](int) {});
            program.mainWindow().show();
            c.setMaxReplayGapMs(100);
            c.StartReplay(path);
            c.replayer().setSpeed(8);
            dialogs::SetFileDialogHandler(
                [pdf](QWidget*, dialogs::FileDialogKind, const QString&, const QString&) { return pdf; });
            c.AskReportDetails = [](QString& site, QString& installer, QString&) {
                site = QStringLiteral("North gate");
                installer = QStringLiteral("J. Installer");
                return true;
            };
        }
        ~Replayed() { dialogs::SetFileDialogHandler({}); }
    };

  private slots:
    void init() {
        said.clear();
        dialogs::SetMessageHandler([this](QWidget*, const QString& t) { said.push_back(t); });
    }
    void cleanup() { dialogs::SetMessageHandler({}); }

    // Page 1 says whether the job passed, and why: each pass detected or not (the outputs and their delays,
    // each channel's peak of its threshold), each quiet stretch below every threshold or flagged ("500 of
    // 330"), the tamper, mask and noise tests with their times and what lit; a graph follows per pass.
    void theReportProvesTheWalk_data() {
        QTest::addColumn<QString>("walk");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("graphs");
        QTest::newRow("all detected, quiet below")
            << "good"
            << QStringList{"Result: PASSED: all 2 passes were detected and the quiet stretch stayed below every",
                           "Detected: OUT1 after 0.1 s",
                           "555 of 330, +68 %",
                           "Quiet: below every threshold",
                           "Tamper",
                           "0:02.0",
                           "OUT3",
                           "IR noise 1",
                           "Signatures",
                           "Customer"}
            << 2;
        QTest::newRow("a pass missed, a quiet stretch crossed")
            << "bad"
            << QStringList{"NOT PASSED: pass 2 not detected; quiet 2 crossed a threshold.",
                           "NOT DETECTED: no output switched on", "CROSSED: MW 500 of 330", "299 of 380, -21 %"}
            << 2;
        QTest::newRow("600 passes, the first 20 in full")
            << "many"
            << QStringList{"PASSED: all 600 passes were detected",
                           "Beyond the first 20 of each kind: 580 more passes, all detected"}
            << 8;
        QTest::newRow("no pass marked") << "none" << QStringList{"NOT PROVEN: no pass was marked"} << 0;
    }

    void theReportProvesTheWalk() {
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()) QSKIP("pdftotext is not installed");
        QFETCH(QString, walk);
        QFETCH(QStringList, expected);
        QFETCH(int, graphs);
        Walk w;
        w.replies(20, 50, 45, 45);
        if (walk == "none") {
            w.mark(Kind::Quiet, 1);
            w.replies(20, 55, 50, 50);
        } else if (walk == "many") {
            for (int i = 1; i <= 600; ++i) w.detectedPass(i);
        } else {
            w.mark(Kind::Quiet, 1, "nobody in the field");
            w.replies(20, 55, 60, 48);
            w.mark(Kind::End);
            // The tamper test at 2.0 s lit OUT3; IR noise 1 a moment later.
            w.replies(5, 50, 45, 45, 0x0800, 0x0004);
            w.replies(3, 50, 45, 45, 0x1000);
            w.detectedPass(1, "10 m, left to right");
            if (walk == "bad") {
                w.mark(Kind::Pass, 2, "25 m");
                w.replies(6, 250, 299, 200, 0x0001);
                w.mark(Kind::Quiet, 2);
                w.replies(6, 500, 60, 50);
            } else {
                w.detectedPass(2, "20 m, right to left");
            }
        }
        w.replies(10, 50, 45, 45);
        const QString csv = dir.filePath(walk + ".csv"), pdf = dir.filePath(walk + ".pdf");
        QVERIFY(w.save(csv));
        Replayed replay(csv, pdf);
        QTRY_VERIFY(replay.c.replayer().ShownMs() >= 0);
        replay.c.reportAction()->trigger();
        // Written off the window's thread: the window turns meanwhile, then the notice says so.
        QVERIFY(replay.c.reportJob().Running() || replay.c.reportNotice()->isVisible());
        QVERIFY(LoopTurns());
        QTRY_VERIFY_WITH_TIMEOUT(replay.c.reportNotice()->isVisible(), 60000);
        QVERIFY2(said.empty(), qPrintable(said.empty() ? QString() : said.front()));
        QCOMPARE(replay.program.mainWindow().messages().message(0),
                 QStringLiteral("The report was written to \"%1\".").arg(pdf));
        const QString text = pdfText(pdf);
        for (const QString& e : expected) QVERIFY2(text.simplified().contains(e), qPrintable(e + "\n" + text));
        QCOMPARE(text.count("The passes on the time axis"), graphs > 0 ? 1 : 0);
        // A pass graph's title for each pass drawn, no more.
        QCOMPARE(static_cast<int>(text.count(QRegularExpression(QStringLiteral("\\(\\d\\d:\\d\\d:\\d\\d\\) to \\d")))),
                 graphs);
        // However many passes, a few pages.
        QVERIFY2(text.count('\f') <= 12, qPrintable(QString::number(text.count('\f'))));
    }

    // Cancel stops the report: nothing is written (a file the user agreed to replace stays as it was), and
    // the status bar says so.
    void cancelLeavesTheFileAlone() {
        Walk w;
        for (int i = 1; i <= 3000; ++i) w.detectedPass(i);
        const QString csv = dir.filePath("long.csv"), pdf = dir.filePath("kept.pdf");
        QVERIFY(w.save(csv));
        {
            QFile kept(pdf);
            QVERIFY(kept.open(QIODevice::WriteOnly) && kept.write("an older report") == 15);
        }
        dialogs::SetQuestionHandler([](QWidget*, const QString&) { return true; });
        Replayed replay(csv, pdf);
        QTRY_VERIFY(replay.c.replayer().ShownMs() >= 0);
        replay.c.reportAction()->trigger();
        QVERIFY(replay.c.reportJob().Running());
        QVERIFY(replay.c.reportProgress());
        // Its Cancel button (the dialog shows only after a moment: a short report goes without it).
        replay.c.reportProgress()->findChild<QPushButton*>()->click();
        QTRY_VERIFY(!replay.c.reportJob().Running());
        dialogs::SetQuestionHandler({});
        QVERIFY(!replay.c.reportNotice()->isVisible());
        QVERIFY(said.empty());
        QVERIFY2(replay.program.mainWindow().messages().message(0).contains("cancelled"),
                 qPrintable(replay.program.mainWindow().messages().message(0)));
        QFile kept(pdf);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("an older report"));
        QCOMPARE(QDir(dir.path()).entryList({QStringLiteral("kept*")}, QDir::Files), QStringList{"kept.pdf"});
    }

    // The notice's Open shows the PDF, Show in Folder its folder, through the desktop's seam; a desktop
    // that opens nothing is said in a box.
    void theNoticeOpensTheReportAndItsFolder() {
        Walk w;
        w.replies(10, 50, 45, 45);
        w.detectedPass(1);
        const QString csv = dir.filePath("notice.csv"), pdf = dir.filePath("notice.pdf");
        QVERIFY(w.save(csv));
        Replayed replay(csv, pdf);
        QTRY_VERIFY(replay.c.replayer().ShownMs() >= 0);
        replay.c.reportAction()->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(replay.c.reportNotice()->isVisible(), 60000);
        commission::ReportNotice* notice = replay.c.reportNotice();
        QVERIFY(notice->text()->text().contains("notice.pdf"));
        QList<QUrl> opened;
        bool opens = true;
        const auto previous = dialogs::SetDesktopOpener([&](const QUrl& url) { return opened << url, opens; });
        QTest::mouseClick(notice->openButton(), Qt::LeftButton);
        QTest::mouseClick(notice->folderButton(), Qt::LeftButton);
        QCOMPARE(opened, (QList<QUrl>{QUrl::fromLocalFile(QFileInfo(pdf).absoluteFilePath()),
                                      QUrl::fromLocalFile(QFileInfo(pdf).absolutePath())}));
        QVERIFY(said.empty());
        opens = false;
        QTest::mouseClick(notice->openButton(), Qt::LeftButton);
        QCOMPARE(said.size(), std::size_t(1));
        QVERIFY2(said[0].contains("notice.pdf"), qPrintable(said[0]));
        dialogs::SetDesktopOpener(previous);
        QTest::mouseClick(notice->closeButton(), Qt::LeftButton);
        QVERIFY(!notice->isVisible());
    }
};

OSTREVO_GUI_TEST_MAIN(TestReport)
#include "test_report.moc"
