// The live views through the real main window: a status reply on the VIEW tab and the graph,
// what a reply paints, and the detector's event memory on the LOGS tab.
#include "DetectorModel.h"
#include "GuiTestMain.h"
#include "PtyPeer.h"
#include "app/MainWindow.h"
#include "graph/Fonts.h"
#include "graph/GraphWindow.h"
#include "monitor/EventLog.h"
#include "monitor/Siren.h"
#include "monitor/StatusView.h"
#include "protocol/ParameterBlock.h"
#include "protocol/StatusRecord.h"
#include "seriallink/PortDialog.h"
#include "widgets/Lamp.h"
#include "widgets/LevelBar.h"
#include "widgets/PaintPace.h"
#include "widgets/StringGrid.h"
#include "widgets/TrackBar.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPaintEvent>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <map>
#include <set>

using protocol::StatusRecord;

namespace {

StatusRecord quiet() {
    StatusRecord s;
    s.channels = {{{100, 50, 120, 400}, {200, 60, 220, 500}, {300, 70, 330, 600}}};
    s.temperature = 21;
    s.ntc = 1600;
    return s;
}

// What a control shows: a label's text, a bar's position, a track bar's selection start.
QString shown(app::MainWindow& mainWindow, const QString& name) {
    if (auto* l = mainWindow.findChild<QLabel*>(name)) return l->text();
    if (auto* t = mainWindow.findChild<widgets::TrackBar*>(name)) return QString::number(t->SelStart());
    if (auto* b = mainWindow.findChild<widgets::LevelBar*>(name)) return QString::number(b->value());
    return QStringLiteral("(no control %1)").arg(name);
}

// A status reply as the detector frames it.
std::vector<std::uint8_t> statusFrame(const StatusRecord& s) {
    const protocol::StatusBytes record = protocol::EncodeStatus(s);
    std::vector<std::uint8_t> f{0x02, 0x00, static_cast<std::uint8_t>(record.size()), protocol::frames::Status};
    f.insert(f.end(), record.begin(), record.end());
    f.push_back(protocol::frames::FrameChecksum(record.data(), record.size()));
    f.push_back(0x03);
    return f;
}

std::vector<std::uint8_t> readBackFrame(const protocol::params::Parameters& p) {
    const protocol::params::Block b = protocol::params::EncodeBlock(p, protocol::params::PwmOrder::LowFirst);
    std::vector<std::uint8_t> f{0x02, 0x00, static_cast<std::uint8_t>(b.size()), protocol::frames::ParameterReadBack};
    f.insert(f.end(), b.begin(), b.end());
    f.push_back(protocol::frames::FrameChecksum(b.data(), b.size()));
    f.push_back(0x03);
    return f;
}

// Counts the paint events of every widget, and keeps what the graph's screen layer painted.
struct PaintCounter : QObject {
    std::map<QString, int> painted; // object name -> paint events
    QRegion graphPainted;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Paint) return false;
        painted[watched->objectName()]++;
        if (watched->objectName() == QLatin1String("imgScreen"))
            graphPainted += static_cast<QPaintEvent*>(event)->region();
        return false;
    }
    void clear() {
        painted.clear();
        graphPainted = QRegion();
    }
};

// A sound player that only counts its plays.
struct CountingPlayer : monitor::SirenPlayer {
    int plays = 0;
    void load(const QString&) override {}
    void play() override { ++plays; }
    void stop() override {}
};

} // namespace

class TestLiveView : public QObject {
    Q_OBJECT
    app::MainWindow* mainWindow = nullptr;
    graph::GraphWindow* graphics = nullptr;

    void show(const protocol::StatusBytes& bytes) {
        auto store = bytes;
        mainWindow->link().StoreStatus(store);
        mainWindow->statusView().SplitFlags(store);
        mainWindow->statusView().ShowStatus(store);
        mainWindow->link().StoreStatus(store); // as shown, as the program keeps a reply
    }
    // Row of the newest sample of a signal trace (the column just behind the sweep).
    int newestRow(int trace) {
        const graph::State& g = graphics->State();
        const int column = (g.SweepPosition + g.GraphWidth - 1) % g.GraphWidth;
        return g.traces[static_cast<std::size_t>(trace)][static_cast<std::size_t>(column)].Y;
    }

  private slots:
    void init() {
        mainWindow = new app::MainWindow;
        graphics = new graph::GraphWindow(mainWindow);
        mainWindow->setCompanions(nullptr, graphics);
    }
    void cleanup() {
        delete graphics; // a window of its own, not the main window's child
        delete mainWindow;
    }

    void aStatusReplyOnTheViewTab() {
        struct Case {
            const char* name;
            std::function<void(StatusRecord&)> change;
            bool direct, tempComp;
            std::vector<std::pair<QString, QString>> expected;
            std::vector<std::pair<int, int>> rows; // trace, row of its newest sample
        };
        const QString deg = QStringLiteral("\u00b0C");
        const std::vector<Case> cases{
            {"signals, levels and their selections",
             [](StatusRecord& s) { s.channels[0].level = 120; },
             false,
             true,
             {{"ProgressBar1", "100"},
              {"Label3", "100"},
              {"TrackBar_MW_TRange", "380"},
              {"Label2", "120"},
              {"ProgressBar2", "200"},
              {"TrackBar_PIR1_TRange", "640"},
              {"Label11", "300"},
              {"TrackBar_PIR2_TRange", "630"},
              {"Label5", "(Comp. : 500)"},
              {"Label9", "(Comp. : 600)"}},
             {{graph::MwTrace, 70},
              {graph::UpPirTrace, 140},
              {graph::DownPirTrace, 210},
              {graph::MwThreshold, 41},
              {graph::UpPirThreshold, 111}}},
            {"a signal of 0 is shown and plotted as 1",
             [](StatusRecord& s) { s.channels[0].signal = 0; },
             false,
             true,
             {{"ProgressBar1", "1"}, {"Label3", "1"}},
             {{graph::MwTrace, 80}}},
            {"Direct Convert shows and plots the direct signals",
             [](StatusRecord& s) { s.channels[2].direct = 0; },
             true,
             true,
             {{"ProgressBar1", "120"},
              {"Label3", "120"},
              {"ProgressBar2", "220"},
              {"Label7", "220"},
              {"ProgressBar3", "1"},
              {"Label11", "1"}},
             {{graph::MwTrace, 68}, {graph::UpPirTrace, 138}, {graph::DownPirTrace, 240}}},
            {"temperature below zero, and masks and noise",
             [](StatusRecord& s) {
                 s.temperature = -10;
                 s.mask1 = 320;
                 s.irNoise2 = 450;
             },
             false,
             true,
             {{"Label13", "-10" + deg},
              {"ProgressBar_Temperatura", "-10"},
              {"Label15", "1600"},
              {"ProgressBar_Acc1", "320"},
              {"Label8", "320"},
              {"ProgressBar_Acc2Noise", "400"},
              {"Label38", "450"}},
             {}},
            {"100 degrees fill the temperature bar",
             [](StatusRecord& s) { s.temperature = 100; },
             false,
             true,
             {{"Label13", "100" + deg}, {"ProgressBar_Temperatura", "70"}},
             {}},
            {"without temperature compensation",
             [](StatusRecord& s) { s.temperature = 35; },
             false,
             false,
             {{"Label13", "---"},
              {"Label15", "---"},
              {"ProgressBar_Temperatura", "-30"},
              {"Label5", "(Comp. : --- )"},
              {"Label9", "(Comp. : --- )"}},
             {}},
            {"tamper axes, -128 below the bars",
             [](StatusRecord& s) {
                 s.acc = {-128, 127, -5};
             },
             false,
             true,
             {{"Label_Acc_X", "-128"},
              {"ProgressBar_acc_X", "-127"},
              {"Label_Acc_Y", "127"},
              {"ProgressBar_acc_Y", "127"},
              {"Label_Acc_Z", "-5"},
              {"ProgressBar_acc_Z", "-5"}},
             {}},
        };
        for (const Case& c : cases) {
            StatusRecord s = quiet();
            c.change(s);
            graphics->directConvertAction()->setChecked(c.direct);
            mainWindow->view().enTempComp->setChecked(c.tempComp);
            const int sweep = graphics->State().SweepPosition;
            show(protocol::EncodeStatus(s));
            for (const auto& [name, value] : c.expected)
                QVERIFY2(
                    shown(*mainWindow, name) == value,
                    qPrintable(
                        QStringLiteral("%1: %2 shows %3, not %4").arg(c.name, name, shown(*mainWindow, name), value)));
            for (const auto& [trace, row] : c.rows)
                QVERIFY2(newestRow(trace) == row, qPrintable(QStringLiteral("%1: trace %2 at row %3, not %4")
                                                                 .arg(c.name)
                                                                 .arg(trace)
                                                                 .arg(newestRow(trace))
                                                                 .arg(row)));
            QCOMPARE(graphics->State().SweepPosition, (sweep + 1) % graphics->State().GraphWidth);
            // Under Direct Convert the threshold traces draw nothing.
            QCOMPARE(graphics->State().traces[graph::MwThreshold][5].Y == 0, c.direct);
        }
        // The 0 that became 1 is 1 in the stored reply too.
        StatusRecord s = quiet();
        s.channels[1].signal = 0;
        graphics->directConvertAction()->setChecked(false);
        show(protocol::EncodeStatus(s));
        QCOMPARE(protocol::DecodeStatus(mainWindow->link().stores().status.data()).channels[1].signal,
                 std::uint16_t(1));
    }

    // Traces fed while the window is hidden survive its first show (Qt sends a resize then).
    void theGraphKeepsItsTracesWhenFirstShown() {
        StatusRecord s = quiet();
        s.channels[0].signal = 500;
        for (int i = 0; i < 40; ++i) show(protocol::EncodeStatus(s));
        QCOMPARE(newestRow(graph::MwTrace), 30);
        graphics->show();
        QVERIFY(QTest::qWaitForWindowExposed(graphics));
        QCOMPARE(graphics->State().traces[graph::MwTrace][20].Y, 30);
        QCOMPARE(graphics->State().SweepPosition, 40);
        show(protocol::EncodeStatus(s));
        QCOMPARE(graphics->Screen().pixelColor(20, 30), QColor(0, 255, 15));
        // A real change of size still rebuilds.
        graphics->resize(600, graphics->height());
        QCOMPARE(graphics->State().traces[graph::MwTrace][20].Y, 80);
    }

    // Flag bytes in, lamp colours out: every lamp of both words, and the siren for an output, the
    // tamper or a mask only.
    void theLampsFollowTheFlagWords() {
        QTemporaryDir sound;
        QFile(sound.filePath("SIREN1.WAV")).open(QIODevice::WriteOnly);
        auto player = std::make_unique<CountingPlayer>();
        CountingPlayer* counting = player.get();
        mainWindow->setSiren(new monitor::Siren(sound.path(), std::move(player)));
        const QColor green(0, 255, 15), orange(253, 131, 9), red(255, 0, 0), grey(128, 128, 128);
        const QColor face = mainWindow->view().diagnosticOn->palette().color(QPalette::Button);
        const char* const lamps[] = {
            "Shape_Mw",          "Shape_Pir1",         "Shape_Pir2",       "Shape_Acc1",         "Shape_Acc2",
            "Shape_Acc1Noise",   "Shape_Acc2Noise",    "Shape_OutTamper",  "Shape_Out1State",    "Shape_Out2State",
            "Shape_Out3State",   "Shape_LedPowerFail", "Shape_LedMwFault", "Shape_LedPir1Fault", "Shape_LedPir2Fault",
            "Shape_LedCPUFault", "Shape_DiagnosticOn", "Summary_Out1",     "Summary_Out2",       "Summary_Out3",
            "Summary_Tamper",    "Summary_Mask1",      "Summary_Mask2",    "Summary_Fault"};
        struct Case {
            std::uint8_t alarm[2], state[2];
            std::vector<std::pair<const char*, QColor>> lit;
            bool siren;
        };
        const std::vector<Case> cases{
            {{0x01, 0x00}, {0, 0}, {{"Shape_Mw", green}}, false},
            {{0x04, 0x00}, {0, 0}, {{"Shape_Pir1", orange}}, false},
            {{0x10, 0x00}, {0, 0}, {{"Shape_Pir2", orange}}, false},
            {{0x80, 0x01},
             {0, 0},
             {{"Shape_Acc1", orange}, {"Shape_Acc2", orange}, {"Summary_Mask1", orange}, {"Summary_Mask2", orange}},
             true}, // bit 8: second byte
            {{0x00, 0x08}, {0, 0}, {{"Shape_OutTamper", orange}, {"Summary_Tamper", orange}}, true},
            {{0x00, 0x30}, {0, 0}, {{"Shape_Acc1Noise", orange}, {"Shape_Acc2Noise", orange}}, false},
            {{0x6A, 0xC6}, {0, 0}, {}, false}, // bits without a lamp
            {{0, 0}, {0x01, 0x00}, {{"Shape_Out1State", red}, {"Summary_Out1", red}}, true},
            {{0, 0}, {0x02, 0x00}, {{"Shape_Out2State", red}, {"Summary_Out2", red}}, true},
            {{0, 0}, {0x04, 0x00}, {{"Shape_Out3State", red}, {"Summary_Out3", red}}, true},
            {{0, 0},
             {0xC0, 0x07},
             {{"Shape_LedPowerFail", orange},
              {"Shape_LedMwFault", orange},
              {"Shape_LedPir1Fault", orange},
              {"Shape_LedPir2Fault", orange},
              {"Shape_LedCPUFault", orange},
              {"Summary_Fault", orange}},
             false},
            {{0, 0}, {0x00, 0x40}, {{"Shape_DiagnosticOn", red}}, false},
            {{0, 0}, {0x08, 0xB8}, {}, false}, // and the auto-test field back to the window's colour
        };
        for (const Case& c : cases) {
            auto bytes = protocol::EncodeStatus(quiet());
            bytes[48] = c.alarm[0];
            bytes[49] = c.alarm[1];
            bytes[50] = c.state[0];
            bytes[51] = c.state[1];
            const int before = counting->plays;
            show(bytes);
            for (const char* name : lamps) {
                QColor expected = std::string(name) == "Shape_DiagnosticOn" ? face : grey;
                for (const auto& [litName, colour] : c.lit)
                    if (std::string(litName) == name) expected = colour;
                const QColor actual = mainWindow->findChild<widgets::Lamp*>(name)->brushColor();
                QVERIFY2(actual == expected, qPrintable(QStringLiteral("%1 %2 %3 %4: %5 is %6, not %7")
                                                            .arg(c.alarm[0], 2, 16, QChar('0'))
                                                            .arg(c.alarm[1], 2, 16, QChar('0'))
                                                            .arg(c.state[0], 2, 16, QChar('0'))
                                                            .arg(c.state[1], 2, 16, QChar('0'))
                                                            .arg(name, actual.name(), expected.name())));
            }
            QCOMPARE(counting->plays - before, c.siren ? 1 : 0);
            if (c.siren) {
                show(bytes); // still playing: not started again
                QCOMPARE(counting->plays - before, 1);
                mainWindow->siren()->playEnded();
            }
        }
        // The noise-reduction boxes follow the detector's bits 4 and 5; their captions follow the
        // read-back word, here without temperature compensation.
        auto bytes = protocol::EncodeStatus(quiet());
        bytes[50] = 0x20;
        show(bytes);
        QVERIFY(!mainWindow->view().noisePir1->isChecked() && mainWindow->view().noisePir2->isChecked());
        QCOMPARE(mainWindow->view().noisePir2->text(), QString("PIR DOWN(Noise Reduction)"));
        QVERIFY(mainWindow->view().noisePir2->isEnabled());
    }

    // Both windows shown, the tamper axes in view (the SETUP box scrolled down to them), connected to
    // peer with the detector's parameters read back; the poll timer stopped, so the test ticks.
    void connectShown(PtyPeer& peer, seriallink::PortDialog& portDialog) {
        mainWindow->setCompanions(&portDialog, graphics);
        mainWindow->setEndProcess([](int) {});
        mainWindow->show();
        graphics->show();
        QVERIFY(QTest::qWaitForWindowExposed(mainWindow) && QTest::qWaitForWindowExposed(graphics));
        auto* setup = mainWindow->findChild<QScrollArea*>(QStringLiteral("ScrollBox_Setup"));
        setup->ensureWidgetVisible(mainWindow->view().accLabels[0]);
        portDialog.portCombo()->setEditText(QString::fromStdString(peer.path()));
        mainWindow->connectAction()->trigger();
        peer.write(readBackFrame(DetectorModel::FactoryDefaults()));
        mainWindow->link().tick();
        QVERIFY(mainWindow->link().ParametersKnown());
        mainWindow->pollTimer()->stop();
        peer.readSent();
    }

    // A status reply through the real tick; true when the next status poll went out and nothing was
    // painted inside the tick. Then the events that follow the tick (the window's next paint) are run.
    bool tickReply(PtyPeer& peer, const StatusRecord& reply, PaintCounter& counter) {
        peer.write(statusFrame(reply));
        counter.clear();
        mainWindow->link().tick();
        const bool paintedInTick = !counter.painted.empty();
        mainWindow->pollTimer()->stop();
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
        return !paintedInTick && peer.readSent() == std::vector<std::uint8_t>{0x02, 0x00, 0x01, 0x08, 0xF8, 0x03};
    }

    // A reply goes to the screen after the tick (the next request is never kept waiting), at the pace of
    // the live readings, and only what it changed is painted: a reply that changes nothing paints no bar,
    // track bar, label or lamp, and the graph only the column of its new sample, with the channel names
    // beside it.
    void aReplyPaintsOnlyWhatItChanged() {
        PtyPeer peer;
        seriallink::PortDialog portDialog(mainWindow, protocol::PortRoots{"/nonexistent", "/nonexistent"});
        connectShown(peer, portDialog);

        PaintCounter counter;
        qApp->installEventFilter(&counter);
        const QStringList live{"ProgressBar1",
                               "ProgressBar2",
                               "ProgressBar3",
                               "ProgressBar_Acc1",
                               "ProgressBar_Acc2",
                               "ProgressBar_Acc1Noise",
                               "ProgressBar_Acc2Noise",
                               "ProgressBar_acc_X",
                               "ProgressBar_acc_Y",
                               "ProgressBar_acc_Z",
                               "ProgressBar_Temperatura",
                               "TrackBar_MW_TRange",
                               "TrackBar_PIR1_TRange",
                               "TrackBar_PIR2_TRange",
                               "Label_Acc_X",
                               "Label_Acc_Y",
                               "Label_Acc_Z",
                               "Label13",
                               "Shape_Mw",
                               "Shape_OutTamper",
                               "Shape_Out1State"};
        StatusRecord walking = quiet();
        walking.channels[0].signal = 480;
        walking.channels[0].level = 300;
        walking.acc[0] = 12;
        StatusRecord alarm = walking;
        alarm.alarmFlags = 0x0801; // MW detection and the tamper
        const struct {
            const char* name;
            StatusRecord reply;
            std::set<QString> painted; // of the live controls above, exactly these
        } cases[] = {
            {"the same reply again", quiet(), {}},
            {"the MW signal, its level and a tamper axis move",
             walking,
             {"ProgressBar1", "TrackBar_MW_TRange", "ProgressBar_acc_X", "Label_Acc_X"}},
            {"the same reply again", walking, {}},
            {"the MW detection and the tamper lamps light", alarm, {"Shape_Mw", "Shape_OutTamper"}},
            {"and again", alarm, {}},
        };
        const int widestName = QFontMetrics(graph::ProgramFont()).horizontalAdvance(QStringLiteral("DOWN PIR"));
        auto showReply = [&](const StatusRecord& reply) {
            const bool polled = tickReply(peer, reply, counter);
            // Whatever waits for its pace is painted within the interval.
            (void)QTest::qWaitFor([] { return !widgets::PaintPace::Instance().Holding(); });
            QCoreApplication::processEvents();
            return polled;
        };
        QVERIFY(showReply(quiet())); // the first frame of the graph is drawn whole
        // Until the window system has settled (which window is active): nothing more to paint.
        mainWindow->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(mainWindow));
        int quietTurns = 0; // in a row: turns of the event loop that paint nothing, with nothing held back
        QVERIFY(QTest::qWaitFor([&] {
            counter.clear();
            QCoreApplication::processEvents();
            const bool quiet = counter.painted.empty() && !widgets::PaintPace::Instance().Holding();
            quietTurns = quiet ? quietTurns + 1 : 0;
            return quietTurns >= 2;
        }));
        QVERIFY(counter.painted.empty());
        for (const auto& c : cases) {
            const int column = graphics->State().SweepPosition;
            QVERIFY2(showReply(c.reply), c.name); // polled, and nothing painted inside the tick
            QVERIFY2(counter.painted.count(QStringLiteral("ProgressBar_serial")), c.name); // the activity bar
            std::set<QString> painted;
            for (const QString& name : live)
                if (counter.painted.count(name)) painted.insert(name);
            QVERIFY2(painted == c.painted,
                     qPrintable(QStringLiteral("%1: painted %2")
                                    .arg(c.name, QStringList(painted.begin(), painted.end()).join(QLatin1Char(' ')))));
            // The graph: the new sample's column and the one on each side, and the channel names'
            // cells beside the old and the new newest points.
            const QRect graphArea = counter.graphPainted.boundingRect();
            const int row = graphics->State().traces[graph::MwTrace][static_cast<std::size_t>(column)].Y;
            QVERIFY2(counter.graphPainted.contains(QPoint(column, row)), c.name);
            QVERIFY2(graphArea.left() >= column - 1 && graphArea.right() <= column + 2 + widestName,
                     qPrintable(QStringLiteral("%1: the graph painted %2..%3 for column %4")
                                    .arg(c.name)
                                    .arg(graphArea.left())
                                    .arg(graphArea.right())
                                    .arg(column)));
        }
        qApp->removeEventFilter(&counter);
        mainWindow->link().Disconnect();
    }

    // A lamp that lights is painted with the window's next paint after its reply, before the next request
    // goes out, whatever the pace of the bars; the bars and values that waited for their pace go with it,
    // and those changed afterwards are painted within the interval.
    void aLampPaintsBeforeTheNextReply() {
        PtyPeer peer;
        seriallink::PortDialog portDialog(mainWindow, protocol::PortRoots{"/nonexistent", "/nonexistent"});
        connectShown(peer, portDialog);
        PaintCounter counter;
        qApp->installEventFilter(&counter);
        auto moved = [](int signal, std::uint16_t alarmFlags) {
            StatusRecord s = quiet();
            s.channels[0].signal = static_cast<std::uint16_t>(signal);
            s.alarmFlags = alarmFlags;
            return s;
        };
        const struct {
            const char* name;
            StatusRecord reply;
            std::vector<QString> paintedAtOnce;
        } replies[] = {
            {"the MW bar moves", moved(300, 0), {}},
            {"it moves again and the MW lamp lights", moved(400, 0x0001), {"Shape_Mw", "ProgressBar1"}},
            {"it moves again, the lamp stays", moved(500, 0x0001), {}},
            {"it moves and the tamper lamp lights", moved(600, 0x0801), {"Shape_OutTamper", "ProgressBar1"}},
        };
        for (const auto& r : replies) {
            QVERIFY2(tickReply(peer, r.reply, counter), r.name);
            for (const QString& name : r.paintedAtOnce)
                QVERIFY2(counter.painted.count(name), qPrintable(QStringLiteral("%1: %2").arg(r.name, name)));
            if (!r.paintedAtOnce.empty()) QVERIFY2(!widgets::PaintPace::Instance().Holding(), r.name);
            // A bar not painted yet waits for its pace, and is painted within it.
            QVERIFY2(counter.painted.count(QStringLiteral("ProgressBar1")) || widgets::PaintPace::Instance().Holding(),
                     r.name);
            QTRY_VERIFY2_WITH_TIMEOUT(counter.painted.count(QStringLiteral("ProgressBar1")), r.name, 1000);
        }
        qApp->removeEventFilter(&counter);
        mainWindow->link().Disconnect();
    }

    void theEventMemoryOnTheLogsTab() {
        protocol::EventLog log{};
        log[0].eventType = 0x0003;              // bytes 03 00: MW wins over UP PIR
        log[1].eventType = 0x8000;              // 00 80
        log[2].eventType = 0x0200;              // 00 02
        log[0].peaks = {300, 1, 2, 3, 4, 5, 6}; // 01 2C first
        log[0].temperature = -5;
        log[1].temperature = 25;
        auto bytes = protocol::EncodeEventLog(log);
        QCOMPARE(bytes[2], std::uint8_t(0x01));
        QCOMPARE(bytes[3], std::uint8_t(0x2C));
        widgets::StringGrid& grid = *mainWindow->eventGrid();
        monitor::ShowEventLog(grid, bytes.data());
        const QString deg = QStringLiteral("\u00b0C");
        const std::vector<std::tuple<int, int, QString>> cells{
            {1, 1, "MW"},       {2, 1, "300"},         {8, 1, "6"}, {9, 1, "-5" + deg}, {1, 2, "---"},
            {9, 2, "25" + deg}, {1, 3, "Fail Lis302"}, {1, 4, ""},  {2, 4, "0"},        {9, 10, "0" + deg}};
        for (const auto& [col, row, text] : cells)
            QVERIFY2(
                grid.cell(col, row) == text,
                qPrintable(QStringLiteral("cell %1,%2: %3, not %4").arg(col).arg(row).arg(grid.cell(col, row), text)));

        // The same memory again changes nothing; entry 3 alone changes only row 4.
        QSignalSpy changed(grid.model(), &QAbstractItemModel::dataChanged);
        monitor::ShowEventLog(grid, bytes.data());
        QCOMPARE(changed.count(), 0);
        log[3].peaks[1] = 77;
        bytes = protocol::EncodeEventLog(log);
        monitor::ShowEventLog(grid, bytes.data());
        std::set<int> rows;
        for (const QList<QVariant>& args : changed) rows.insert(args.at(0).toModelIndex().row() + 1);
        QCOMPARE(rows, std::set<int>{4});
        QCOMPARE(grid.cell(3, 4), QString("77"));

        // "Clear Logs" empties the body; headings and row numbers stay.
        auto* clear = mainWindow->findChild<QMenu*>("PopupMenu2")->findChild<QAction*>("Clear1");
        clear->trigger();
        QCOMPARE(grid.cell(1, 1), QString());
        QCOMPARE(grid.cell(3, 4), QString());
        QCOMPARE(grid.cell(1, 0), QString("ALLARM"));
        QCOMPARE(grid.cell(0, 10), QString("10 "));
    }
};

OSTREVO_GUI_TEST_MAIN(TestLiveView)
#include "test_liveview.moc"
