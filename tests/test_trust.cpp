// What the installer can trust, through the real window and a detector on a pseudo-terminal: after a failed
// exchange nothing goes out that was not decided on the detector's fresh parameters; a click that only
// brings the window forward changes nothing; every change not stored is in sight and can be undone one at a
// time; no failure box goes unrecorded, and leaving asks whenever a change could be lost.
#include "DetectorModel.h"
#include "GuiTestMain.h"
#include "HeldPollTimer.h"
#include "PtyPeer.h"
#include "ReplyFrames.h"
#include "app/MainWindow.h"
#include "app/MessageHistory.h"
#include "commission/Commissioning.h"
#include "config/ConfigFile.h"
#include "config/ParameterOffers.h"
#include "config/ParameterSender.h"
#include "dialogs/FileDialogs.h"
#include "dialogs/LiveQuestion.h"
#include "dialogs/UserDialogs.h"
#include "protocol/StatusRecord.h"
#include "seriallink/PortDialog.h"
#include "widgets/ClickThroughGuard.h"
#include "widgets/GaugeBar.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>
#include <functional>
#include <optional>

using Bytes = std::vector<std::uint8_t>;
using namespace protocol::params;

namespace {

const Bytes Poll8{0x02, 0x00, 0x01, 0x08, 0xF8, 0x03};
const Bytes Poll9{0x02, 0x00, 0x01, 0x09, 0xF7, 0x03};

Parameters manualNoiseReduction() {
    Parameters p = DetectorModel::FactoryDefaults();
    p.flags &= ~EnableTempComp;
    return p;
}

} // namespace

class TestTrust : public QObject {
    Q_OBJECT
    std::unique_ptr<PtyPeer> peer;
    std::unique_ptr<app::MainWindow> mainWindow;
    std::unique_ptr<seriallink::PortDialog> portDialog;
    std::unique_ptr<HeldPollTimer> ticksByHand; // the link polls only when a test ticks
    std::vector<QString> messages, questions;
    QTemporaryDir files;
    int stalledSends = 0; // ticks at which the transmitter's queue does not drain

    seriallink::PollCycle& link() { return mainWindow->link(); }
    Bytes tick() {
        link().tick();
        return peer->readSent();
    }
    void connectWith(const Parameters& p) {
        portDialog->portCombo()->setEditText(QString::fromStdString(peer->path()));
        mainWindow->connectAction()->trigger();
        QVERIFY(link().LinkActive());
        readBack(p);
    }
    void readBack(const Parameters& p) {
        peer->write(reply9(p));
        QCOMPARE(tick(), Poll9);
    }
    Bytes statusTick(bool pir1NoiseReduction = false) {
        protocol::StatusRecord s;
        if (pir1NoiseReduction) s.stateFlags |= 1u << protocol::StateNoisePir1;
        peer->write(replyFrame(8, protocol::EncodeStatus(s)));
        return tick();
    }
    // The user changes PIR HIGH's pulses on the VIEW tab; the detector takes the frame and reports it back.
    void changePulses(Parameters& p, int pulses) {
        mainWindow->view().pir1.npulse->setValue(pulses);
        p.channels[1].npulse = static_cast<std::uint8_t>(pulses);
        QCOMPARE(tick(), settingsFrameByLayout(p));
        readBack(p);
    }
    // True when the control took the wheel.
    static bool wheel(QWidget* w) {
        const QPointF at(w->width() / 2.0, w->height() / 2.0);
        QWheelEvent e(at, w->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
        QApplication::sendEvent(w, &e);
        return e.isAccepted();
    }

  private slots:
    void init() {
        peer = std::make_unique<PtyPeer>();
        mainWindow = std::make_unique<app::MainWindow>();
        mainWindow->setEndProcess([](int) {});
        ticksByHand = std::make_unique<HeldPollTimer>(mainWindow->pollTimer());
        stalledSends = 0;
        struct Transmitter : protocol::SerialPort {
            int& stalled;
            explicit Transmitter(int& s) : stalled(s) {}
            int PendingOutput() override { return stalled-- > 0 ? 5 : protocol::SerialPort::PendingOutput(); }
        };
        link().setSerialFactory([this] { return std::make_unique<Transmitter>(stalledSends); });
        portDialog = std::make_unique<seriallink::PortDialog>(mainWindow.get(),
                                                              protocol::PortRoots{"/nonexistent", "/nonexistent"});
        portDialog->timeoutBar()->setValue(50);
        mainWindow->setCompanions(portDialog.get(), nullptr);
        messages.clear();
        questions.clear();
        dialogs::SetMessageHandler([this](QWidget*, const QString& t) { messages.push_back(t); });
        dialogs::SetQuestionHandler([this](QWidget*, const QString& t) { return questions.push_back(t), true; });
    }
    void cleanup() {
        dialogs::SetMessageHandler({});
        dialogs::SetFileDialogHandler({});
        dialogs::SetQuestionHandler({});
        dialogs::SetLiveQuestionHandler({});
        dialogs::SetChoiceHandler([](QWidget*, const QString&, const QStringList& b) { return int(b.size()) - 2; });
        mainWindow->exitAction()->trigger();
        dialogs::SetChoiceHandler({});
        ticksByHand.reset();
        portDialog.reset();
        mainWindow.reset();
        peer.reset();
    }

    // After a failed exchange every frame waits for the detector's fresh parameters and is decided again
    // on them: the detector's own noise-reduction switch is told only when a status reply after them still
    // shows it and it still needs telling; a whole set goes as the question listed it, or the question is
    // asked again with the new list; a suggestion or an undo changes only its own values on the fresh set.
    void aFailureThenAFrame_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("meanwhile"); // what the detector changed while the line failed
        QTest::addColumn<int>("asked");         // questions in all
        QTest::addColumn<QString>("sent");      // the frame that goes out: on what
        const struct {
            const char *name, *action, *meanwhile;
            int asked;
            const char* sent;
        } rows[] = {
            {"switch, compensation on meanwhile", "switch", "temp comp", 0, ""},
            {"switch, its parameters say it meanwhile", "switch", "pir1 noise", 0, ""},
            {"switch, switched back meanwhile", "switch", "switched back", 0, ""},
            {"switch, still to tell", "switch", "mw tconv", 0, "fresh with the switch"},
            {"file, nothing else changed", "file", "", 1, "file"},
            {"file, changed meanwhile: asked again", "file", "pir2 threshold", 2, "file"},
            {"revert, changed meanwhile: asked again", "revert", "mw tconv", 2, "connect-time set"},
            {"revert held at its tick, changed meanwhile", "revert at its tick", "mw tconv", 2, "connect-time set"},
            {"suggestion, changed meanwhile", "suggestion", "pir2 threshold, mw tconv", 1, "fresh with the threshold"},
            {"undo, changed meanwhile", "undo", "mw tconv", 1, "fresh with the pulses back"},
        };
        for (const auto& r : rows)
            QTest::newRow(r.name) << QString(r.action) << QString(r.meanwhile) << r.asked << QString(r.sent);
    }
    void aFailureThenAFrame() {
        QFETCH(QString, action);
        QFETCH(QString, meanwhile);
        QFETCH(int, asked);
        QFETCH(QString, sent);
        const Parameters atConnect = manualNoiseReduction();
        connectWith(atConnect);
        QCOMPARE(statusTick(), Poll8);
        Parameters before = atConnect;
        changePulses(before, 3);
        QCOMPARE(statusTick(), Poll8); // (a switch is one seen between two status replies)
        Parameters file = atConnect;
        file.channels[0].trange = 250;
        if (action == "revert at its tick") {
            // Agreed to while all is well; then the transmitter stalls at the tick that would send it.
            mainWindow->revertAction()->trigger();
            QVERIFY(link().SettingsPending());
            stalledSends = 1000000;
            QVERIFY(tick().empty()); // the queue never drained: a failed exchange
            stalledSends = 0;
            QCOMPARE(tick(), Poll9); // held: the parameters are asked for first (no answer yet)
            QVERIFY(link().ParametersStale());
        } else {
            QCOMPARE(tick(), Poll8); // unanswered: a failed exchange
            QVERIFY(link().ParametersStale());
        }

        if (action == "switch") {
            QCOMPARE(statusTick(true), Poll8); // the detector switched PIR1's noise reduction on
        } else if (action == "file") {
            const QString path = files.filePath("set.bin");
            QString error;
            QVERIFY(config::WriteParameterFile(path, EncodeRecord(file), error));
            dialogs::SetFileDialogHandler(
                [&](QWidget*, dialogs::FileDialogKind, const QString&, const QString&) { return path; });
            mainWindow->openConfigAction()->trigger();
        } else if (action == "revert") {
            mainWindow->revertAction()->trigger();
        } else if (action == "undo") {
            mainWindow->undoAction()->trigger();
        } else if (action == "suggestion") { // as Suggest Thresholds offers it: the thresholds on the set as it is
            config::ParameterOffers::Offer offer;
            offer.make = [this] {
                Parameters p = DecodeRecord(link().stores().parameters);
                p.channels[0].trange = 290;
                return EncodeRecord(p);
            };
            offer.question = "Send the thresholds suggested?";
            offer.source = "the suggestion";
            offer.what = "Applying suggested thresholds";
            offer.connection = link().counters().Connections;
            mainWindow->configFiles().offers().offer(offer);
        }
        QCOMPARE(int(questions.size()), action == "switch" ? 0 : 1);
        // Until the fresh read-back the screen and the store show the detector's set, whatever waits.
        QCOMPARE(link().stores().parameters, EncodeRecord(before));
        QCOMPARE(mainWindow->view().pir1.npulse->value(), 3);

        Parameters fresh = before;
        if (meanwhile.contains("temp comp")) fresh.flags |= EnableTempComp;
        if (meanwhile.contains("pir1 noise")) fresh.flags |= NoisePir1;
        if (meanwhile.contains("mw tconv")) fresh.channels[0].tconv = 12;
        if (meanwhile.contains("pir2 threshold")) fresh.channels[2].trange = 555;
        readBack(fresh);                   // asked for at once, in place of any frame
        QCoreApplication::processEvents(); // (a set waiting for it is decided after the tick)
        QCOMPARE(int(questions.size()), asked);
        if (asked == 2)
            QVERIFY2(questions.back().contains("have changed since you were asked"), qPrintable(questions.back()));
        // A switch still to be told waits for a status reply after the read-back that still shows it.
        if (action == "switch") QCOMPARE(statusTick(meanwhile != "switched back"), Poll8);

        std::optional<Parameters> expected;
        if (sent == "fresh with the switch") (expected = fresh)->flags |= NoisePir1;
        if (sent == "file") expected = file;
        if (sent == "connect-time set") expected = atConnect;
        if (sent == "fresh with the threshold") (expected = fresh)->channels[0].trange = 290;
        if (sent == "fresh with the pulses back") (expected = fresh)->channels[1].npulse = atConnect.channels[1].npulse;
        const Bytes next = tick();
        if (expected) QCOMPARE(next, settingsFrameByLayout(*expected));
        else QCOMPARE(next, Poll8);
    }

    // A click that only brings the window forward moves no setting and presses no button, and leaves no
    // focus for the wheel; the changes not stored are listed in the question before leaving and on the
    // flash panel; Undo takes them back one at a time, and a detector back at the set read at Connect has
    // "no changes".
    void noChangeByAccident() {
        mainWindow->show();
        QWidget other;
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        const Parameters atConnect = manualNoiseReduction();
        connectWith(atConnect);
        QScrollBar* pulses = mainWindow->view().pir1.npulse;
        const int was = pulses->value();
        // In the trough below the thumb: a page step, were it taken.
        const QPoint trough(pulses->width() / 2, pulses->height() - pulses->width() - 2);
        QTest::mouseClick(pulses, Qt::LeftButton, {}, trough);
        QCOMPARE(pulses->value(), was);
        QVERIFY(QTest::qWaitForWindowActive(mainWindow.get()));
        QVERIFY(!pulses->hasFocus()); // (with the focus, the wheel would change it)
        QVERIFY(!wheel(pulses) && pulses->value() == was);
        // Save To Device in the action bar, clicked on the inactive window: nothing is stored.
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        QTest::mouseClick(mainWindow->findChild<QToolButton*>("ActionItem_SaveToDevice"), Qt::LeftButton);
        QVERIFY(!link().SettingsPending());
        QVERIFY(QTest::qWaitForWindowActive(mainWindow.get()));
        auto* guard = mainWindow->findChild<widgets::ClickThroughGuard*>();
        QVERIFY(guard);
        QTRY_VERIFY(guard->Settled());
        QTest::mouseClick(pulses, Qt::LeftButton, {}, trough); // now it is the installer's own
        pulses->setValue(5);                                   // and again, before its frame went out
        QCOMPARE(link().SettingsPending(), true);
        Parameters changed = atConnect;
        changed.channels[1].npulse = 5;
        QCOMPARE(tick(), settingsFrameByLayout(changed));
        readBack(changed);
        mainWindow->view().mw.nconv->setValue(10); // a second control: a step of its own
        Parameters last = changed;
        last.channels[0].nconv = 10;
        QCOMPARE(tick(), settingsFrameByLayout(last));
        readBack(last);

        QLabel* flash = mainWindow->statusPanel(3);
        QCOMPARE(flash->text(), QString("not stored in flash"));
        QVERIFY2(flash->toolTip().contains(QString("PIR HIGH ABOVE Pulses: %1 -> 5").arg(was)),
                 qPrintable(flash->toolTip()));
        QString leaving;
        dialogs::SetChoiceHandler([&](QWidget*, const QString& text, const QStringList& buttons) {
            leaving = text;
            return int(buttons.size()) - 1; // Cancel
        });
        mainWindow->exitAction()->trigger();
        QVERIFY2(leaving.contains(QString("PIR HIGH ABOVE Pulses: %1 -> 5").arg(was)) &&
                     leaving.contains("MW Speed (Nconv): 8 -> 10"),
                 qPrintable(leaving));
        dialogs::SetChoiceHandler({});

        // Undo, one step at a time: the speed, then the pulses (both changes went in one frame: one step).
        mainWindow->undoAction()->trigger();
        QVERIFY(questions.back().contains("MW Speed (Nconv): 10 -> 8"));
        QCOMPARE(tick(), settingsFrameByLayout(changed));
        readBack(changed);
        mainWindow->undoAction()->trigger();
        QVERIFY2(questions.back().contains(QString("PIR HIGH ABOVE Pulses: 5 -> %1").arg(was)),
                 qPrintable(questions.back()));
        QCOMPARE(tick(), settingsFrameByLayout(atConnect));
        readBack(atConnect);
        QCOMPARE(flash->text(), QString("no changes"));
        QVERIFY(!mainWindow->undoAction()->isEnabled());

        Parameters again = atConnect;
        changePulses(again, 4);
        // While the question is open the detector goes silent: its words and buttons follow.
        dialogs::QuestionUpdates* told = nullptr;
        dialogs::Question opened, after;
        dialogs::SetLiveQuestionHandler([&](QWidget*, const std::function<dialogs::Question()>& ask,
                                            dialogs::QuestionUpdates& updates) {
            opened = ask();
            const auto follow = QObject::connect(&updates, &dialogs::QuestionUpdates::changed, [&] { after = ask(); });
            told = &updates;
            for (int i = 0; i < 6; ++i) link().tick(); // nobody answers: Error Time Out
            QObject::disconnect(follow);
            return QString("Cancel");
        });
        mainWindow->exitAction()->trigger();
        dialogs::SetLiveQuestionHandler({});
        QVERIFY(told);
        QVERIFY(opened.buttons.contains("&Store") && opened.text.contains("Store them in its flash now?"));
        QVERIFY2(!after.buttons.contains("&Store") && after.text.contains("The link is down"), qPrintable(after.text));
    }

    // Every failure box is in Messages with its port; the status bar says since when the detector has not
    // answered, until it answers again; the File menu's Store To Flash follows the link as its button does;
    // SetUp COM is modal, and Cancel takes its choices back; leaving asks about a change the link lost
    // while it waits for its port.
    void noErrorUnread() {
        const app::MessageHistory& history = mainWindow->messages();
        portDialog->portCombo()->setEditText("/nonexistent/ttyUSB9");
        mainWindow->connectAction()->trigger();
        QCOMPARE(int(messages.size()), 1);
        QVERIFY2(history.message(0).startsWith("Error on /nonexistent/ttyUSB9: " + messages.back().left(20)),
                 qPrintable(history.message(0)));

        const QString port = QString::fromStdString(peer->path());
        connectWith(manualNoiseReduction());
        QVERIFY(mainWindow->storeMenuItem()->isEnabled());
        for (int i = 0; i < 6; ++i) QCOMPARE(tick(), Poll8); // nobody answers
        QCOMPARE(link().State(), seriallink::LinkState::Halted);
        QVERIFY(messages.back().startsWith("Error Time Out"));
        QCOMPARE(history.message(0), "Error on " + port + ": " + messages.back());
        QVERIFY2(mainWindow->Notice().startsWith("No answer on " + port + " since "), qPrintable(mainWindow->Notice()));
        QVERIFY(!mainWindow->storeMenuItem()->isEnabled());
        connectWith(manualNoiseReduction());
        QCOMPARE(mainWindow->Notice(), QString()); // up again
        QVERIFY(mainWindow->storeMenuItem()->isEnabled());
        portDialog->RefreshPorts(); // the port a link came up on leads the list
        QCOMPARE(portDialog->portCombo()->itemData(0).toString(), port);

        QVERIFY(portDialog->isModal());
        mainWindow->portAction()->trigger();
        QVERIFY(portDialog->isVisible());
        QCOMPARE(dialogs::BoxParent(mainWindow.get()), portDialog.get()); // a box opens over it, not behind
        portDialog->timeoutBar()->setValue(300);
        portDialog->portCombo()->setEditText("COM7");
        portDialog->cancelButton()->click();
        QVERIFY(!portDialog->isVisible());
        QCOMPARE(portDialog->TimeoutMs(), 50);
        QCOMPARE(portDialog->SelectedPort(), port);

        // The adapter is pulled out with a change still to go: the link waits for its port.
        portDialog->reconnectBox()->setChecked(true);
        mainWindow->view().enLed->toggle();
        QVERIFY(link().SettingsPending());
        peer->hangUp();
        for (int i = 0; i < 6 && link().State() == seriallink::LinkState::Polling; ++i) link().tick();
        QCOMPARE(link().State(), seriallink::LinkState::Reconnecting);
        QVERIFY2(mainWindow->Notice().startsWith("Link lost, reconnecting to " + port + "... (since "),
                 qPrintable(mainWindow->Notice()));
        QString asked;
        dialogs::SetChoiceHandler([&](QWidget*, const QString& text, const QStringList& buttons) {
            asked = text;
            return int(buttons.size()) - 1; // Cancel
        });
        mainWindow->exitAction()->trigger();
        dialogs::SetChoiceHandler({});
        QVERIFY2(asked.contains("never sent") && asked.contains("waits for its port"), qPrintable(asked));
        QCOMPARE(link().State(), seriallink::LinkState::Reconnecting); // (Cancel: it goes on waiting)
    }

    // The first set read from a detector in a run is kept as a file (the newest 100 of them), and File >
    // Revert to Arrival Settings sends it back whatever connections came since.
    void theArrivalSet() {
        const QString folder = files.filePath("arrival");
        QDir().mkpath(folder);
        for (int i = 0; i < 100; ++i) // older runs' sets
            QFile(QDir(folder).filePath(QString("arrival-2025%1-000000-000-ttyS0.bin").arg(i + 1000)))
                .open(QIODevice::WriteOnly);
        mainWindow->configFiles().offers().setArrivalFolder(folder);
        const Parameters arrived = manualNoiseReduction();
        connectWith(arrived);
        QCoreApplication::processEvents(); // (written after the tick)
        const QStringList kept = QDir(folder).entryList({"arrival-*.bin"}, QDir::Files, QDir::Name);
        QCOMPARE(kept.size(), 100);
        QVERIFY(!kept.contains("arrival-20251000-000000-000-ttyS0.bin")); // the oldest went
        QFile newest(QDir(folder).filePath(kept.last()));
        QVERIFY(newest.open(QIODevice::ReadOnly));
        const Record record = EncodeRecord(arrived);
        QCOMPARE(newest.readAll(), QByteArray(reinterpret_cast<const char*>(record.data()), int(record.size())));

        Parameters changed = arrived;
        changePulses(changed, 4);
        dialogs::SetChoiceHandler([](QWidget*, const QString&, const QStringList& b) { return int(b.size()) - 2; });
        mainWindow->connectAction()->trigger(); // Disconnect, not stored ("Don't Store")
        dialogs::SetChoiceHandler({});
        QCOMPARE(link().State(), seriallink::LinkState::Closed);
        connectWith(changed);
        QVERIFY(mainWindow->revertArrivalAction()->isEnabled());
        mainWindow->revertArrivalAction()->trigger();
        QVERIFY2(questions.back().contains("PIR HIGH ABOVE Pulses: 4 -> 2") &&
                     questions.back().contains("connected again"),
                 qPrintable(questions.back()));
        QCOMPARE(tick(), settingsFrameByLayout(arrived));
    }

    // Replay while connected with a change not stored: "Store" stores, the link closes once the store is
    // confirmed, and the replay goes on to its file dialog.
    void replayAfterAStore() {
        const Parameters atConnect = manualNoiseReduction();
        connectWith(atConnect);
        Parameters changed = atConnect;
        changePulses(changed, 4);
        int dialogs = 0;
        dialogs::SetFileDialogHandler([&](QWidget*, dialogs::FileDialogKind, const QString&, const QString&) {
            ++dialogs;
            return QString(); // (cancelled: only whether it opens matters here)
        });
        dialogs::SetChoiceHandler([](QWidget*, const QString&, const QStringList&) { return 0; }); // Store
        mainWindow->commissioning().replayAction()->trigger();
        dialogs::SetChoiceHandler({});
        changed.flags |= StoreRequest;
        QCOMPARE(tick(), settingsFrameByLayout(changed));
        QCOMPARE(dialogs, 0);
        changed.flags &= ~StoreRequest;
        readBack(changed);
        QTRY_COMPARE(dialogs, 1);
        QCOMPARE(link().State(), seriallink::LinkState::Closed);
    }
};

OSTREVO_GUI_TEST_MAIN(TestTrust)
#include "test_trust.moc"
