// End to end: the real main window and poll cycle against the real virtual detector process.
#include "DetectorModel.h"
#include "GuiTestMain.h"
#include "SimProcess.h"
#include "app/MainWindow.h"
#include "app/Program.h"
#include "dialogs/UserDialogs.h"
#include "graph/GraphWindow.h"
#include "monitor/Siren.h"
#include "protocol/ParameterBlock.h"
#include "protocol/StatusRecord.h"
#include "seriallink/PortDialog.h"
#include "widgets/GaugeBar.h"
#include "widgets/Lamp.h"
#include "widgets/LevelBar.h"
#include "widgets/StringGrid.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>

// A sound player that only counts its plays.
struct CountingPlayer : monitor::SirenPlayer {
    int plays = 0;
    void load(const QString&) override {}
    void play() override { ++plays; }
    void stop() override {}
};

// The program's three windows, wired as at start-up, with messages and the log kept for the test.
struct RunningProgram {
    QTemporaryDir logDir;
    std::vector<QString> messages;
    dialogs::MessageHandler previous;
    app::Program program{protocol::PortRoots{"/nonexistent", "/nonexistent"}};
    app::MainWindow& mainWindow = program.mainWindow();
    seriallink::PortDialog& portDialog = program.portDialog();
    graph::GraphWindow& graphics = program.graphWindow();

    RunningProgram() {
        previous = dialogs::SetMessageHandler([this](QWidget*, const QString& t) { messages.push_back(t); });
        mainWindow.setErrorLogFolder(logDir.path().toStdString());
        mainWindow.setEndProcess([](int) {});
        mainWindow.show();
        portDialog.timeoutBar()->setValue(50);
    }
    ~RunningProgram() {
        mainWindow.exitAction()->trigger(); // Exit: closes the port
        dialogs::SetMessageHandler(previous);
    }
    void connectTo(const QString& port) {
        portDialog.portCombo()->setEditText(port);
        mainWindow.connectAction()->trigger();
    }
    seriallink::PollCycle& link() { return mainWindow.link(); }
    QByteArray log() {
        QFile f(logDir.path() + "/LogError.txt");
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

class TestEndToEnd : public QObject {
    Q_OBJECT
  private slots:
    void connectReadsTheParametersBackThenPollsStatus() {
        SimProcess sim({"--no-pacing"});
        QVERIFY(!sim.port().isEmpty());
        RunningProgram p;
        p.connectTo(sim.port());
        QCOMPARE(p.mainWindow.connectAction()->text(), QString("Disconnect"));
        QTRY_VERIFY_WITH_TIMEOUT(p.link().counters().GoodReplies >= 1, 3000);
        QCOMPARE(p.link().stores().parameters, protocol::params::EncodeRecord(DetectorModel::FactoryDefaults()));
        QTRY_VERIFY_WITH_TIMEOUT(p.link().counters().GoodReplies >= 20, 5000);
        QCOMPARE(p.link().counters().LastReplyCode, std::uint8_t(8));
        const protocol::StatusRecord s = protocol::DecodeStatus(p.link().stores().status.data());
        QVERIFY(s.channels[2].compensation > 0);
        QVERIFY(s.acc[2] > 30); // gravity on Z
        QVERIFY(p.messages.empty());
    }

    // Under temperature compensation the detector switches its PIR noise reduction with the infrared
    // noise: the boxes follow it, and nothing is written to it.
    void theDetectorsOwnNoiseReductionIsShownNotWritten() {
        SimProcess sim({"--no-pacing"});
        RunningProgram p;
        QSignalSpy frames(&p.link(), &seriallink::PollCycle::settingsSent);
        p.connectTo(sim.port());
        QTRY_VERIFY_WITH_TIMEOUT(p.link().counters().GoodReplies >= 20, 5000);
        for (const bool noisy : {true, false, true, false}) {
            QVERIFY(sim.command(noisy ? "noise1 on" : "noise1 off"));
            QTRY_COMPARE_WITH_TIMEOUT(p.mainWindow.view().noisePir1->isChecked(), noisy, 3000);
            const auto replies = p.link().counters().GoodReplies;
            QTRY_VERIFY_WITH_TIMEOUT(p.link().counters().GoodReplies >= replies + 20, 5000);
        }
        QCOMPARE(frames.size(), 0);
        QCOMPARE(p.mainWindow.statusPanel(3)->text(), QString("no changes"));
    }

    void theLogsTabPollsTheEventMemory() {
        SimProcess sim({"--no-pacing"});
        RunningProgram p;
        p.connectTo(sim.port());
        QTRY_VERIFY_WITH_TIMEOUT(p.link().counters().GoodReplies >= 2, 3000);
        QVERIFY(sim.command("tamper on"));
        QTRY_VERIFY_WITH_TIMEOUT(protocol::DecodeStatus(p.link().stores().status.data()).alarmFlags & (1u << 11), 3000);
        p.mainWindow.tabs()->setCurrentIndex(1);
        QTRY_COMPARE_WITH_TIMEOUT(p.link().counters().LastReplyCode, std::uint8_t(12), 3000);
        const protocol::EventLog events = protocol::DecodeEventLog(p.link().stores().eventLog.data());
        QVERIFY(events[0].eventType & (1u << 8));
        p.mainWindow.tabs()->setCurrentIndex(0);
        QTRY_COMPARE_WITH_TIMEOUT(p.link().counters().LastReplyCode, std::uint8_t(8), 3000);
    }

    // A walk past the detector moves the VIEW tab and the graph and lights the lamps; the tamper
    // sounds the siren; the LOGS tab shows the detector's memory.
    void aWalkTamperAndTheEventMemoryAsTheUserSeesThem() {
        SimProcess sim({"--no-pacing", "--intruder-every", "0"});
        RunningProgram p;
        QTemporaryDir sound;
        QFile(sound.filePath("SIREN1.WAV")).open(QIODevice::WriteOnly);
        auto player = std::make_unique<CountingPlayer>();
        CountingPlayer* plays = player.get();
        p.mainWindow.setSiren(new monitor::Siren(sound.path(), std::move(player)));
        p.connectTo(sim.port());
        QTRY_VERIFY_WITH_TIMEOUT(p.link().counters().GoodReplies >= 5, 3000);
        view::ViewControls& v = p.mainWindow.view();
        QVERIFY(v.mw.signal->value() < 150);
        QCOMPARE(v.mw.detection->brushColor(), QColor(128, 128, 128));
        QVERIFY(sim.command("intruder"));
        QTRY_VERIFY_WITH_TIMEOUT(v.mw.signal->value() > 300, 3000);
        const graph::State& g = p.graphics.State();
        const int newest = (g.SweepPosition + g.GraphWidth - 1) % g.GraphWidth;
        QCOMPARE(g.traces[graph::MwTrace][static_cast<std::size_t>(newest)].Y,
                 80 - graph::RoundHalfEven(v.mw.signal->value() / 10.0));
        QTRY_COMPARE_WITH_TIMEOUT(v.mw.detection->brushColor(), QColor(0, 255, 15), 3000);
        QTRY_COMPARE_WITH_TIMEOUT(v.outputs[0].state->brushColor(), QColor(255, 0, 0), 4000); // MW AND PIRs
        QVERIFY(sim.command("tamper on"));
        QTRY_COMPARE_WITH_TIMEOUT(v.tamper->brushColor(), QColor(253, 131, 9), 3000);
        QTRY_VERIFY_WITH_TIMEOUT(plays->plays >= 1, 3000);
        QVERIFY(p.mainWindow.siren()->Playing());

        p.mainWindow.tabs()->setCurrentIndex(1);
        widgets::StringGrid& grid = *p.mainWindow.eventGrid();
        // The newest event is the walk (with the tamper that came while it lasted), then the
        // detector's older events.
        QTRY_COMPARE_WITH_TIMEOUT(grid.cell(1, 1), QString("MW"), 3000);
        QVERIFY(grid.cell(2, 1).toInt() > 300);
        QVERIFY(grid.cell(9, 1).endsWith(QStringLiteral("\u00b0C")));
        QStringList names;
        for (int r = 2; r <= 10; ++r) names << grid.cell(1, r);
        QVERIFY2(names.contains("TAMPER") && names.contains("LowPower"), qPrintable(names.join(',')));
        QVERIFY(p.messages.empty());
    }

    // A control moved by the user reaches the detector, and the detector's copy comes back; a
    // store request survives a restart of the detector.
    void aChangeReachesTheDetectorAndIsStored() {
        QTemporaryDir dir;
        const QString flash = dir.filePath("flash.bin");
        {
            SimProcess sim({"--no-pacing", "--flash", flash});
            RunningProgram p;
            p.connectTo(sim.port());
            QTRY_VERIFY_WITH_TIMEOUT(p.link().ParametersKnown() && p.link().counters().GoodReplies >= 3, 3000);
            p.mainWindow.view().mw.tconv->setValue(12);
            p.mainWindow.storeAction()->trigger(); // Store To Flash
            QTRY_COMPARE_WITH_TIMEOUT(protocol::params::DecodeRecord(p.link().stores().parameters).channels[0].tconv,
                                      std::uint8_t(12), 3000);
            QCOMPARE(p.mainWindow.view().mw.tconvLabel->text(), QString("12"));
            QTRY_COMPARE_WITH_TIMEOUT(p.link().counters().LastReplyCode, std::uint8_t(8), 3000);
        }
        SimProcess again({"--no-pacing", "--flash", flash});
        RunningProgram p;
        p.connectTo(again.port());
        QTRY_COMPARE_WITH_TIMEOUT(p.mainWindow.view().mw.tconv->value(), 12, 3000);
        QCOMPARE(p.mainWindow.view().mw.tconvLabel->text(), QString("12"));
    }

    // A damaged first read-back is asked for again before anything else is polled or sent.
    void aDamagedFirstReadBackIsRepeated() {
        SimProcess sim({"--no-pacing"});
        QVERIFY(sim.command("corrupt-next 9"));
        RunningProgram p;
        p.connectTo(sim.port());
        QTRY_VERIFY_WITH_TIMEOUT(p.link().ParametersKnown(), 3000);
        QCOMPARE(p.link().stores().parameters, protocol::params::EncodeRecord(DetectorModel::FactoryDefaults()));
        QCOMPARE(p.mainWindow.view().mw.trangeLabel->text(), QString("300"));
        QTRY_COMPARE_WITH_TIMEOUT(p.link().counters().LastReplyCode, std::uint8_t(8), 3000);
        QVERIFY(p.messages.empty());
    }

    void aSilentDetectorTimesOutAndIsLogged() {
        SimProcess sim({"--no-pacing"});
        RunningProgram p;
        p.connectTo(sim.port());
        QTRY_VERIFY_WITH_TIMEOUT(p.link().counters().GoodReplies >= 3, 3000);
        QVERIFY(sim.command("silent 5000"));
        QTRY_VERIFY_WITH_TIMEOUT(!p.messages.empty(), 5000);
        QVERIFY(p.messages.front().startsWith("Error Time Out\n"));
        QCOMPARE(p.link().State(), seriallink::LinkState::Halted);
        QCOMPARE(p.mainWindow.connectAction()->text(), QString("Connect"));
        QVERIFY(p.log().contains("Error String:   BuffRX[0]= 0 LenRX= 64 message: Timeout during operation\r\n"));
        // The detector speaks again: Connect resumes polling, starting with a read-back.
        QVERIFY(sim.command("silent 0"));
        const auto before = p.link().counters().GoodReplies;
        p.mainWindow.connectAction()->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(p.link().counters().GoodReplies > before + 3, 3000);
    }

    void aHangUpHaltsWithAClearMessage() {
        SimProcess sim({"--no-pacing"});
        RunningProgram p;
        p.connectTo(sim.port());
        QTRY_VERIFY_WITH_TIMEOUT(p.link().counters().GoodReplies >= 3, 3000);
        QVERIFY(sim.command("hangup"));
        QTRY_VERIFY_WITH_TIMEOUT(!p.messages.empty(), 5000);
        QVERIFY(p.messages.front().startsWith("Error Time Out"));
        QVERIFY(p.messages.front().contains("Input/output error"));
        QCOMPARE(p.link().State(), seriallink::LinkState::Halted);
        QVERIFY(sim.waitForExit(3000));
        QCOMPARE(sim.exitCode(), 0);
    }

    // Damaged replies are dropped without counting as failed exchanges; a detector that sends
    // nothing else loses the link after six in a row, with the frame check named in the log.
    void corruptedRepliesAreDroppedAndARunOfThemLosesTheLink() {
        SimProcess sim({"--no-pacing"});
        RunningProgram p;
        p.connectTo(sim.port());
        QTRY_VERIFY_WITH_TIMEOUT(p.link().counters().GoodReplies >= 3, 3000);
        const auto failed = p.link().counters().FailedExchanges;
        const auto good = p.link().counters().GoodReplies;
        QVERIFY(sim.command("corrupt 1"));
        QTRY_VERIFY_WITH_TIMEOUT(!p.messages.empty(), 3000);
        QVERIFY(p.messages.front().startsWith("Error Time Out\n"));
        QVERIFY(p.messages.front().contains("checksum"));
        QCOMPARE(p.link().counters().FailedExchanges, failed);
        QVERIFY(p.link().counters().GoodReplies <= good + 1);
        QCOMPARE(p.link().State(), seriallink::LinkState::Halted);
        QVERIFY(p.log().contains("message: Frame check failed: checksum\r\n"));
        QVERIFY(sim.command("corrupt 0"));
        p.mainWindow.connectAction()->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(p.link().counters().GoodReplies > good + 3, 3000);
    }

    // With "Reconnect automatically", an adapter pulled out and put back costs no click.
    void anUnpluggedAdapterReconnectsByItself() {
        QTemporaryDir dir;
        const QString link = dir.filePath("ttyDETECTOR");
        SimProcess sim({"--no-pacing", "--link", link});
        RunningProgram p;
        p.portDialog.reconnectBox()->setChecked(true);
        p.connectTo(link);
        QTRY_VERIFY_WITH_TIMEOUT(p.link().counters().GoodReplies >= 3, 3000);
        QVERIFY(sim.command("unplug 2000"));
        QTRY_COMPARE_WITH_TIMEOUT(p.link().State(), seriallink::LinkState::Reconnecting, 3000);
        QCOMPARE(p.mainWindow.connectAction()->text(), QString("Disconnect"));
        const auto before = p.link().counters().GoodReplies;
        QTRY_VERIFY_WITH_TIMEOUT(p.link().counters().GoodReplies > before + 3, 5000);
        QCOMPARE(p.link().State(), seriallink::LinkState::Polling);
        QVERIFY(p.messages.empty());
        QVERIFY(p.log().contains("Error String:"));
    }

    void droppedRepliesAreRetried() {
        SimProcess sim({"--no-pacing", "--drop-every", "3"});
        RunningProgram p;
        p.connectTo(sim.port());
        QTRY_VERIFY_WITH_TIMEOUT(p.link().counters().GoodReplies >= 30, 8000);
        QCOMPARE(p.link().State(), seriallink::LinkState::Polling);
        QVERIFY(p.messages.empty());
    }

    void settingsSentAreClampedAndReadBack() {
        QTemporaryDir dir;
        const QString flash = dir.path() + "/flash.bin";
        {
            SimProcess sim({"--no-pacing", "--flash", flash});
            RunningProgram p;
            p.connectTo(sim.port());
            QTRY_VERIFY_WITH_TIMEOUT(p.link().counters().GoodReplies >= 2, 3000);
            protocol::params::Parameters wanted = DetectorModel::FactoryDefaults();
            wanted.channels[0].trange = 999; // beyond the MW range
            wanted.channels[1].trange = 222;
            wanted.flags |= protocol::params::StoreRequest;
            p.link().QueueSettings(protocol::params::EncodeSettingsFrame(wanted));
            p.link().ArmPoll(protocol::frames::ParameterReadBack, protocol::frames::ParameterReplyLength);
            QTRY_VERIFY_WITH_TIMEOUT(
                protocol::params::DecodeRecord(p.link().stores().parameters).channels[1].trange == 222, 3000);
            QCOMPARE(protocol::params::DecodeRecord(p.link().stores().parameters).channels[0].trange, 500);
        }
        // Stored to flash: a restarted detector still has them.
        SimProcess again({"--no-pacing", "--flash", flash});
        RunningProgram p;
        p.connectTo(again.port());
        QTRY_VERIFY_WITH_TIMEOUT(p.link().counters().GoodReplies >= 1, 3000);
        QCOMPARE(protocol::params::DecodeRecord(p.link().stores().parameters).channels[1].trange, 222);
    }

    void aPacedDetectorAndASlowOneAreReadButADribblingOneTimesOut() {
        SimProcess sim; // paced at 19200 baud
        RunningProgram p;
        p.connectTo(sim.port());
        QTRY_VERIFY_WITH_TIMEOUT(p.link().counters().GoodReplies >= 5, 3000);
        // Bytes 1 ms apart, half the line's speed: slow, but every reply arrives whole within the
        // exchange's deadline (the time-out plus twice the reply's time on the line).
        QVERIFY(sim.command("dribble 1"));
        const auto before = p.link().counters().GoodReplies;
        QTRY_VERIFY_WITH_TIMEOUT(p.link().counters().GoodReplies >= before + 5, 8000);
        QVERIFY(p.messages.empty());
        QCOMPARE(p.link().State(), seriallink::LinkState::Polling);
        // Bytes 30 ms apart, each under the 50 ms time-out, but a status reply would take two
        // seconds: every exchange fails at its deadline, and the sixth ends in "Error Time Out".
        QVERIFY(sim.command("dribble 30"));
        QTRY_VERIFY_WITH_TIMEOUT(!p.messages.empty(), 8000);
        QVERIFY(p.messages.front().startsWith("Error Time Out\n"));
        QCOMPARE(p.link().State(), seriallink::LinkState::Halted);
    }

    void theSimulatorCleansUpItsLink() {
        QTemporaryDir dir;
        const QString link = dir.path() + "/ttyDETECTOR";
        {
            SimProcess sim({"--no-pacing", "--link", link});
            QVERIFY(QFileInfo(link).isSymLink());
            QCOMPARE(QFileInfo(link).symLinkTarget(), sim.port());
            QCOMPARE(sim.stop(), 0);
        }
        QVERIFY(!QFileInfo(link).exists() && !QFileInfo(link).isSymLink());
        SimProcess bad({"--no-such-option"});
        QVERIFY(bad.port().isEmpty());
        QVERIFY(bad.waitForExit(3000));
        QCOMPARE(bad.exitCode(), 2);
    }
};

OSTREVO_GUI_TEST_MAIN(TestEndToEnd)
#include "test_e2e.moc"
