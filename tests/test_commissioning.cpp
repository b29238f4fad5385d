// The commissioning commands: the installation report's PDF, a walk test recorded and replayed
// through the real status display, and comparing a parameter file with the detector.
#include "DetectorModel.h"
#include "GuiTestMain.h"
#include "app/Main.h"
#include "app/UserDialogs.h"
#include "commission/Commissioning.h"
#include "commission/Report.h"
#include "config/ParameterText.h"
#include "graph/Graphic.h"
#include "widgets/LevelBar.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

monitor::StatusRecord walk(int i) {
    monitor::StatusRecord s;
    const auto v = static_cast<std::uint16_t>(i % 60 < 20 ? 40 + 25 * (i % 20) : 40);
    s.channels = {{{v, v, v, 400}, {static_cast<std::uint16_t>(v / 2), v, v, 500}, {v, 0, v, 600}}};
    s.temperature = static_cast<std::int16_t>(19 + i % 3);
    s.alarmFlags = i % 60 == 10 ? 0x0801 : 0;
    s.stateFlags = i % 60 == 12 ? 0x0001 : 0;
    s.acc = {static_cast<std::int8_t>(i % 7 - 3), 2, 64};
    return s;
}

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
        ReportContents r;
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
        QVERIFY2(WriteReport(pdf, r, error), qPrintable(error));
        QProcess text;
        text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        QVERIFY(text.waitForFinished(20000));
        const QString t = QString::fromUtf8(text.readAllStandardOutput());
        for (const char* expected : {"Warehouse North gate", "J. Installer", "Walk test passed.", "/dev/ttyUSB0",
                                     "9.8.7", "2026-12-07 15:07", "437", "Tamper", "MW detection", "TAMPER", "612",
                                     "-4\u00b0C", "Mask #1-#2", "Vertical Curtain", "Signal graph", "not stored in"})
            QVERIFY2(t.contains(QString::fromUtf8(expected)), expected);
        // The PDF replaced nothing until it was complete: a failing path leaves no file.
        QVERIFY(!WriteReport(dir.filePath("missing/report.pdf"), r, error));
        QVERIFY(error.contains("missing/report.pdf"));
    }

    // A walk recorded live replays into the same bars and the same graph pixels.
    void aRecordedWalkReplaysTheSame() {
        QTemporaryDir dir;
        const QString csv = dir.filePath("walk.csv");
        constexpr int N = 150;
        TMee live;
        TGraphics liveGraph(&live);
        live.setCompanions(nullptr, &liveGraph);
        QString error;
        QVERIFY(live.commissioning().Recorder().Start(csv, error));
        for (int i = 0; i < N; ++i) {
            const auto bytes = monitor::EncodeStatus(walk(i));
            auto& store = live.link().Stores.status;
            std::copy(bytes.begin(), bytes.end(), store.begin());
            live.commissioning().StatusArrived(store.data()); // as the reply arrives
            live.statusView().SplitFlags(store);
            live.statusView().ShowStatus(store);
        }
        live.commissioning().Recorder().Stop();
        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), N + 1);
        QCOMPARE(lines.first(), recording::CsvHeader());

        TMee again;
        TGraphics replayGraph(&again);
        again.setCompanions(nullptr, &replayGraph);
        QVERIFY(again.commissioning().StartReplay(lines, csv));
        QTRY_VERIFY_WITH_TIMEOUT(!again.commissioning().Replaying(), 10000);
        QVERIFY(said.empty());
        QCOMPARE(replayGraph.State.SweepPosition, liveGraph.State.SweepPosition);
        QVERIFY(replayGraph.Screen == liveGraph.Screen);
        for (const char* bar :
             {"ProgressBar1", "ProgressBar2", "ProgressBar3", "ProgressBar_Temperatura", "ProgressBar_acc_X"})
            QCOMPARE(again.findChild<LevelBar*>(bar)->value(), live.findChild<LevelBar*>(bar)->value());
    }

    void aMalformedLineStopsTheReplayAndIsNamed() {
        TMee mee;
        const QStringList lines{recording::CsvHeader(), recording::CsvLine(0, walk(1)), recording::CsvLine(5, walk(2)),
                                QStringLiteral("10,1,2,three")};
        QVERIFY(mee.commissioning().StartReplay(lines, QStringLiteral("bad.csv")));
        QTRY_VERIFY_WITH_TIMEOUT(!mee.commissioning().Replaying(), 5000);
        QCOMPARE(said.size(), std::size_t(1));
        QVERIFY2(said[0].startsWith("Line 4 of \"bad.csv\""), qPrintable(said[0]));
        // A value out of its field's range is named too.
        QString error;
        std::int64_t ms = 0;
        monitor::StatusRecord s;
        QString wide = recording::CsvLine(0, walk(1));
        wide.replace(wide.lastIndexOf(','), 3, QStringLiteral(",200"));
        QVERIFY(!recording::ParseLine(wide, ms, s, error));
        QVERIFY2(error.startsWith("acc_z"), qPrintable(error));
    }

    void theComparisonListsExactlyTheDifferences() {
        params::Parameters detector = DetectorModel::FactoryDefaults();
        params::Parameters file = detector;
        QVERIFY(CompareParameters(file, detector).empty());
        file.channels[2].npulse = 4;
        file.outputs[1].function = params::NoFunction;
        file.reserved = {9, 9, 9, 9}; // the detector's own bytes: not a setting
        const auto d = CompareParameters(file, detector);
        QCOMPARE(d.size(), std::size_t(2));
        QCOMPARE(d[0].name, QString("PIR DOWN UNDER Pulses"));
        QCOMPARE(d[0].fileValue, QString("4"));
        QCOMPARE(d[0].detectorValue, QString("2"));
        QCOMPARE(d[1].name, QString("OUT #2 Function"));
        QCOMPARE(d[1].fileValue, QString("none"));
        QCOMPARE(d[1].detectorValue, QString("Mask #1-#2"));
    }
};

OSTREVO_GUI_TEST_MAIN(TestCommissioning)
#include "test_commissioning.moc"
