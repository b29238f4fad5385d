// End to end: the real main window and poll cycle against the real virtual detector process.
#include "DetectorModel.h"
#include "GuiTestMain.h"
#include "SimProcess.h"
#include "app/Main.h"
#include "app/UserDialogs.h"
#include "config/ParameterBlock.h"
#include "graph/Graphic.h"
#include "link/ComSetup.h"
#include "monitor/StatusRecord.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QScrollBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>

// The program's three windows, wired as at start-up, with messages and the log kept for the test.
struct Program {
    QTemporaryDir logDir;
    std::vector<QString> messages;
    dialogs::MessageHandler previous;
    TMee mee;
    TFormCom formCom{&mee, PortRoots{"/nonexistent", "/nonexistent"}};
    TGraphics graphics{&mee};

    Program() {
        previous = dialogs::SetMessageHandler([this](QWidget*, const QString& t) { messages.push_back(t); });
        mee.setErrorLogFolder(logDir.path().toStdString());
        mee.setEndProcess([](int) {});
        mee.setCompanions(&formCom, &graphics);
        mee.show();
        formCom.ScrollBar1->setValue(50);
    }
    ~Program() {
        mee.Action1->trigger(); // Exit: closes the port
        dialogs::SetMessageHandler(previous);
    }
    void connectTo(const QString& port) {
        formCom.ComboBox1->setEditText(port);
        mee.Action2->trigger();
    }
    PollCycle& link() { return mee.link(); }
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
        Program p;
        p.connectTo(sim.port());
        QCOMPARE(p.mee.Action2->text(), QString("Disconnect"));
        QTRY_VERIFY_WITH_TIMEOUT(p.link().GoodReplies >= 1, 3000);
        QCOMPARE(p.link().Stores.parameters, params::EncodeRecord(DetectorModel::FactoryDefaults()));
        QTRY_VERIFY_WITH_TIMEOUT(p.link().GoodReplies >= 20, 5000);
        QCOMPARE(p.link().LastReplyCode, std::uint8_t(8));
        const monitor::StatusRecord s = monitor::DecodeStatus(p.link().Stores.status.data());
        QVERIFY(s.channels[2].compensation > 0);
        QVERIFY(s.acc[2] > 30); // gravity on Z
        QVERIFY(p.messages.empty());
    }

    void theLogsTabPollsTheEventMemory() {
        SimProcess sim({"--no-pacing"});
        Program p;
        p.connectTo(sim.port());
        QTRY_VERIFY_WITH_TIMEOUT(p.link().GoodReplies >= 2, 3000);
        QVERIFY(sim.command("tamper on"));
        QTRY_VERIFY_WITH_TIMEOUT(monitor::DecodeStatus(p.link().Stores.status.data()).alarmFlags & (1u << 11), 3000);
        p.mee.PageControl1->setCurrentIndex(1);
        QTRY_COMPARE_WITH_TIMEOUT(p.link().LastReplyCode, std::uint8_t(12), 3000);
        const monitor::EventLog events = monitor::DecodeEventLog(p.link().Stores.eventLog.data());
        QVERIFY(events[0].eventType & (1u << 8));
        p.mee.PageControl1->setCurrentIndex(0);
        QTRY_COMPARE_WITH_TIMEOUT(p.link().LastReplyCode, std::uint8_t(8), 3000);
    }

    void aSilentDetectorTimesOutAndIsLogged() {
        SimProcess sim({"--no-pacing"});
        Program p;
        p.connectTo(sim.port());
        QTRY_VERIFY_WITH_TIMEOUT(p.link().GoodReplies >= 3, 3000);
        QVERIFY(sim.command("silent 5000"));
        QTRY_VERIFY_WITH_TIMEOUT(!p.messages.empty(), 5000);
        QCOMPARE(p.messages.front(), QString("Error Time Out"));
        QCOMPARE(p.link().State(), LinkState::Halted);
        QCOMPARE(p.mee.Action2->text(), QString("Connect"));
        QVERIFY(p.log().contains("Error String:   BuffRX[0]= 0 LenRX= 64 message: Timeout during operation\r\n"));
        // The detector speaks again: Connect resumes polling, starting with a read-back.
        QVERIFY(sim.command("silent 0"));
        const auto before = p.link().GoodReplies;
        p.mee.Action2->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(p.link().GoodReplies > before + 3, 3000);
    }

    void aHangUpHaltsWithAClearMessage() {
        SimProcess sim({"--no-pacing"});
        Program p;
        p.connectTo(sim.port());
        QTRY_VERIFY_WITH_TIMEOUT(p.link().GoodReplies >= 3, 3000);
        QVERIFY(sim.command("hangup"));
        QTRY_VERIFY_WITH_TIMEOUT(!p.messages.empty(), 5000);
        QVERIFY(p.messages.front().startsWith("Error Time Out"));
        QVERIFY(p.messages.front().contains("Input/output error"));
        QCOMPARE(p.link().State(), LinkState::Halted);
        QVERIFY(sim.waitForExit(3000));
        QCOMPARE(sim.exitCode(), 0);
    }

    void corruptedRepliesAreDroppedWithoutCounting() {
        SimProcess sim({"--no-pacing"});
        Program p;
        p.connectTo(sim.port());
        QTRY_VERIFY_WITH_TIMEOUT(p.link().GoodReplies >= 3, 3000);
        QVERIFY(sim.command("corrupt 1"));
        QTest::qWait(100);
        const auto frozen = p.link().GoodReplies;
        QTest::qWait(400);
        QCOMPARE(p.link().GoodReplies, frozen); // every reply dropped ...
        QCOMPARE(p.link().RetryCount, 0);       // ... and none counted as a failure
        QCOMPARE(p.link().State(), LinkState::Polling);
        QVERIFY(p.messages.empty());
        QVERIFY(sim.command("corrupt 0"));
        QTRY_VERIFY_WITH_TIMEOUT(p.link().GoodReplies > frozen + 3, 3000);
    }

    void droppedRepliesAreRetried() {
        SimProcess sim({"--no-pacing", "--drop-every", "3"});
        Program p;
        p.connectTo(sim.port());
        QTRY_VERIFY_WITH_TIMEOUT(p.link().GoodReplies >= 30, 8000);
        QCOMPARE(p.link().State(), LinkState::Polling);
        QVERIFY(p.messages.empty());
    }

    void settingsSentAreClampedAndReadBack() {
        QTemporaryDir dir;
        const QString flash = dir.path() + "/flash.bin";
        {
            SimProcess sim({"--no-pacing", "--flash", flash});
            Program p;
            p.connectTo(sim.port());
            QTRY_VERIFY_WITH_TIMEOUT(p.link().GoodReplies >= 2, 3000);
            params::Parameters wanted = DetectorModel::FactoryDefaults();
            wanted.channels[0].trange = 999; // beyond the MW range
            wanted.channels[1].trange = 222;
            wanted.flags |= params::StoreRequest;
            p.link().SettingsFrame = params::EncodeSettingsFrame(wanted);
            p.link().PendingSettings = true;
            p.link().PollRequest.ArmPoll(frames::ParameterReadBack, frames::ParameterReplyLength);
            QTRY_VERIFY_WITH_TIMEOUT(params::DecodeRecord(p.link().Stores.parameters).channels[1].trange == 222, 3000);
            QCOMPARE(params::DecodeRecord(p.link().Stores.parameters).channels[0].trange, 500);
        }
        // Stored to flash: a restarted detector still has them.
        SimProcess again({"--no-pacing", "--flash", flash});
        Program p;
        p.connectTo(again.port());
        QTRY_VERIFY_WITH_TIMEOUT(p.link().GoodReplies >= 1, 3000);
        QCOMPARE(params::DecodeRecord(p.link().Stores.parameters).channels[1].trange, 222);
    }

    void aPacedDetectorAndASlowOneAreReadToCompletion() {
        SimProcess sim; // paced at 19200 baud
        Program p;
        p.connectTo(sim.port());
        QTRY_VERIFY_WITH_TIMEOUT(p.link().GoodReplies >= 5, 3000);
        // Bytes 30 ms apart, under the 50 ms time-out: slow, but every reply arrives whole.
        QVERIFY(sim.command("dribble 30"));
        const auto before = p.link().GoodReplies;
        QTRY_VERIFY_WITH_TIMEOUT(p.link().GoodReplies >= before + 2, 8000);
        QVERIFY(p.messages.empty());
        QCOMPARE(p.link().State(), LinkState::Polling);
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
