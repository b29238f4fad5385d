// The poll cycle through its real tick against a pseudo-terminal: arming, retries, time-out,
// dropped frames, surplus bytes, pending settings, and the link state it shows.
#include "GuiTestMain.h"
#include "PtyPeer.h"
#include "app/MainWindow.h"
#include "app/QuitOnSignal.h"
#include "dialogs/UserDialogs.h"
#include "seriallink/PollCycle.h"
#include "seriallink/PortDialog.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <csignal>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>

using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes replyFrame(std::uint8_t code, std::size_t payloadSize, std::uint8_t fill = 0x11) {
    Bytes f{0x02, 0x00, static_cast<std::uint8_t>(payloadSize), code};
    for (std::size_t i = 0; i < payloadSize; ++i) f.push_back(static_cast<std::uint8_t>(fill + i));
    f.push_back(protocol::frames::FrameChecksum(f.data() + 4, payloadSize));
    f.push_back(0x03);
    return f;
}

const Bytes Poll8{0x02, 0x00, 0x01, 0x08, 0xF8, 0x03};
const Bytes Poll9{0x02, 0x00, 0x01, 0x09, 0xF7, 0x03};
const Bytes Poll12{0x02, 0x00, 0x01, 0x0C, 0xF4, 0x03};

struct RecordingView : seriallink::LinkView {
    std::string port;
    int timeout = 50;
    int tab = 0;
    int linkStateCalls = 0;
    bool connected = false;
    int activity = 0;
    std::vector<std::string> messages;
    std::vector<std::string> logged;
    std::vector<std::string> loggedClasses;
    std::vector<std::uint8_t> replies;
    std::vector<std::string> notices;
    std::vector<std::size_t> loggedWhenShown; // entries in the log when each box was shown
    bool logFails = false;
    bool consumerFails = false;
    std::function<void()> whileShown; // what showing a reply does besides
    bool reconnect = false;
    int reconnectingCalls = 0;

    std::string SelectedPort() override { return port; }
    int ReplyTimeoutMs() override { return timeout; }
    int CurrentTab() override { return tab; }
    void ShowLinkState(bool c) override {
        ++linkStateCalls;
        connected = c;
    }
    void StepActivity() override { activity = activity < 100 ? activity + 1 : 0; }
    void FillActivity() override { activity = 100; }
    void ShowMessage(const std::string& text) override {
        messages.push_back(text);
        loggedWhenShown.push_back(logged.size());
    }
    void ShowLinkNotice(const std::string& text) override { notices.push_back(text); }
    bool ReconnectAutomatically() override { return reconnect; }
    void ShowReconnecting() override { ++reconnectingCalls; }
    void LogError(const errorlog::LoggedException* e, const std::string& text) override {
        if (logFails) throw errorlog::ELogWriteError("Cannot write /x/LogError.txt: Read-only file system");
        logged.push_back(text);
        loggedClasses.push_back(e ? e->className : std::string());
    }
    void ReplyArrived(std::uint8_t code) override {
        replies.push_back(code);
        if (whileShown) whileShown();
        if (consumerFails) throw std::runtime_error("the view could not show the reply");
    }
};

// A port whose transmitter reports bytes still queued for a number of calls.
struct StalledSerial : protocol::SerialPort {
    int stalledCalls = 0;
    int PendingOutput() override { return stalledCalls-- > 0 ? 5 : protocol::SerialPort::PendingOutput(); }
};

std::string firstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

// Whether a second program may open the port now. It runs as an ordinary user: root may open a
// port that is claimed for exclusive use anyway.
bool anotherProgramCanOpen(const std::string& path) {
    const uid_t nobody = 65534;
    if (geteuid() == 0 && chown(path.c_str(), nobody, nobody) != 0) return false;
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgid(nobody) != 0 || setuid(nobody) != 0)) _exit(2);
        protocol::SerialPort second;
        second.OpenPort(path);
        _exit(second.PortOpen ? 0 : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

class TestPollCycle : public QObject {
    Q_OBJECT
    std::unique_ptr<PtyPeer> peer;
    std::unique_ptr<RecordingView> view;
    std::unique_ptr<QTimer> timer;
    std::unique_ptr<seriallink::PollCycle> cycle;

    void connectNow() {
        cycle->Connect();
        QVERIFY(cycle->LinkActive());
        QCOMPARE(cycle->State(), seriallink::LinkState::Polling);
        peer->readSent(1); // nothing should be waiting, but start clean
    }
    void silentTicks(int n) {
        for (int i = 0; i < n; ++i) cycle->tick();
    }

  private slots:
    void init() {
        peer = std::make_unique<PtyPeer>();
        view = std::make_unique<RecordingView>();
        view->port = peer->path();
        timer = std::make_unique<QTimer>();
        timer->setInterval(10);
        cycle = std::make_unique<seriallink::PollCycle>(*view, timer.get());
    }
    void cleanup() {
        cycle.reset();
        timer.reset();
        view.reset();
        peer.reset();
    }

    void connectArmsTheReadBackFirst() {
        connectNow();
        QVERIFY(view->connected);
        QVERIFY(timer->isActive());
        cycle->tick();
        QCOMPARE(peer->readSent(), Poll9);
        QCOMPARE(cycle->pollRequest().ExpectedReplyLength(), 46);
    }

    void connectWithAnEmptyPortName() {
        view->port.clear();
        cycle->Connect();
        QCOMPARE(view->messages, std::vector<std::string>{"set the COM port number"});
        QCOMPARE(view->linkStateCalls, 0);
        QCOMPARE(cycle->State(), seriallink::LinkState::Closed);
        QVERIFY(cycle->Serial()); // the serial object now exists and is kept
    }

    void connectToAMissingPortSaysWhy() {
        view->port = "/dev/ttyS254-not-here";
        cycle->Connect();
        QCOMPARE(view->messages.size(), std::size_t(1));
        QCOMPARE(firstLine(view->messages[0]), std::string("No such file or directory"));
        QVERIFY(view->messages[0].find("There is no port /dev/ttyS254-not-here") != std::string::npos);
        QVERIFY(!view->connected);
        QCOMPARE(cycle->State(), seriallink::LinkState::Closed);
        QVERIFY(view->logged.empty());
    }

    void fiveSilentRetriesThenTimeOut() {
        connectNow();
        cycle->ArmPoll(8, 64);
        silentTicks(5);
        QVERIFY(view->messages.empty());
        QCOMPARE(cycle->RetryCount(), 5);
        QVERIFY(timer->isActive());
        cycle->tick();
        QCOMPARE(firstLine(view->messages.front()), std::string("Error Time Out"));
        QVERIFY(view->messages.front().find("does not answer") != std::string::npos);
        QCOMPARE(view->logged, std::vector<std::string>{" BuffRX[0]= 0 LenRX= 64 message: Timeout during operation"});
        QCOMPARE(view->loggedWhenShown.front(), std::size_t(1)); // logged before the box
        QCOMPARE(view->loggedClasses.front(), std::string());    // no exception
        QVERIFY(!view->connected);
        QCOMPARE(cycle->State(), seriallink::LinkState::Halted); // the port stays open
        QCOMPARE(cycle->RetryCount(), 0);
        // The same request went out six times.
        Bytes six;
        for (int i = 0; i < 6; ++i) six.insert(six.end(), Poll8.begin(), Poll8.end());
        QCOMPARE(peer->readSent(), six);
    }

    void aGoodReplyResetsTheCount() {
        connectNow();
        cycle->ArmPoll(8, 64);
        silentTicks(5);
        peer->write(replyFrame(8, 58));
        cycle->tick();
        QCOMPARE(cycle->RetryCount(), 0);
        QCOMPARE(view->replies, Bytes{8});
        QCOMPARE(cycle->stores().status[0], 0x11);
        silentTicks(5);
        QVERIFY(view->messages.empty());
        QCOMPARE(cycle->State(), seriallink::LinkState::Polling);
    }

    // The pause before the next request runs from the moment a good reply is in, while it is shown;
    // a box opened while showing it runs the event loop, and with it the poll timer, yet no tick runs
    // inside the tick: the next request waits until the reply has been shown.
    void aReplyIsShownWhileThePauseRuns() {
        const struct {
            const char* name;
            int tab;
            std::uint8_t code;
            Bytes reply;
        } cases[] = {{"the read-back", 0, 9, replyFrame(9, 40)},
                     {"a status reply", 0, 8, replyFrame(8, 58)},
                     {"the event memory", 1, 12, replyFrame(12, 220)}};
        connectNow();
        for (const auto& c : cases) {
            view->tab = c.tab;
            cycle->ArmPoll(c.code, static_cast<int>(c.reply.size()));
            bool pausing = false;
            QSignalSpy pauses(timer.get(), &QTimer::timeout);
            view->whileShown = [&] {
                pausing = timer->isActive();
                QTRY_VERIFY(pauses.count() >= 5); // as a box open for five pauses would
            };
            peer->write(c.reply);
            cycle->tick();
            view->whileShown = nullptr;
            QVERIFY2(pausing, c.name);
            QCOMPARE(view->replies.back(), c.code);
            QCOMPARE(peer->readSent(), (Bytes{0x02, 0x00, 0x01, c.code, std::uint8_t(0x100 - c.code), 0x03}));
            QVERIFY2(timer->isActive(), c.name); // and polling goes on
            QCOMPARE(cycle->RetryCount(), 0);
        }
        QVERIFY(view->messages.empty());
    }

    void aDroppedFrameNeitherCountsNorResets() {
        connectNow();
        cycle->ArmPoll(8, 64);
        silentTicks(5);
        Bytes bad = replyFrame(8, 58);
        bad[62] ^= 0x01; // checksum
        peer->write(bad);
        cycle->tick();
        QCOMPARE(cycle->RetryCount(), 5);
        QVERIFY(view->replies.empty());
        QVERIFY(view->messages.empty());
        cycle->tick();
        QCOMPARE(view->messages.size(), std::size_t(1));
        QCOMPARE(firstLine(view->messages.front()), std::string("Error Time Out"));
    }

    // Until a read-back has arrived the controls hold defaults, so the VIEW tab keeps asking for it;
    // once the parameters are known, a damaged read-back is dropped and the status poll goes on.
    void theViewTabAsksForTheReadBackUntilItHasOne() {
        connectNow(); // armed for 9
        Bytes bad = replyFrame(9, 40);
        bad[44] ^= 0xFF;
        peer->write(bad);
        cycle->tick();
        QCOMPARE(peer->readSent(), Poll9);
        QVERIFY(!cycle->ParametersKnown());
        peer->write(replyFrame(9, 40));
        cycle->tick();
        QCOMPARE(peer->readSent(), Poll9);
        QVERIFY(cycle->ParametersKnown());
        cycle->ArmPoll(9, 46); // as a settings change does
        peer->write(bad);
        cycle->tick();
        QCOMPARE(peer->readSent(), Poll9);
        cycle->tick();
        QCOMPARE(peer->readSent(), Poll8);
        cycle->Connect(); // a new connection forgets what it knew
        QVERIFY(!cycle->ParametersKnown());
    }

    // The LOGS tab goes back to the event memory after a read-back, so its grid keeps refreshing.
    void onTheLogsTabTheEventMemoryFollowsTheReadBack() {
        view->tab = 1;
        connectNow();
        peer->write(replyFrame(9, 40));
        cycle->tick();
        QCOMPARE(view->replies, Bytes{9});
        QCOMPARE(peer->readSent(), Poll9);
        cycle->tick();
        QCOMPARE(peer->readSent(), Poll12);
    }

    void tabChangesArmTheirPolls() {
        cycle->tabChanged(1); // no link: nothing armed
        QCOMPARE(cycle->pollRequest().code(), 8);
        connectNow();
        cycle->tabChanged(1);
        QCOMPARE(cycle->pollRequest().ExpectedReplyLength(), 226);
        view->tab = 1;
        peer->write(replyFrame(12, 220));
        cycle->tick();
        QCOMPARE(peer->readSent(), Poll12);
        QCOMPARE(view->replies, Bytes{12});
        QCOMPARE(cycle->stores().eventLog[219], std::uint8_t(0x11 + 219));
        cycle->tabChanged(0); // no read-back yet: the VIEW tab asks for it first
        QCOMPARE(cycle->pollRequest().code(), 9);
        cycle->MarkParametersKnown();
        cycle->tabChanged(0);
        QCOMPARE(cycle->pollRequest().code(), 8);
        cycle->tabChanged(7); // any other index arms nothing
        QCOMPARE(cycle->pollRequest().code(), 8);
    }

    // Stray bytes after a good reply put the next exchange out of step: it fails and counts, the
    // line is emptied once it is quiet, and the exchange after it is back in step.
    void surplusBytesCostOneExchangeOnly() {
        connectNow();
        cycle->MarkParametersKnown(); // the VIEW tab polls the status
        cycle->ArmPoll(8, 64);
        Bytes longer = replyFrame(8, 58);
        longer.insert(longer.end(), {0xAA, 0xBB, 0xCC});
        peer->write(longer);
        cycle->tick();
        QCOMPARE(cycle->RetryCount(), 0); // judged on the armed 64 bytes: good
        peer->write(replyFrame(8, 58));
        cycle->tick();
        QCOMPARE(cycle->RetryCount(), 1); // the surplus came first: not a frame
        QCOMPARE(view->replies.size(), std::size_t(1));
        peer->write(replyFrame(8, 58, 0x21));
        cycle->tick();
        QCOMPARE(cycle->RetryCount(), 0);
        QCOMPARE(view->replies.size(), std::size_t(2));
        QCOMPARE(cycle->stores().status[0], 0x21);
        QCOMPARE(cycle->counters().Recoveries, std::uint64_t(1));
        QVERIFY(view->messages.empty());
    }

    // Noise that looks like the start of a frame makes the next reply a damaged frame: dropped
    // without counting, and what is left of the reply goes with it.
    void noiseBeforeAReplyIsDroppedWithIt() {
        connectNow();
        cycle->MarkParametersKnown(); // the VIEW tab polls the status
        cycle->ArmPoll(8, 64);
        Bytes longer = replyFrame(8, 58);
        longer.insert(longer.end(), {0x02, 0x00, 0x3A});
        peer->write(longer);
        cycle->tick();
        peer->write(replyFrame(8, 58));
        cycle->tick();
        QCOMPARE(cycle->counters().DroppedFrames, std::uint64_t(1));
        QCOMPARE(cycle->RetryCount(), 0);
        peer->write(replyFrame(8, 58, 0x21));
        cycle->tick();
        QCOMPARE(cycle->RetryCount(), 0);
        QCOMPARE(view->replies.size(), std::size_t(2));
        QCOMPARE(cycle->stores().status[0], 0x21);
    }

    // Each byte comes within the time-out, but the whole reply would take far longer than an
    // exchange may: the exchange fails at its deadline instead of holding the window.
    void aDribblingReplyFailsAtTheDeadline() {
        QCOMPARE(seriallink::PollCycle::ExchangeLimitMs(90, 64), 90 + 67);   // 64 bytes: 33.3 ms on the line
        QCOMPARE(seriallink::PollCycle::ExchangeLimitMs(90, 226), 90 + 236); // 226 bytes: 117.7 ms
        connectNow();
        cycle->ArmPoll(8, 64); // time-out 50 ms: deadline 117 ms
        std::atomic<bool> stop{false};
        std::thread dribble([&] {
            for (std::uint8_t b : replyFrame(8, 58)) {
                if (stop) break;
                peer->write({b});
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
        cycle->tick();
        stop = true;
        dribble.join();
        QCOMPARE(cycle->RetryCount(), 1);
        QVERIFY(view->replies.empty());
        QCOMPARE(cycle->Serial()->ErrorCode, int(protocol::ErrTimeout));
        QCOMPARE(cycle->State(), seriallink::LinkState::Polling); // retried, as after any failed exchange
    }

    void aFrameCheckFailureIsLoggedWithItsCause() {
        connectNow();
        cycle->ArmPoll(8, 64);
        for (int i = 0; i < 6; ++i) {
            peer->write(Bytes(64, 0x55)); // whole, but no frame
            cycle->tick();
        }
        QCOMPARE(view->messages.size(), std::size_t(1));
        QCOMPARE(firstLine(view->messages.front()), std::string("Error Time Out"));
        QCOMPARE(view->logged,
                 std::vector<std::string>{" BuffRX[0]= 85 LenRX= 64 message: Frame check failed: start (no STX)"});
    }

    // A frame made while halted (perhaps for the detector the cable reached before) never goes out
    // after the next Connect: the first frame is the read-back request, and the drop is reported.
    void settingsPendingWhileHaltedAreDroppedByConnect() {
        connectNow();
        cycle->ArmPoll(8, 64);
        silentTicks(6);
        QCOMPARE(cycle->State(), seriallink::LinkState::Halted);
        peer->readSent();
        cycle->QueueSettings(cycle->settingsFrame());
        QSignalSpy started(cycle.get(), &seriallink::PollCycle::connecting);
        cycle->Connect();
        QCOMPARE(cycle->State(), seriallink::LinkState::Polling);
        QCOMPARE(started.size(), 1);
        QCOMPARE(started.at(0).at(0).toBool(), true);
        QVERIFY(!cycle->SettingsPending());
        cycle->tick();
        QCOMPARE(peer->readSent(), Poll9);
    }

    void settingsThatCannotBeSentAreKeptAndCounted() {
        connectNow();
        std::array<std::uint8_t, 46> frame{0x02, 0x00, 41, 0x01};
        frame[44] = protocol::frames::FrameChecksum(&frame[3], 41);
        frame[45] = 0x03;
        cycle->QueueSettings(frame);
        peer->hangUp();
        cycle->tick();
        QVERIFY(cycle->SettingsPending());
        QCOMPARE(cycle->RetryCount(), 1);
        QVERIFY(cycle->ParametersStale());
        // After a failure the frame is not tried again on the old parameters: it is held, for its
        // maker to make again once they have been read, and the read-back goes out instead.
        QSignalSpy held(cycle.get(), &seriallink::PollCycle::settingsHeld);
        silentTicks(5);
        QCOMPARE(held.size(), 1);
        QVERIFY(!cycle->SettingsPending());
        QCOMPARE(cycle->pollRequest().bytes()[3], protocol::frames::ParameterReadBack);
        QCOMPARE(cycle->State(), seriallink::LinkState::Halted);
        QVERIFY(view->messages.at(0).rfind("Error Time Out", 0) == 0);
    }

    void emptyPortAfterTimeOutClosesThePortAndKeepsTheCaptions() {
        connectNow();
        silentTicks(6);
        const int calls = view->linkStateCalls;
        view->port.clear();
        cycle->Connect();
        QCOMPARE(view->messages.back(), std::string("set the COM port number"));
        QVERIFY(!cycle->LinkActive());
        QCOMPARE(view->linkStateCalls, calls);
    }

    // Output still queued at a tick gets its line time to go out, then the exchange goes on; a
    // queue that never drains, or a transmitter that stops taking bytes, is a failed exchange and
    // never holds the window for long.
    void aStuckTransmitterEndsInATimeOut() {
        cycle->setSerialFactory([] {
            auto s = std::make_unique<StalledSerial>();
            s->stalledCalls = 1;
            return s;
        });
        connectNow();
        cycle->tick();
        QCOMPARE(peer->readSent(), Poll9); // drained within the tick
        static_cast<StalledSerial*>(cycle->Serial())->stalledCalls = 1000000;
        silentTicks(5); // the silent poll above was the first failure
        QCOMPARE(firstLine(view->messages.at(0)), std::string("Error Time Out"));
        QCOMPARE(cycle->State(), seriallink::LinkState::Halted);

        // The detector's end stops taking bytes: each tick gives up after its own deadline.
        view->messages.clear();
        static_cast<StalledSerial*>(cycle->Serial())->stalledCalls = 0;
        connectNow();
        QCOMPARE(::tcflow(peer->slave(), TCOOFF), 0);
        QElapsedTimer tick;
        tick.start();
        cycle->tick();
        QVERIFY2(tick.elapsed() < 1000, "a tick waited for a stalled transmitter");
        QCOMPARE(cycle->RetryCount(), 1);
        QCOMPARE(cycle->Serial()->ErrorCode, int(protocol::ErrTimeout));
        silentTicks(5);
        QCOMPARE(firstLine(view->messages.at(0)), std::string("Error Time Out"));
        ::tcflow(peer->slave(), TCOON);
    }

    // A detector that answers with complete frames this program does not take (another length
    // than asked for, or a known code with a length not its own) is not dispatched, and a run of
    // six loses the link with the frame check named; a single good reply ends the run.
    void framesOfAnotherKindLoseTheLink() {
        const struct {
            const char* name;
            Bytes frame;
            const char* cause;
        } cases[] = {{"longer", replyFrame(8, 64), "Frame check failed: length"},
                     {"code 12, status length", replyFrame(12, 58), "Frame check failed: length for its code"},
                     {"code 7, status length", replyFrame(7, 58), "Frame check failed: length for its code"}};
        for (const auto& c : cases) {
            cycle.reset(); // the port is free again
            view = std::make_unique<RecordingView>();
            view->port = peer->path();
            cycle = std::make_unique<seriallink::PollCycle>(*view, timer.get());
            connectNow();
            cycle->MarkParametersKnown(); // read back: the status is polled
            cycle->ArmPoll(8, 64);
            for (int i = 0; i < 5; ++i) {
                peer->write(c.frame);
                cycle->tick();
            }
            peer->write(replyFrame(8, 58));
            cycle->tick();
            QCOMPARE(cycle->DamagedRun(), 0);
            QVERIFY2(view->messages.empty(), c.name);
            for (int i = 0; i < 6; ++i) {
                peer->write(c.frame);
                cycle->tick();
            }
            QCOMPARE(view->replies, Bytes{8}); // only the good one
            QVERIFY2(view->messages.size() == 1 && firstLine(view->messages[0]) == "Error Time Out", c.name);
            QVERIFY2(view->messages[0].find(c.cause) != std::string::npos, c.name);
            QCOMPARE(view->logged,
                     std::vector<std::string>{" BuffRX[0]= 2 LenRX= 64 message: " + std::string(c.cause)});
            QCOMPARE(cycle->State(), seriallink::LinkState::Halted);
        }
    }

    // With "Reconnect automatically", a lost link shows no box: the status bar says so, the port is
    // looked for again, and the program connects by itself, starting with the read-back. Disconnect
    // stops the waiting.
    void aLostLinkReconnectsWhenAsked() {
        QTemporaryDir dir;
        const std::string link = dir.filePath("ttyADAPTER").toStdString(); // as udev names an adapter
        QCOMPARE(::symlink(peer->path().c_str(), link.c_str()), 0);
        view->port = link;
        view->reconnect = true;
        connectNow();
        cycle->ArmPoll(8, 64);
        peer->hangUp(); // the adapter is pulled out
        ::unlink(link.c_str());
        silentTicks(6);
        QVERIFY(view->messages.empty());
        QCOMPARE(view->logged.size(), std::size_t(1));
        QCOMPARE(cycle->State(), seriallink::LinkState::Reconnecting);
        QCOMPARE(view->notices.back(), "Link lost, reconnecting to " + link + "...");
        QSignalSpy looks(cycle->findChild<QTimer*>(), &QTimer::timeout); // (its timer for the port)
        QTRY_VERIFY(looks.count() >= 3);
        QCOMPARE(cycle->State(), seriallink::LinkState::Reconnecting);

        PtyPeer back; // ...and plugged in again: open, but the link is back only once the detector answers
        QCOMPARE(::symlink(back.path().c_str(), link.c_str()), 0);
        QTRY_VERIFY_WITH_TIMEOUT(cycle->LinkActive(), 2000);
        timer->stop();
        QCOMPARE(cycle->State(), seriallink::LinkState::Reconnecting);
        silentTicks(6); // the detector is silent: still the same loss, logged once
        QCOMPARE(cycle->State(), seriallink::LinkState::Reconnecting);
        QCOMPARE(view->logged.size(), std::size_t(1));
        QCOMPARE(cycle->counters().Reconnections, std::uint64_t(0));
        QTRY_VERIFY_WITH_TIMEOUT(cycle->LinkActive(), 2000);
        timer->stop();
        back.readSent(50);
        back.write(replyFrame(9, 40));
        cycle->tick();
        QCOMPARE(cycle->State(), seriallink::LinkState::Polling);
        QCOMPARE(cycle->counters().Reconnections, std::uint64_t(1));
        QCOMPARE(view->notices.back(), "Link back on " + link + ".");
        cycle->Disconnect();
        QCOMPARE(cycle->State(), seriallink::LinkState::Closed);
        QVERIFY(view->messages.empty());
    }

    void unpluggedDetectorHaltsWithAClearMessage() {
        connectNow();
        cycle->ArmPoll(8, 64);
        peer->hangUp();
        silentTicks(6);
        QCOMPARE(cycle->State(), seriallink::LinkState::Halted);
        QCOMPARE(view->messages.size(), std::size_t(1));
        QVERIFY(view->messages[0].rfind("Error Time Out", 0) == 0);
        QVERIFY(view->messages[0].find("Input/output error") != std::string::npos);
        QCOMPARE(view->logged, std::vector<std::string>{" BuffRX[0]= 0 LenRX= 64 message: Input/output error"});
    }

    void aLogThatCannotBeWrittenIsReported() {
        view->logFails = true;
        connectNow();
        silentTicks(6);
        QCOMPARE(view->messages.size(), std::size_t(2));
        QVERIFY(view->messages[0].find("could not be written") != std::string::npos); // the log comes first
        QCOMPARE(firstLine(view->messages[1]), std::string("Error Time Out"));
        QCOMPARE(cycle->State(), seriallink::LinkState::Halted);
    }

    // A fault in showing a reply stops the link in the halted state, logged and said; Connect
    // restarts it.
    void aFaultShowingAReplyHaltsTheLink() {
        view->consumerFails = true;
        connectNow();
        peer->write(replyFrame(9, 40));
        cycle->tick();
        QCOMPARE(view->messages, std::vector<std::string>{"the view could not show the reply"});
        QCOMPARE(view->loggedClasses, std::vector<std::string>{"std::runtime_error"});
        QCOMPARE(cycle->State(), seriallink::LinkState::Halted);
        QVERIFY(!view->connected);
        view->consumerFails = false;
        connectNow();
        QVERIFY(timer->isActive());
    }

    void disconnectKeepsTheSerialObject() {
        connectNow();
        protocol::SerialPort* serial = cycle->Serial();
        cycle->Disconnect();
        QCOMPARE(cycle->State(), seriallink::LinkState::Closed);
        QVERIFY(!timer->isActive());
        QCOMPARE(cycle->Serial(), serial);
        cycle->tick(); // a tick without a link only keeps the activity bar going
        QVERIFY(peer->readSent().empty());
        cycle->Exit();
        QVERIFY(!cycle->Serial());
    }

    // Told to stop while connected: the port is closed through the event loop, as Exit does, so
    // another program may open it at once.
    void sigtermWhileConnectedReleasesThePort() {
        connectNow();
        int quitWith = 0;
        {
            app::QuitOnSignal quitOnSignal([this] { cycle->Exit(); }, [&](int signal) { quitWith = signal; });
            QCOMPARE(::raise(SIGTERM), 0); // without the handler, the end of this test
            QTRY_COMPARE(quitWith, SIGTERM);
        }
        QVERIFY(!cycle->Serial());
        int exclusive = 1;
        QCOMPARE(ioctl(peer->slave(), TIOCGEXCL, &exclusive), 0);
        QCOMPARE(exclusive, 0);
        QVERIFY(anotherProgramCanOpen(peer->path()));
    }

    void throughTheMainWindowWithTheRealTimer() {
        QTemporaryDir logDir;
        std::vector<QString> shown;
        auto previous = dialogs::SetMessageHandler([&](QWidget*, const QString& text) { shown.push_back(text); });
        app::MainWindow mainWindow;
        mainWindow.setErrorLogFolder(logDir.path().toStdString());
        mainWindow.setEndProcess([](int) {});
        seriallink::PortDialog portDialog(&mainWindow, protocol::PortRoots{"/nonexistent", "/nonexistent"});
        mainWindow.setCompanions(&portDialog, nullptr);
        mainWindow.show();
        QVERIFY(!mainWindow.connectAction()->isEnabled());
        portDialog.portCombo()->setEditText(QString::fromStdString(peer->path()));
        QVERIFY(mainWindow.connectAction()->isEnabled());
        portDialog.timeoutBar()->setValue(50);
        QCOMPARE(portDialog.timeoutLabel()->text(), QString("50 mS"));
        mainWindow.connectAction()->trigger();
        QCOMPARE(mainWindow.connectAction()->text(), QString("Disconnect"));
        QCOMPARE(mainWindow.statusPanel(0)->text(), QString("Connect"));
        QVERIFY(mainWindow.storeAction()->isEnabled());
        QVERIFY(mainWindow.pollTimer()->isActive());
        // Nobody answers: six failed exchanges later the link halts and says so.
        QTRY_VERIFY_WITH_TIMEOUT(!shown.empty(), 5000);
        QVERIFY(shown.front().startsWith("Error Time Out\n"));
        QCOMPARE(mainWindow.connectAction()->text(), QString("Connect"));
        QCOMPARE(mainWindow.statusPanel(0)->text(), QString("Disconnect"));
        QVERIFY(!mainWindow.storeAction()->isEnabled());
        QVERIFY(!mainWindow.pollTimer()->isActive());
        QFile log(logDir.path() + "/LogError.txt");
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(log.readAll().contains("Error String:   BuffRX[0]= 0 LenRX= 46 message: Timeout during operation\r\n"));
        // Halted: Connect again polls again; then Disconnect closes.
        mainWindow.connectAction()->trigger();
        QVERIFY(mainWindow.pollTimer()->isActive());
        mainWindow.connectAction()->trigger();
        QCOMPARE(mainWindow.connectAction()->text(), QString("Connect"));
        QVERIFY(!mainWindow.link().LinkActive());
        dialogs::SetMessageHandler(previous);
    }

    void thePortDialog() {
        QTemporaryDir root;
        QDir d(root.path());
        d.mkpath("dev");
        for (int n : {0, 2, 9}) {
            QFile(root.path() + QString("/dev/ttyS%1").arg(n)).open(QIODevice::WriteOnly);
            d.mkpath(QString("sys/ttyS%1").arg(n));
            QFile type(root.path() + QString("/sys/ttyS%1/type").arg(n));
            type.open(QIODevice::WriteOnly);
            type.write("4\n");
        }
        // A USB adapter with its product's name, as the kernel describes it.
        QFile(root.path() + "/dev/ttyUSB0").open(QIODevice::WriteOnly);
        d.mkpath("sys/ttyUSB0/device");
        for (const auto& [file, text] : {std::pair{"idVendor", "0403"}, {"idProduct", "6001"}, {"product", "FT232R"}}) {
            QFile f(root.path() + "/sys/ttyUSB0/device/" + file);
            f.open(QIODevice::WriteOnly);
            f.write(QByteArray(text) + "\n");
        }
        // The stable name of an adapter that is not plugged in: not a port to choose.
        d.mkpath("dev/serial/by-id");
        QVERIFY(QFile::link("../../ttyUSB7", root.path() + "/dev/serial/by-id/usb-Gone_B-if00-port0"));
        app::MainWindow mainWindow;
        seriallink::PortDialog portDialog(&mainWindow, protocol::PortRoots{(root.path() + "/dev").toStdString(),
                                                                           (root.path() + "/sys").toStdString()});
        mainWindow.setCompanions(&portDialog, nullptr);
        QCOMPARE(portDialog.windowTitle(), QString("Com Setup"));
        // The adapter first, then the serial ports in numeric order, each with its device beside its name.
        const QString dev = root.path() + "/dev";
        QStringList listed;
        for (int i = 0; i < portDialog.portCombo()->count(); ++i) listed << portDialog.portCombo()->itemText(i);
        QCOMPARE(listed, QStringList({dev + "/ttyUSB0  FT232R (0403:6001)", "COM1  (" + dev + "/ttyS0)",
                                      "COM3  (" + dev + "/ttyS2)", "COM10  (" + dev + "/ttyS9)"}));
        QCOMPARE(portDialog.portCombo()->currentText(), QString());
        // Until a port is chosen the status bar says where to choose one.
        mainWindow.show();
        QCOMPARE(mainWindow.statusPanel(1)->text(), QString("Choose the detector's port: SetUp COM (Alt+T)"));
        QCOMPARE(portDialog.timeoutLabel()->text(), QString("90 mS"));
        portDialog.timeoutBar()->setValue(portDialog.timeoutBar()->minimum());
        QCOMPARE(portDialog.timeoutLabel()->text(), QString("50 mS"));
        portDialog.timeoutBar()->setValue(portDialog.timeoutBar()->maximum());
        QCOMPARE(portDialog.timeoutLabel()->text(), QString("500 mS"));
        QCOMPARE(portDialog.TimeoutMs(), 500);
        // Choosing enables Connect; typing and deleting leaves the name empty, Connect enabled.
        portDialog.portCombo()->setCurrentIndex(2);
        QCOMPARE(portDialog.SelectedPort(), QString("COM3"));
        QVERIFY(mainWindow.connectAction()->isEnabled());
        QCOMPARE(mainWindow.statusPanel(1)->text(), QString("COM: COM3")); // done
        portDialog.portCombo()->setEditText("");
        QCOMPARE(portDialog.SelectedPort(), QString());
        QVERIFY(mainWindow.connectAction()->isEnabled());
        std::vector<QString> shown;
        auto previous = dialogs::SetMessageHandler([&](QWidget*, const QString& text) { shown.push_back(text); });
        mainWindow.connectAction()->trigger();
        QCOMPARE(shown, std::vector<QString>{"set the COM port number"});
        dialogs::SetMessageHandler(previous);
        // OK hides and keeps the choices.
        portDialog.portCombo()->setCurrentIndex(3);
        mainWindow.portAction()->trigger();
        QVERIFY(portDialog.isVisible());
        QTest::mouseClick(portDialog.okButton(), Qt::LeftButton);
        QVERIFY(!portDialog.isVisible());
        QCOMPARE(portDialog.SelectedPort(), QString("COM10"));
        QCOMPARE(portDialog.TimeoutMs(), 500);
        for (QLabel* l : {portDialog.timeoutLabel(), portDialog.portCaption(), portDialog.timeoutCaption()})
            QVERIFY2(l->width() >= l->sizeHint().width(), qPrintable(l->text()));
    }
};

OSTREVO_GUI_TEST_MAIN(TestPollCycle)
#include "test_pollcycle.moc"
