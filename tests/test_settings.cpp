// The detector's configuration through the real main window: the frame every settings control
// sends (checked on a pseudo-terminal), the read-back into the controls, and parameter files.
#include "DetectorModel.h"
#include "GuiTestMain.h"
#include "LoopTurns.h"
#include "PtyPeer.h"
#include "ReplyFrames.h"
#include "app/MainWindow.h"
#include "config/ConfigFile.h"
#include "config/FileMode.h"
#include "config/ParameterSender.h"
#include "dialogs/FileDialogs.h"
#include "dialogs/UserDialogs.h"
#include "monitor/LiveMarks.h"
#include "protocol/StatusRecord.h"
#include "seriallink/PortDialog.h"
#include "widgets/GaugeBar.h"
#include "widgets/LevelBar.h"
#include "widgets/RadioGroup.h"
#include "widgets/TrackBar.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QGraphicsEffect>
#include <QLabel>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>

using Bytes = std::vector<std::uint8_t>;
using namespace protocol::params;

namespace {

const Bytes Poll8{0x02, 0x00, 0x01, 0x08, 0xF8, 0x03};
const Bytes Poll9{0x02, 0x00, 0x01, 0x09, 0xF7, 0x03};

// The frame a set goes out as, from the frame's byte layout (not the program's encoder).
Bytes frameOf(const Parameters& p) {
    return settingsFrameByLayout(p);
}

template <class W>
W* child(QObject* o, const char* name) {
    auto* w = o->findChild<W*>(QString::fromLatin1(name));
    if (!w) qFatal("no control %s", name);
    return w;
}

} // namespace

class TestSettings : public QObject {
    Q_OBJECT
    std::unique_ptr<PtyPeer> peer;
    std::unique_ptr<app::MainWindow> mainWindow;
    std::unique_ptr<seriallink::PortDialog> portDialog;
    std::vector<QString> messages;
    Parameters factory = DetectorModel::FactoryDefaults();

    seriallink::PollCycle& link() { return mainWindow->link(); }
    Bytes tick() {
        link().tick();
        return peer->readSent();
    }
    // Connects and answers the first read-back with p.
    void connectWith(const Parameters& p) {
        portDialog->portCombo()->setEditText(QString::fromStdString(peer->path()));
        mainWindow->connectAction()->trigger();
        QVERIFY(link().LinkActive());
        readBack(p);
    }
    void readBack(const Parameters& p) {
        peer->write(reply9(p));
        QCOMPARE(tick(), Poll9);
        QVERIFY(link().ParametersKnown());
    }
    // A tick whose status poll the detector answers (a poll left unanswered is a failed exchange,
    // after which the parameters are read again before any frame).
    Bytes answeredStatusTick(const protocol::StatusRecord& s = {}) {
        const auto status = protocol::EncodeStatus(s);
        Bytes reply{0x02, 0x00, 58, 8};
        reply.insert(reply.end(), status.begin(), status.end());
        reply.push_back(protocol::frames::FrameChecksum(status.data(), status.size()));
        reply.push_back(0x03);
        peer->write(reply);
        return tick();
    }
    // The frame the next tick sends, and the read-back asked for right after it.
    Bytes sentFrameThenReadBack(const Parameters& detectorAnswer) {
        const Bytes sent = tick();
        readBack(detectorAnswer);
        return sent;
    }

  private slots:
    void init() {
        factory = DetectorModel::FactoryDefaults();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        peer = std::make_unique<PtyPeer>();
        mainWindow = std::make_unique<app::MainWindow>();
        mainWindow->setEndProcess([](int) {});
        portDialog = std::make_unique<seriallink::PortDialog>(mainWindow.get(),
                                                              protocol::PortRoots{"/nonexistent", "/nonexistent"});
        portDialog->timeoutBar()->setValue(50);
        mainWindow->setCompanions(portDialog.get(), nullptr);
        messages.clear();
        dialogs::SetMessageHandler([this](QWidget*, const QString& t) { messages.push_back(t); });
    }
    void cleanup() {
        dialogs::SetMessageHandler({});
        dialogs::SetFileDialogHandler({});
        dialogs::SetQuestionHandler({});
        // Changes not stored in flash: leave without storing.
        dialogs::SetChoiceHandler([](QWidget*, const QString&, const QStringList& b) { return int(b.size()) - 2; });
        mainWindow->exitAction()->trigger();
        dialogs::SetChoiceHandler({});
        portDialog.reset();
        mainWindow.reset();
        peer.reset();
    }

    // Each control's change sends the whole set once, then asks for the detector's copy.
    void everyChangeSendsTheWholeSet() {
        connectWith(factory);
        struct Case {
            const char* name;
            std::function<void()> change;
            std::function<void(Parameters&)> expected;
        };
        const std::vector<Case> cases{
            {"an unticked box", [&] { mainWindow->view().enLed->setChecked(false); },
             [](Parameters& p) { p.flags &= ~EnableLed; }},
            {"MW thumb at the top", [&] { mainWindow->view().mw.threshold->setValue(10); },
             [](Parameters& p) { p.channels[0].trange = 500; }},
            {"MW thumb at the bottom", [&] { mainWindow->view().mw.threshold->setValue(500); },
             [](Parameters& p) { p.channels[0].trange = 10; }},
            {"PIR2 pulses", [&] { mainWindow->view().pir2.npulse->setValue(5); },
             [](Parameters& p) { p.channels[2].npulse = 5; }},
            {"Time AND 7 s", [&] { mainWindow->view().outputs[0].timeAnd->setValue(7); },
             [](Parameters& p) { p.outputs[0].timeAndMs = 7000; }},
            {"OUT #1 NO", [&] { mainWindow->view().outputs[0].ncNo->setItemIndex(1); },
             [](Parameters& p) { p.outputs[0].flags |= OutputNormallyOpen; }},
            {"OUT #2 NC", [&] { mainWindow->view().outputs[1].ncNo->setItemIndex(0); },
             [](Parameters& p) { p.outputs[1].flags &= ~OutputNormallyOpen; }},
            {"OUT #1 MW off", [&] { mainWindow->view().outputs[0].mw->setChecked(false); },
             [](Parameters& p) { p.outputs[0].flags &= ~OutputMw; }},
            {"OUT #3 no function", [&] { mainWindow->view().outputs[2].function->setItemIndex(-1); },
             [](Parameters& p) { p.outputs[2].function = NoFunction; }},
            {"OUT #3 function 2", [&] { mainWindow->view().outputs[2].function->setItemIndex(2); },
             [](Parameters& p) { p.outputs[2].function = AutoOr; }},
        };
        for (const Case& c : cases) {
            Parameters expected = factory;
            c.expected(expected);
            c.change();
            QVERIFY2(link().SettingsPending(), c.name);
            const Bytes sent = sentFrameThenReadBack(expected);
            QVERIFY2(sent == frameOf(expected), c.name);
            QCOMPARE(link().stores().parameters, EncodeRecord(expected));
            factory = expected; // the detector now holds it
        }
        QCOMPARE(frameOf(factory)[33] & 0x10, 0x10); // OUT #1 NO in frame byte 33
        QCOMPARE(frameOf(factory)[38] & 0x10, 0);    // OUT #2 NC in frame byte 38
        // A read-back identical to what the controls show runs no handler and builds nothing.
        std::array<std::uint8_t, 46> marked;
        marked.fill(0xEE);
        link().QueueSettings(marked);
        link().DropSettings();
        link().ArmPoll(9, 46);
        readBack(factory);
        QCOMPARE(link().settingsFrame()[10], std::uint8_t(0xEE));
        QVERIFY(!link().SettingsPending());
    }

    void theReadBackRedrawsTheControls() {
        Parameters p = factory;
        p.channels[1].trange = 800;         // above the track bar's 700
        p.outputs[0].timeAndMs = 0;         // below the gauge's 1 s
        p.outputs[1].timeAndMs = 2500;      // halves to even: 2
        p.outputs[2].timeAndMs = 3500;      // 4
        p.outputs[0].function = 7;          // past the items: AUTO TEST
        p.outputs[1].function = NoFunction; // none selected
        p.outputs[2] = {3500, Mask, 9, OutputEnabled | OutputPirHigh};
        p.flags |= EnableTempComp | NoisePir2;
        p.pwmDuty = 160;
        p.pwmFrequency = 1600;
        connectWith(p);
        view::ViewControls& v = mainWindow->view();
        QCOMPARE(v.pir1.threshold->value(), 10);
        QCOMPARE(v.pir1.trangeLabel->text(), QString("800"));
        const int timeAnd[3] = {1, 2, 4};
        const int function[3] = {4, -1, 3};
        for (int o = 0; o < 3; ++o) {
            QCOMPARE(v.outputs[o].timeAnd->value(), timeAnd[o]);
            QCOMPARE(v.outputs[o].timeAndLabel->text(), QString::number(timeAnd[o]) + " sec.");
            QCOMPARE(v.outputs[o].function->ItemIndex(), function[o]);
        }
        // A mask output does not use the technologies: disabled, but showing their bits.
        QVERIFY(v.outputs[2].enable->isChecked() && v.outputs[2].function->isEnabled());
        QVERIFY(!v.outputs[2].pirHigh->isEnabled() && v.outputs[2].pirHigh->isChecked());
        QVERIFY(!v.outputs[2].mw->isChecked());
        QCOMPARE(v.noisePir1->text(), QString("PIR UP(Auto change N.R.)"));
        QVERIFY(!v.noisePir2->isEnabled() && v.noisePir2->isChecked());
        QCOMPARE(v.pwmDutyLabel->text(), QString("DC:  10.0 %  @10KHz"));
        QCOMPARE(v.pwmFrequencyLabel->text(), QString("10,000 KHz"));
        // Showing the values changed none of them: the next change sends the detector's own values
        // with only that change, also those its controls cannot show (800, 2500 ms, function 7).
        v.enMw->setChecked(false);
        Parameters changed = p;
        changed.flags &= ~EnableMw;
        QCOMPARE(tick(), frameOf(changed));
    }

    // Reply 7 puts the two PWM values into their scroll bars and plain-number labels; a frequency
    // value of 0 reads back as "0 KHz", and a duty whose tenth is a half rounds to even.
    void pwmValues() {
        Parameters p = factory;
        p.pwmDuty = 4; // 0.25 %
        p.pwmFrequency = 0;
        connectWith(p);
        QCOMPARE(mainWindow->view().pwmDutyLabel->text(), QString("DC:  0.2 %  @10KHz"));
        QCOMPARE(mainWindow->view().pwmFrequencyLabel->text(), QString("0 KHz"));
        link().ArmPoll(protocol::frames::PwmValues, protocol::frames::PwmReplyLength);
        peer->write({0x02, 0x00, 0x04, 0x07, 0x64, 0x00, 0x40, 0x06,
                     protocol::frames::FrameChecksum(Bytes{0x64, 0x00, 0x40, 0x06}.data(), 4), 0x03});
        tick();
        QCOMPARE(mainWindow->view().pwmDuty->value(), 100);
        QCOMPARE(mainWindow->view().pwmDutyLabel->text(), QString("100"));
        QCOMPARE(mainWindow->view().pwmFrequency->value(), 1600);
        QCOMPARE(mainWindow->view().pwmFrequencyLabel->text(), QString("1600"));
        QVERIFY(!link().SettingsPending()); // shown, not sent back
    }

    // Defaults never reach the detector: before its parameters are known nothing is sent.
    void nothingIsSentBeforeTheParametersAreKnown() {
        portDialog->portCombo()->setEditText(QString::fromStdString(peer->path()));
        mainWindow->connectAction()->trigger();
        Bytes damaged = reply9(factory);
        damaged[44] ^= 0xFF;
        peer->write(damaged);
        QCOMPARE(tick(), Poll9);
        mainWindow->view().enMw->setChecked(false); // a click, or a noise-reduction echo
        mainWindow->storeAction()->trigger();
        QVERIFY(!link().SettingsPending());
        QVERIFY(messages.empty()); // no box while polling runs: the status bar says why nothing was stored
        QVERIFY(mainWindow->findChild<QLabel*>("StatusNotice")->toolTip().contains("Nothing stored"));
        readBack(factory); // asked again, not the status
        QVERIFY(mainWindow->view().enMw->isChecked());
        QCOMPARE(tick(), Poll8);
    }

    // A store request survives a rebuild before the tick, and is sent only once.
    void storeToFlashIsNeverLost() {
        connectWith(factory);
        mainWindow->storeAction()->trigger();
        mainWindow->view().mw.tconv->setValue(9); // a slider still moving
        const Bytes sent = tick();
        QCOMPARE(sent[24] & 0x40, 0x40);
        QCOMPARE(sent[6], std::uint8_t(9));
        Parameters stored = factory;
        stored.channels[0].tconv = 9;
        readBack(stored);
        mainWindow->view().mw.tconv->setValue(10);
        QCOMPARE(tick()[24] & 0x40, 0);
        // A store between a change's frame and its read-back stores the change, not the set before it.
        mainWindow->storeAction()->trigger();
        stored.channels[0].tconv = 10;
        stored.flags |= StoreRequest;
        QCOMPARE(tick(), frameOf(stored));
    }

    // "User" after "Angle" widens the ranges and keeps the threshold value.
    void lensPresetsKeepTheThreshold() {
        connectWith(factory);
        view::ViewControls& v = mainWindow->view();
        v.pir1.threshold->setValue(700); // bottom: 10
        tick();
        Parameters p = factory;
        p.channels[1].trange = 10;
        readBack(p);
        v.pir1.lens->setCurrentIndex(1); // "Angle"
        QVERIFY(link().SettingsPending());
        Bytes sent = tick();
        QCOMPARE(sent.size(), std::size_t(46));
        QCOMPARE((sent[9] << 8) | sent[10], 380);
        QCOMPARE(sent[11], std::uint8_t(10));
        QCOMPARE(sent[12], std::uint8_t(8));
        p.channels[1] = {380, 10, 8, p.channels[1].npulse};
        readBack(p);
        v.pir1.lens->setCurrentIndex(0); // "User"
        QVERIFY(!link().SettingsPending());
        QCOMPARE(v.pir1.threshold->minimum(), 10);
        QCOMPARE(v.pir1.threshold->maximum(), 700);
        QCOMPARE(v.pir1.tconv->maximum(), 50);
        v.enLed->setChecked(false);
        sent = tick();
        QCOMPARE((sent[9] << 8) | sent[10], 380);
    }

    // One tick against a scripted detector: it answers whatever the program asks with these parameters
    // and this status, and takes a settings frame (its noise-reduction bits only when it takes them).
    Bytes serveTick(Parameters& detector, const protocol::StatusRecord& s, bool takesNoiseBits) {
        const bool frameDue = link().SettingsPending() && !link().ParametersStale();
        if (!frameDue && link().pollRequest().bytes()[3] == protocol::frames::ParameterReadBack)
            peer->write(reply9(detector));
        if (!frameDue && link().pollRequest().bytes()[3] == protocol::frames::Status) return answeredStatusTick(s);
        const Bytes sent = tick();
        if (sent.size() == 46) {
            Parameters taken = DecodeBlock(&sent[4], PwmOrder::HighFirst);
            constexpr std::uint16_t noise = NoisePir1 | NoisePir2;
            if (!takesNoiseBits) taken.flags = (taken.flags & ~noise) | (detector.flags & noise);
            taken.flags &= ~StoreRequest;
            taken.reserved = detector.reserved;
            detector = taken;
        }
        return sent;
    }

    // The boxes follow the detector's noise reduction, and a frame goes out on the detector's behalf
    // only for a switch seen between two status replies, under manual noise reduction, when its
    // parameters say otherwise: once, made of its own parameters with only that bit changed. One that
    // keeps its bits all the same is told once, and the user is told why it is not told again.
    void theDetectorsOwnNoiseReduction_data() {
        QTest::addColumn<std::uint16_t>("flags"); // the detector's ParameterFlags
        QTest::addColumn<QList<int>>("switches"); // ticks at which its noise reduction switches
        QTest::addColumn<QList<int>>("bits");     // StateFlags bits switched then (the last one repeats)
        QTest::addColumn<bool>("takesNoiseBits");
        QTest::addColumn<int>("frames");
        QTest::addColumn<QString>("said");
        const std::uint16_t manual = factory.flags & ~EnableTempComp;
        const int pir1 = 1 << protocol::StateNoisePir1, pir2 = 1 << protocol::StateNoisePir2;
        const QList<int> one{pir1}, both{pir1 | pir2};
        QTest::newRow("automatic, on since before Connect") << factory.flags << QList<int>{0} << one << true << 0 << "";
        QTest::newRow("manual, on since before Connect") << manual << QList<int>{0} << one << true << 0 << "";
        QTest::newRow("automatic, the noise rises and falls")
            << factory.flags << QList<int>{0, 20, 40, 60, 80} << both << true << 0 << "";
        QTest::newRow("every bit set") << std::uint16_t(0xFFFF) << QList<int>{0, 20} << both << true << 0 << "";
        QTest::newRow("manual, switched on by the detector") << manual << QList<int>{20} << one << true << 1 << "";
        QTest::newRow("manual, both switched in one reply") << manual << QList<int>{20} << both << true << 1 << "";
        QTest::newRow("manual, PIR1 on, then PIR2 on and off")
            << manual << QList<int>{20, 60, 100} << QList<int>{pir1, pir2} << true << 3 << "";
        QTest::newRow("manual, a detector that keeps its bits")
            << manual << QList<int>{20, 40, 60, 80} << one << false << 1 << "keeps its PIR noise reduction";
    }
    void theDetectorsOwnNoiseReduction() {
        QFETCH(std::uint16_t, flags);
        QFETCH(QList<int>, switches);
        QFETCH(QList<int>, bits);
        QFETCH(bool, takesNoiseBits);
        QFETCH(int, frames);
        QFETCH(QString, said);
        Parameters detector = factory;
        protocol::StatusRecord s;
        if (flags == 0xFFFF) { // every byte 0xFF, of the parameters and of the status
            const Block all = [] {
                Block b;
                b.fill(0xFF);
                return b;
            }();
            detector = DecodeBlock(all.data(), PwmOrder::LowFirst);
            std::array<std::uint8_t, protocol::frames::StatusRecordSize> ff;
            ff.fill(0xFF);
            s = protocol::DecodeStatus(ff.data());
            mainWindow->setSiren(nullptr); // (every alarm is on)
        }
        detector.flags = flags & ~StoreRequest;
        detector.channels[1].trange = 800;    // above the track bar's 700
        detector.outputs[0].function = 9;     // shown as AUTO TEST
        detector.outputs[1].timeAndMs = 2500; // shown as 2 s
        const Parameters atConnect = detector;
        Parameters reported = detector;
        reported.flags = flags; // reported back with the store bit, if set: never echoed as a request to store
        connectWith(reported);
        QLabel* notice = mainWindow->findChild<QLabel*>("StatusNotice");
        std::vector<Bytes> sent;
        for (int t = 0; t < 200; ++t) {
            if (const auto i = switches.indexOf(t); i >= 0) s.stateFlags ^= bits.value(i, bits.last());
            const Bytes bytes = serveTick(detector, s, takesNoiseBits);
            if (bytes.size() == 46) sent.push_back(bytes);
        }
        QCOMPARE(int(sent.size()), frames);
        // (A detector that kept its own bits holds the set read at Connect: nothing to store.)
        QCOMPARE(mainWindow->statusPanel(3)->text(),
                 QString(frames && takesNoiseBits ? "not stored in flash" : "no changes"));
        if (frames) {
            Parameters echoed = atConnect;
            if (bits[0] & 1 << protocol::StateNoisePir1) echoed.flags |= NoisePir1;
            if (bits[0] & 1 << protocol::StateNoisePir2) echoed.flags |= NoisePir2;
            QCOMPARE(sent[0], frameOf(echoed));
        }
        QCOMPARE(notice->toolTip().contains(said), true);
        QCOMPARE(notice->toolTip().contains("keeps its PIR"), !said.isEmpty());
        // The box shows the detector's last status.
        QCOMPARE(mainWindow->view().noisePir1->isChecked(), bool(s.stateFlags & 1u << protocol::StateNoisePir1));
    }

    // After a failed exchange the parameters are read again before the next frame, and a change made
    // meanwhile goes out on the fresh set: a value the detector changed is not written back.
    void aFrameRestsOnAFreshReadBack() {
        connectWith(factory);
        QCOMPARE(tick(), Poll8); // unanswered: a failed exchange
        Parameters detector = factory;
        detector.channels[0].trange = 450; // changed on the detector's side meanwhile
        mainWindow->view().enLed->setChecked(false);
        QVERIFY(link().SettingsPending());
        peer->write(reply9(detector));
        QCOMPARE(tick(), Poll9);
        Parameters expected = detector;
        expected.flags &= ~EnableLed;
        QCOMPARE(tick(), frameOf(expected));
        QCOMPARE(tick(), Poll9);
    }

    // What a lost link leaves behind is judged by what went out and what the detector last said: a
    // change sent whose read-back never came is still not stored when the detector comes back with
    // it; a revert not yet sent counts among the changes that were not sent.
    void whatALostLinkLeftBehind_data() {
        QTest::addColumn<bool>("sentBeforeTheLoss");
        QTest::newRow("a change sent, its read-back lost") << true;
        QTest::newRow("a revert not sent") << false;
    }
    void whatALostLinkLeftBehind() {
        QFETCH(bool, sentBeforeTheLoss);
        Parameters atConnect = factory;
        atConnect.channels[0].npulse = 3;
        connectWith(atConnect);
        Parameters changed = atConnect;
        changed.channels[0].npulse = 4;
        mainWindow->view().mw.npulse->setValue(4);
        const Bytes change = tick();
        QCOMPARE(change, frameOf(changed));
        if (!sentBeforeTheLoss) {
            readBack(changed);
            dialogs::SetQuestionHandler([](QWidget*, const QString&) { return true; });
            mainWindow->revertAction()->trigger(); // queued, never sent
            QVERIFY(link().SettingsPending());
        }
        peer->hangUp();
        for (int i = 0; i < 6; ++i) link().tick();
        QCOMPARE(link().State(), seriallink::LinkState::Halted);
        PtyPeer next;
        portDialog->portCombo()->setEditText(QString::fromStdString(next.path()));
        mainWindow->connectAction()->trigger();
        link().tick();
        QCOMPARE(next.readSent(), Poll9);
        next.write(reply9(changed));
        link().tick();
        if (sentBeforeTheLoss) {
            QCOMPARE(mainWindow->statusPanel(3)->text(), QString("not stored in flash"));
        } else {
            QVERIFY(mainWindow->findChild<QLabel*>("StatusNotice")
                        ->toolTip()
                        .startsWith("The set read at Connect was not sent"));
        }
    }

    // Every Connect starts clean: a change and a store request made for one detector, the cable
    // pulled before they went out, never reach the next one. Its first bytes are the read-back
    // request, and the status bar says what was not sent. A detector that comes back with the
    // parameters it had is still "not stored in flash".
    void aNewConnectionStartsClean() {
        connectWith(factory);
        Parameters sent = factory;
        sent.flags &= ~EnableTamper;
        mainWindow->view().enTamper->setChecked(false);
        sentFrameThenReadBack(sent);
        mainWindow->view().pir1.lens->setCurrentIndex(1); // a lens for this detector only
        mainWindow->view().outputs[0].mw->setChecked(false);
        mainWindow->storeAction()->trigger();
        peer->hangUp();
        for (int i = 0; i < 6; ++i) link().tick();
        QCOMPARE(link().State(), seriallink::LinkState::Halted);
        QVERIFY(mainWindow->parameterSender().FrameWaiting());
        PtyPeer next;
        portDialog->portCombo()->setEditText(QString::fromStdString(next.path()));
        mainWindow->connectAction()->trigger();
        QCOMPARE(link().State(), seriallink::LinkState::Polling);
        link().tick();
        QCOMPARE(next.readSent(), Poll9);
        QVERIFY(mainWindow->findChild<QLabel*>("StatusNotice")
                    ->toolTip()
                    .startsWith("1 change and a request to store in flash made while the link was down were not sent"));
        QVERIFY(!link().ParametersKnown()); // and the old set is neither saved nor changed for this one
        QCOMPARE(mainWindow->view().pir1.lens->currentIndex(), 0);
        QCOMPARE(mainWindow->view().pir1.threshold->maximum(), 700);
        QCOMPARE(mainWindow->statusPanel(3)->text(), QString("not stored in flash")); // until it reports
        next.write(reply9(sent));
        link().tick();
        QCOMPARE(mainWindow->statusPanel(3)->text(), QString("not stored in flash"));
    }

    // A link that comes back by itself keeps what the user was told: the flash state until the detector
    // reports (and Exit asks meanwhile, saying why), the change it dropped beside "Link back on", and
    // Revert's set, the one read at the user's own Connect.
    void aReconnectionKeepsWhatTheUserWasTold_data() {
        QTest::addColumn<bool>("otherParameters");
        QTest::newRow("the same detector answers") << false;
        QTest::newRow("lost again, then other parameters") << true;
    }
    void aReconnectionKeepsWhatTheUserWasTold() {
        QFETCH(bool, otherParameters);
        QTemporaryDir dir;
        const std::string adapter = dir.filePath("ttyADAPTER").toStdString();
        QCOMPARE(::symlink(peer->path().c_str(), adapter.c_str()), 0);
        portDialog->reconnectBox()->setChecked(true);
        portDialog->portCombo()->setEditText(QString::fromStdString(adapter));
        mainWindow->connectAction()->trigger();
        readBack(factory);
        Parameters changed = factory;
        changed.channels[0].npulse = 4;
        mainWindow->view().mw.npulse->setValue(4);
        sentFrameThenReadBack(changed);
        QCOMPARE(mainWindow->statusPanel(3)->text(), QString("not stored in flash"));

        peer->hangUp(); // pulled out, and a change made before the loss is noticed
        ::unlink(adapter.c_str());
        mainWindow->view().mw.npulse->setValue(5);
        for (int i = 0; i < 6 && link().State() != seriallink::LinkState::Reconnecting; ++i) link().tick();
        QCOMPARE(link().State(), seriallink::LinkState::Reconnecting);
        PtyPeer back; // plugged in again, the detector silent
        QCOMPARE(::symlink(back.path().c_str(), adapter.c_str()), 0);
        QTRY_VERIFY_WITH_TIMEOUT(link().LinkActive(), 2000);
        link().PollTimer()->stop();
        QCOMPARE(mainWindow->statusPanel(3)->text(), QString("not stored in flash"));
        std::vector<QString> asked;
        dialogs::SetChoiceHandler([&](QWidget*, const QString& text, const QStringList& buttons) {
            asked.push_back(text);
            return int(buttons.size()) - 1; // Cancel
        });
        mainWindow->exitAction()->trigger();
        QCOMPARE(asked.size(), std::size_t(1));
        QVERIFY(asked[0].contains("has not answered since the link came back"));

        // Lost again before it answered: what was dropped is still to be told; then a detector answers,
        // with its own parameters or with other ones (switched off meanwhile, or another detector).
        std::unique_ptr<PtyPeer> third;
        PtyPeer* answering = &back;
        Parameters answer = changed;
        if (otherParameters) {
            back.hangUp();
            ::unlink(adapter.c_str());
            for (int i = 0; i < 6 && link().LinkActive(); ++i) link().tick();
            QVERIFY(!link().LinkActive() && link().State() == seriallink::LinkState::Reconnecting);
            third = std::make_unique<PtyPeer>();
            QCOMPARE(::symlink(third->path().c_str(), adapter.c_str()), 0);
            QTRY_VERIFY_WITH_TIMEOUT(link().LinkActive(), 2000);
            link().PollTimer()->stop();
            answering = third.get();
            answer.channels[0].npulse = 7;
        }
        answering->readSent();
        answering->write(reply9(answer));
        link().tick();
        QCOMPARE(answering->readSent(), Poll9);
        const QString linkBack =
            QString::fromStdString("Link back on " + adapter + ": 1 change made while the link was down was not sent.");
        const QString notice = mainWindow->findChild<QLabel*>("StatusNotice")->toolTip();
        QVERIFY2(otherParameters ? notice.startsWith(linkBack + " The detector reports other parameters")
                                 : notice == linkBack,
                 qPrintable(notice));
        QCOMPARE(mainWindow->statusPanel(3)->text(), QString(otherParameters ? "no changes" : "not stored in flash"));
        std::vector<QString> questions;
        dialogs::SetQuestionHandler([&](QWidget*, const QString& text) { return questions.push_back(text), true; });
        mainWindow->revertAction()->trigger();
        QCOMPARE(questions.size(), std::size_t(1));
        QVERIFY(questions[0].contains(otherParameters ? "MW Pulses: 7 -> 1" : "MW Pulses: 4 -> 1") &&
                questions[0].contains("connected again by itself"));
        dialogs::SetChoiceHandler({});
        peer.reset();
        peer = std::make_unique<PtyPeer>(); // (for cleanup's Exit)
    }

    // Leaving asks, and says what is unsure, also when the link went down with a store whose read-back
    // never came, or with a change held for a read-back that never came.
    void leavingSaysWhatIsUnsure_data() {
        QTest::addColumn<bool>("store");
        QTest::addColumn<QString>("said");
        QTest::newRow("a store not confirmed") << true << "before it confirmed it";
        QTest::newRow("a change never sent") << false << "A change was never sent to the detector";
    }
    void leavingSaysWhatIsUnsure() {
        QFETCH(bool, store);
        QFETCH(QString, said);
        connectWith(factory);
        if (store) {
            mainWindow->storeAction()->trigger();
            QCOMPARE(tick()[24] & 0x40, 0x40);
        } else {
            QCOMPARE(tick(), Poll8); // unanswered: the next frame waits for a read-back
            mainWindow->view().enLed->setChecked(false);
        }
        for (int i = 0; i < 6 && link().State() == seriallink::LinkState::Polling; ++i) link().tick();
        QCOMPARE(link().State(), seriallink::LinkState::Halted);
        std::vector<QString> asked;
        dialogs::SetChoiceHandler([&](QWidget*, const QString& text, const QStringList& buttons) {
            asked.push_back(text);
            return int(buttons.size()) - 1; // Cancel
        });
        mainWindow->exitAction()->trigger();
        dialogs::SetChoiceHandler({});
        QCOMPARE(asked.size(), std::size_t(1));
        QVERIFY2(asked[0].contains(said), qPrintable(asked[0]));
    }

    // The wheel scrolls the SETUP box over the settings it passes; it changes a setting only when
    // that control has the keyboard focus.
    void theWheelChangesOnlyAFocusedSetting() {
        // Shown first: while the window comes up, the poll timer runs, and polls nobody answers
        // would be failed exchanges (after which a frame waits for a fresh read-back).
        mainWindow->show();
        QVERIFY(QTest::qWaitForWindowActive(mainWindow.get()));
        connectWith(factory);
        view::ViewControls& v = mainWindow->view();
        const struct {
            QWidget* control;
            std::function<int()> value;
        } cases[] = {{v.outputs[0].timeAnd, [&] { return v.outputs[0].timeAnd->value(); }},
                     {v.mw.threshold, [&] { return v.mw.threshold->value(); }},
                     {v.pir1.lens, [&] { return v.pir1.lens->currentIndex(); }}};
        // True when the control took the wheel; an ignored wheel goes on to the box around it.
        auto wheel = [](QWidget* w) {
            const QPointF at(w->width() / 2.0, w->height() / 2.0);
            QWheelEvent e(at, w->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
            QApplication::sendEvent(w, &e);
            return e.isAccepted();
        };
        for (const auto& c : cases) {
            const QByteArray objectName = c.control->objectName().toLatin1();
            const char* name = objectName.constData();
            mainWindow->tabs()->setFocus();
            const int before = c.value();
            QVERIFY2(!wheel(c.control), name);
            QVERIFY2(c.value() == before && !link().SettingsPending(), name);
            c.control->setFocus();
            QVERIFY2(wheel(c.control), name);
            QVERIFY2(c.value() != before && link().SettingsPending(), name);
            const Bytes sent = tick();
            readBack(DecodeBlock(&sent[4], PwmOrder::HighFirst));
        }
    }

    // The status bar says what the detector's flash holds. Leaving with changes not stored asks:
    // Cancel stays, Store sends the store request and leaves once its read-back has come.
    void theFlashStateAndLeaving() {
        QLabel* panel = mainWindow->statusPanel(3);
        std::vector<QString> asked;
        int choice = 0;
        dialogs::SetChoiceHandler([&](QWidget*, const QString& text, const QStringList&) {
            asked.push_back(text);
            return choice;
        });
        connectWith(factory);
        QCOMPARE(panel->text(), QString("no changes"));
        mainWindow->view().enLed->setChecked(false);
        Parameters changed = factory;
        changed.flags &= ~EnableLed;
        sentFrameThenReadBack(changed);
        QCOMPARE(panel->text(), QString("not stored in flash"));
        choice = 2; // Cancel
        mainWindow->connectAction()->trigger();
        QCOMPARE(asked.size(), std::size_t(1));
        QCOMPARE(link().State(), seriallink::LinkState::Polling);
        choice = 0; // Store
        mainWindow->connectAction()->trigger();
        const Bytes sent = tick();
        Parameters storeRequest = changed; // the set as read back, with the store request
        storeRequest.flags |= StoreRequest;
        QCOMPARE(sent, frameOf(storeRequest));
        QVERIFY(mainWindow->findChild<QLabel*>("StatusNotice")->toolTip().contains("store its parameters in flash"));
        QCOMPARE(panel->text(), QString("not stored in flash"));
        readBack(changed);
        QCOMPARE(panel->text(), QString("stored in flash"));
        QCoreApplication::processEvents();
        QCOMPARE(link().State(), seriallink::LinkState::Closed);
        QCOMPARE(asked.size(), std::size_t(2));
        dialogs::SetChoiceHandler({});
    }

    // Revert sends the set read at Connect back, exactly as the detector reported it, once the user
    // has seen what it changes and said yes.
    void revertToTheConnectTimeSet() {
        Parameters atConnect = factory;
        atConnect.channels[1].trange = 800; // beyond the track bar
        connectWith(atConnect);
        mainWindow->view().mw.npulse->setValue(4);
        const Bytes change = tick();
        readBack(DecodeBlock(&change[4], PwmOrder::HighFirst)); // (PIR1 went as it was: 800)
        std::vector<QString> questions;
        bool answer = false;
        dialogs::SetQuestionHandler([&](QWidget*, const QString& text) { return questions.push_back(text), answer; });
        QCOMPARE(mainWindow->undoAction()->shortcut(), QKeySequence(QKeySequence::Undo));
        mainWindow->revertAction()->trigger();
        QCOMPARE(questions.size(), std::size_t(1));
        QVERIFY(questions[0].contains("MW Pulses: 4 -> 1") && !questions[0].contains("Threshold"));
        QCOMPARE(answeredStatusTick(), Poll8);
        answer = true;
        mainWindow->revertAction()->trigger();
        QCOMPARE(tick(), frameOf(atConnect));
        QCOMPARE(tick(), Poll9);
        // Yes, but the link was connected again meanwhile (by itself, perhaps to another detector):
        // the answer is not for this one, and nothing is sent.
        readBack(DecodeBlock(&change[4], PwmOrder::HighFirst));
        dialogs::SetQuestionHandler([&](QWidget*, const QString&) {
            link().Connect();
            peer->write(reply9(factory));
            link().tick();
            peer->readSent();
            return true;
        });
        mainWindow->revertAction()->trigger();
        QVERIFY(messages.back().contains("connected again"));
        QCOMPARE(tick(), Poll8);
    }

    // The readings are greyed while nothing live reaches them: before the first status reply, on the
    // LOGS tab (said in the status bar), after a halt; the next status reply makes them live.
    void readingsAreStaleUntilTheNextReply() {
        protocol::StatusRecord s;
        const auto status = protocol::EncodeStatus(s);
        Bytes reply{0x02, 0x00, 58, 8};
        reply.insert(reply.end(), status.begin(), status.end());
        reply.push_back(protocol::frames::FrameChecksum(status.data(), status.size()));
        reply.push_back(0x03);
        auto* bar = mainWindow->view().mw.signal;
        auto live = [&] { return bar->graphicsEffect() == nullptr && mainWindow->liveMarks().Live(); };
        QVERIFY(!live());
        connectWith(factory);
        QCOMPARE(mainWindow->statusPanel(1)->text(), "COM: " + QString::fromStdString(peer->path()));
        QVERIFY(!live()); // the read-back is no reading
        // Another name typed in the port dialog meanwhile: the panel still names the port in use.
        portDialog->portCombo()->setEditText(QStringLiteral("/dev/ttyUSB7"));
        peer->write(reply);
        QCOMPARE(tick(), Poll8);
        QVERIFY(live());
        QCOMPARE(mainWindow->statusPanel(1)->text(), "COM: " + QString::fromStdString(peer->path()));
        mainWindow->tabs()->setCurrentIndex(1);
        QVERIFY(!live());
        QVERIFY(mainWindow->findChild<QLabel*>("StatusNotice")->toolTip().contains("paused"));
        mainWindow->tabs()->setCurrentIndex(0);
        QVERIFY(!live());
        peer->write(reply);
        tick();
        QVERIFY(live());
        for (int i = 0; i < 6; ++i) link().tick(); // silent: halted
        QCOMPARE(link().State(), seriallink::LinkState::Halted);
        QVERIFY(!live());
    }

    void fileNamesAndFailures() {
        const std::pair<QString, QString> names[] = {
            {"cfg", "cfg.bin"}, {"cabin", "cabin"}, {"x.BIN", "x.BIN.bin"}, {"a.bin", "a.bin"}};
        for (const auto& [given, written] : names) QCOMPARE(config::WithBinExtension(given), written);

        QTemporaryDir dir;
        protocol::params::Record bytes{};
        QString error;
        const QString shortFile = dir.filePath("short.bin");
        QFile f(shortFile);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(QByteArray(43, 'x')) == 43);
        f.close();
        QVERIFY(!config::ReadParameterFile(shortFile, bytes, error));
        QVERIFY(error.contains("short.bin") && error.contains("too short"));
        const QString fifo = dir.filePath("fifo.bin");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(!config::ReadParameterFile(fifo, bytes, error)); // returns, never blocks
        QVERIFY(error.contains("not a regular file"));
        QVERIFY(!config::WriteParameterFile(fifo, EncodeRecord(factory), error)); // nor written over
        QVERIFY(error.contains("not a regular file"));
        struct stat st {};
        QVERIFY(::stat(QFile::encodeName(fifo).constData(), &st) == 0 && S_ISFIFO(st.st_mode));
        QVERIFY(!config::ReadParameterFile(dir.filePath("missing.bin"), bytes, error));
        QVERIFY(error.contains("No such file"));

        // A write that fails (the file size limit stands in for a full disk) keeps the old file.
        const QString kept = dir.filePath("kept.bin");
        QVERIFY(config::WriteParameterFile(kept, EncodeRecord(factory), error));
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        ::getrlimit(RLIMIT_FSIZE, &old);
        rlimit small = old;
        small.rlim_cur = 0;
        ::setrlimit(RLIMIT_FSIZE, &small);
        const bool written = config::WriteParameterFile(kept, protocol::params::Record{}, error);
        ::setrlimit(RLIMIT_FSIZE, &old);
        QVERIFY(!written);
        QVERIFY(error.contains("kept.bin"));
        QFile again(kept);
        QVERIFY(again.open(QIODevice::ReadOnly));
        const QByteArray content = again.readAll();
        const Record record = EncodeRecord(factory);
        QCOMPARE(Bytes(content.begin(), content.end()), Bytes(record.begin(), record.end()));
    }

    // Save writes only what this detector reported. A file reaches the detector only once the user
    // has seen what it changes and said yes, and the same file twice sends the same frame.
    void saveAndLoadThroughTheCommands() {
        QTemporaryDir dir;
        QString chosen;
        dialogs::SetFileDialogHandler(
            [&](QWidget*, dialogs::FileDialogKind, const QString&, const QString&) { return chosen; });
        std::vector<QString> questions;
        bool answer = false;
        dialogs::SetQuestionHandler([&](QWidget*, const QString& text) { return questions.push_back(text), answer; });
        auto writeFile = [&](const QString& name, const Record& r, int extra) {
            QFile f(dir.filePath(name));
            QByteArray bytes(reinterpret_cast<const char*>(r.data()), 44);
            bytes.append(QByteArray(extra, '\x01'));
            if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
                qFatal("cannot write %s", qPrintable(name));
            return f.fileName();
        };

        chosen = dir.filePath("site");
        mainWindow->saveConfigAction()->trigger(); // nothing read: nothing written, and said
        QVERIFY(!QFile::exists(dir.filePath("site.bin")));
        QVERIFY(messages.at(0).startsWith("Nothing was saved"));
        mainWindow->openConfigAction()->trigger(); // not connected: opened on its own, but there is none
        QCOMPARE(messages.size(), std::size_t(2));
        QVERIFY(messages.back().contains("could not be read"));

        Parameters p = factory;
        p.outputs[0].timeAndMs = 2500;
        connectWith(p);
        auto withPad = link().stores().parameters;
        withPad[5] = 0x5A; // a pad byte, which a file keeps
        link().StoreParameters(withPad);
        mainWindow->saveConfigAction()->trigger();
        QFile saved(dir.filePath("site.bin"));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QByteArray first = saved.readAll();
        QCOMPARE(first.size(), 44);
        QCOMPARE(std::uint8_t(first[5]), std::uint8_t(0x5A));
        QVERIFY2(mainWindow->Notice().startsWith("Saved the detector's parameters to") &&
                     mainWindow->Notice().contains(QDir::toNativeSeparators(saved.fileName())),
                 qPrintable(mainWindow->Notice())); // confirmed, with the file's name
        mainWindow->saveConfigAction()->trigger();  // "site.bin" exists and the name was changed: asked, and No
        QCOMPARE(questions.size(), std::size_t(1));

        // A longer file with a pad byte set, a threshold the controls cannot show and a Time AND
        // for OUT #2 beyond its gauge, loaded while a lens preset narrows PIR1's ranges.
        Parameters q = p;
        q.channels[0].trange = 800;
        q.outputs[1].timeAndMs = 7000;
        q.flags ^= EnableLed;
        Record record = EncodeRecord(q);
        record[5] = 0x5A;
        chosen = writeFile("other.bin", record, 6);
        mainWindow->view().pir1.lens->setCurrentIndex(2);
        tick();
        readBack(p);
        mainWindow->openConfigAction()->trigger(); // No: nothing changes, on the screen or on the line
        QCOMPARE(questions.size(), std::size_t(2));
        for (const char* said : {"MW Threshold: 300 -> 800", "OUT #2 Time AND", "50 bytes", "pad bytes",
                                 "MW Threshold 800 (the controls take 10..500)"})
            QVERIFY2(questions.back().contains(said), said);
        QCOMPARE(mainWindow->view().pir1.lens->currentIndex(), 2);
        QVERIFY(!link().SettingsPending());
        QCOMPARE(answeredStatusTick(), Poll8);
        answer = true;
        for (int load = 0; load < 2; ++load) {
            mainWindow->openConfigAction()->trigger();
            QCOMPARE(questions.size(), std::size_t(3 + load));
            QCOMPARE(mainWindow->view().pir1.lens->currentIndex(), 0);
            QCOMPARE(tick(), frameOf(q)); // as the file holds it
            QCOMPARE(link().stores().parameters, record);
            readBack(p); // the detector went back (as if another installer put it back)
        }
        // A file that holds what the detector holds sends nothing, and a device is never opened.
        chosen = writeFile("same.bin", EncodeRecord(p), 0);
        mainWindow->openConfigAction()->trigger();
        QVERIFY(messages.back().contains("nothing was sent"));
        chosen = QStringLiteral("/dev/null");
        mainWindow->openConfigAction()->trigger();
        QVERIFY(messages.back().contains("not a regular file"));
        QCOMPARE(questions.size(), std::size_t(4));
        QCOMPARE(answeredStatusTick(), Poll8);
        // A file that differs only in bits without a name: every one is listed, and the file is sent.
        Parameters unnamed = p;
        unnamed.flags |= 0x0020;
        unnamed.outputs[1].reserved = 0xAA;
        unnamed.outputs[0].flags |= 0x40;
        chosen = writeFile("unnamed.bin", EncodeRecord(unnamed), 0);
        mainWindow->openConfigAction()->trigger();
        QCOMPARE(questions.size(), std::size_t(5));
        for (const char* said : {"It changes 3 setting(s)", "flags word bit 5: 0 -> 1",
                                 "OUT #2 reserved byte: 0x00 -> 0xAA", "OUT #1 flags bit 6: 0 -> 1"})
            QVERIFY2(questions.back().contains(said), said);
        QCOMPARE(tick(), frameOf(unnamed));
    }

    // Without a detector (never connected, or halted by "Error Time Out" with its port still open),
    // Open Config opens the file on the controls: each change edits its own value in the file, Save
    // writes the file as read (pads, reserved bytes, values the controls cannot show) with only that
    // changed, and nothing reaches the line. Connect asks about unsaved edits, then starts clean.
    void fileModeWithoutADetector_data() {
        QTest::addColumn<bool>("halted");
        QTest::newRow("never connected") << false;
        QTest::newRow("halted, its port open") << true;
    }
    void fileModeWithoutADetector() {
        QFETCH(bool, halted);
        QTemporaryDir dir;
        QString chosen;
        dialogs::SetFileDialogHandler(
            [&](QWidget*, dialogs::FileDialogKind, const QString&, const QString&) { return chosen; });
        QString error;
        auto fileBytes = [&](const QString& path) {
            Record r{};
            return config::ReadParameterFile(path, r, error), r;
        };
        auto withPads = [](const Parameters& p) {
            Record r = EncodeRecord(p);
            r[5] = 0x5A;
            r[43] = 0xA5;
            return r;
        };
        if (halted) {
            connectWith(factory);
            for (int i = 0; i < 6; ++i) tick(); // unanswered
            QVERIFY(link().State() == seriallink::LinkState::Halted && link().LinkActive());
        }
        portDialog->portCombo()->setEditText(QString::fromStdString(peer->path()));
        Parameters file = factory;
        file.channels[1].trange = 800;       // beyond the track bar
        file.channels[2] = {300, 20, 20, 2}; // (not the Angle lens's)
        file.outputs[1].timeAndMs = 2500;    // shown as 2 s
        file.outputs[0].function = 7;        // shown as AUTO TEST
        file.outputs[2].reserved = 0xAA;
        file.flags |= StoreRequest | 0x0020; // bits no control shows
        file.reserved = {1, 2, 3, 4};
        const QString original = dir.filePath("site.bin");
        QVERIFY(config::WriteParameterFile(original, withPads(file), error));
        chosen = original;
        mainWindow->openConfigAction()->trigger();
        QVERIFY(mainWindow->windowTitle().contains("site.bin") && !mainWindow->isWindowModified());
        QVERIFY(mainWindow->statusPanel(1)->text().contains("site.bin (not connected: nothing is sent)"));
        QVERIFY(messages.back().contains("pad bytes") && messages.back().contains("PIR HIGH ABOVE Threshold 800"));
        view::ViewControls& v = mainWindow->view();
        // A status shown meanwhile (a replay's) leaves the file's own noise-reduction mode on the boxes,
        // whatever the last detector had.
        Parameters manual = factory;
        manual.flags &= ~EnableTempComp;
        link().StoreParameters(EncodeRecord(manual));
        auto status = link().stores().status;
        mainWindow->statusView().ShowStatus(status);
        QVERIFY(!v.noisePir1->isEnabled() && v.noisePir1->text().contains("Auto"));
        const struct {
            const char* name;
            std::function<void()> change;
            std::function<void(Parameters&)> expected;
            std::function<bool()> follows; // what follows the value on the screen
        } edits[] = {
            {"MW threshold 310", [&] { v.mw.threshold->setValue(10 + 500 - 310); },
             [](Parameters& p) { p.channels[0].trange = 310; }, [&] { return v.mw.trangeLabel->text() == "310"; }},
            {"OUT #1 Time AND 7 s", [&] { v.outputs[0].timeAnd->setValue(7); },
             [](Parameters& p) { p.outputs[0].timeAndMs = 7000; },
             [&] { return v.outputs[0].timeAndLabel->text() == "7 sec."; }},
            {"OUT #3 enabled", [&] { v.outputs[2].enable->setChecked(true); },
             [](Parameters& p) { p.outputs[2].flags |= OutputEnabled; },
             [&] { return v.outputs[2].function->isEnabled(); }},
            {"PIR2 lens Angle", [&] { v.pir2.lens->setCurrentIndex(1); },
             [](Parameters& p) {
                 p.channels[2] = {380, 10, 8, 2};
             },
             [&] { return v.pir2.tconv->maximum() == 22; }},
        };
        Parameters expected = file;
        int saves = 0;
        for (const auto& e : edits) {
            e.change();
            e.expected(expected);
            QVERIFY2(e.follows() && mainWindow->isWindowModified(), e.name);
            chosen = dir.filePath(QString("edit%1").arg(saves++));
            mainWindow->saveConfigAction()->trigger();
            QVERIFY2(fileBytes(chosen + ".bin") == withPads(expected) && !mainWindow->isWindowModified(), e.name);
        }
        // A store has nothing to act on; the poll timer stays stopped, and nothing reached the line.
        QVERIFY(!mainWindow->storeAction()->isEnabled() && !mainWindow->revertAction()->isEnabled());
        mainWindow->parameterSender().requestStore();
        QVERIFY(LoopTurns());
        QVERIFY(!link().SettingsPending() && !link().PollTimer()->isActive() && peer->readSent().empty());

        // The original and the file saved after the threshold changed differ in that alone.
        QStringList pair{original, dir.filePath("edit0.bin")};
        dialogs::SetFileDialogHandler(
            [&](QWidget*, dialogs::FileDialogKind, const QString&, const QString&) { return pair.takeFirst(); });
        mainWindow->compareFilesAction()->trigger();
        QVERIFY2(messages.back().contains("differ in 1 setting(s)") &&
                     messages.back().contains("MW Threshold: 300 -> 310"),
                 qPrintable(messages.back()));

        // Connect with an edit not saved: Cancel stays; Save writes the file in place, then connects,
        // and the first frame is the read-back request: none of the file's edits goes out.
        v.mw.npulse->setValue(4);
        expected.channels[0].npulse = 4;
        int choice = 2;
        dialogs::SetChoiceHandler([&](QWidget*, const QString&, const QStringList&) { return choice; });
        mainWindow->connectAction()->trigger();
        QVERIFY(mainWindow->configFiles().fileMode().Active() && peer->readSent().empty());
        choice = 0;
        mainWindow->connectAction()->trigger();
        QCOMPARE(fileBytes(chosen + ".bin"), withPads(expected));
        QCOMPARE(mainWindow->windowTitle(), QString("Ostrevo SetUp"));
        readBack(factory);
        QCOMPARE(v.pir1.trangeLabel->text(), QString::number(factory.channels[1].trange));
        QCOMPARE(answeredStatusTick(), Poll8);
    }

    // Compare Files lists every byte in which two files differ: any one bit changed is one difference.
    void compareFilesListsEveryByte() {
        Record a = EncodeRecord(factory);
        for (std::size_t byte = 0; byte < a.size(); ++byte)
            for (int bit = 0; bit < 8; ++bit) {
                Record b = a;
                b[byte] ^= std::uint8_t(1u << bit);
                const auto differences = config::CompareRecords(a, b);
                QVERIFY2(differences.size() == 1, qPrintable(QString("byte %1 bit %2").arg(byte).arg(bit)));
            }
        QVERIFY(config::CompareRecords(a, a).empty());
    }
};

OSTREVO_GUI_TEST_MAIN(TestSettings)
#include "test_settings.moc"
