// The virtual detector's own parts: cutting command frames from the line, storing and clamping
// settings, the flash file, and the world it reports.
#include "CommandReader.h"
#include "DetectorModel.h"
#include "link/Frames.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using Bytes = std::vector<std::uint8_t>;
using namespace params;

namespace {

Bytes poll(std::uint8_t code) {
    return {0x02, 0x00, 0x01, code, static_cast<std::uint8_t>(0x100 - code), 0x03};
}

Bytes settingsFrame(const Parameters& p) {
    const Frame f = EncodeSettingsFrame(p);
    return Bytes(f.begin(), f.end());
}

std::vector<Bytes> readAll(CommandReader& r, std::int64_t now = 0) {
    std::vector<Bytes> out;
    while (auto f = r.next(now)) out.push_back(*f);
    return out;
}

} // namespace

class TestDetectorSim : public QObject {
    Q_OBJECT
  private slots:
    void readerResynchronisesAfterGarbage() {
        CommandReader r;
        Bytes stream{0xFF, 0x03, 0x02, 0x07}; // noise, including a false STX
        const Bytes p8 = poll(8), p12 = poll(12);
        stream.insert(stream.end(), p8.begin(), p8.end());
        stream.insert(stream.end(), p12.begin(), p12.end());
        r.feed(stream.data(), stream.size(), 0);
        const auto frames = readAll(r);
        QCOMPARE(frames.size(), std::size_t(2));
        QCOMPARE(frames[0], p8);
        QCOMPARE(frames[1], p12);
        QCOMPARE(r.discarded(), std::size_t(4));
    }

    void readerJoinsSplitFrames() {
        CommandReader r;
        const Bytes f = settingsFrame(DetectorModel::FactoryDefaults());
        r.feed(f.data(), 10, 0);
        QVERIFY(!r.next(5));
        r.feed(f.data() + 10, f.size() - 10, 6);
        const auto frames = readAll(r, 6);
        QCOMPARE(frames.size(), std::size_t(1));
        QCOMPARE(frames[0], f);
    }

    void readerIgnoresBadChecksumsAndStaleHalves() {
        CommandReader r;
        Bytes bad = poll(9);
        bad[4] ^= 1;
        r.feed(bad.data(), bad.size(), 0);
        QVERIFY(readAll(r).empty());
        // Half a frame that never completes is given up after the inter-byte time-out.
        const Bytes half{0x02, 0x00, 0x29, 0x01, 0x00};
        r.feed(half.data(), half.size(), 100);
        QVERIFY(!r.next(150));
        const Bytes p8 = poll(8);
        r.feed(p8.data(), p8.size(), 300);
        QVERIFY(!r.next(300)); // the stale half still swallows it until it is judged stale
        const auto frames = readAll(r, 300 + CommandReader::StaleMs);
        QCOMPARE(frames.size(), std::size_t(1));
        QCOMPARE(frames[0], p8);
    }

    void settingsAreClampedToTheControlsRanges() {
        DetectorModel m;
        Parameters p = DetectorModel::FactoryDefaults();
        p.channels[0] = {999, 0, 99, 9};
        p.channels[1].trange = 5;
        p.channels[2].tconv = 77;
        p.pwmDuty = 500;
        p.pwmFrequency = 100;
        p.flags = 0xFFFF;
        p.outputs[0] = {20000, 7, 0xAB, 0xFF};
        p.outputs[1] = {0, NoFunction, 0, OutputEnabled};
        p.outputs[2].timeAndMs = 9000;
        const Frame f = EncodeSettingsFrame(p);
        QVERIFY(m.ApplySettings(f.data() + 4));
        const Parameters& s = m.parameters();
        QCOMPARE(s.channels[0], (ChannelSettings{500, 1, 15, 5}));
        QCOMPARE(s.channels[1].trange, 10);
        QCOMPARE(s.channels[2].tconv, 50);
        QCOMPARE(s.pwmDuty, 160);
        QCOMPARE(s.pwmFrequency, 1600);
        QCOMPARE(s.flags, std::uint16_t(0x8FDF)); // never-set bits and the store request dropped
        QCOMPARE(s.outputs[0], (OutputSettings{10000, AutoTest, 0xAB, 0x1F}));
        QCOMPARE(s.outputs[1].function, std::uint8_t(NoFunction));
        QCOMPARE(s.outputs[1].timeAndMs, 1000);
        QCOMPARE(s.outputs[2].timeAndMs, 5000);
    }

    void readBackCarriesTheStoredBlockWithPwmLowByteFirst() {
        DetectorModel m;
        const Block b = m.ReadBackBlock();
        QCOMPARE(b[15], 160); // PWM duty 160, low byte first
        QCOMPARE(b[16], 0);
        QCOMPARE(b[17], 0x40); // 1600 = 0x0640
        QCOMPARE(b[18], 0x06);
        QCOMPARE(b[0], 0x01); // MW TRange 300 = 0x012C, high byte first
        QCOMPARE(b[1], 0x2C);
        QCOMPARE(DecodeBlock(b.data(), PwmOrder::LowFirst), DetectorModel::FactoryDefaults());
        // And the settings frame the program sends carries them high byte first.
        const Frame f = EncodeSettingsFrame(DetectorModel::FactoryDefaults());
        QCOMPARE(f[19], 0x00);
        QCOMPARE(f[20], 160);
        QCOMPARE(f[44], frames::FrameChecksum(&f[3], 41));
    }

    void storeToFlashSurvivesARestart() {
        QTemporaryDir dir;
        const std::string flash = (dir.path() + "/flash.bin").toStdString();
        Parameters p = DetectorModel::FactoryDefaults();
        p.channels[1].trange = 444;
        {
            DetectorModel m(flash);
            Frame f = EncodeSettingsFrame(p);
            QVERIFY(m.ApplySettings(f.data() + 4)); // no store request: nothing written
            QVERIFY(!QFile::exists(QString::fromStdString(flash)));
            p.flags |= StoreRequest;
            f = EncodeSettingsFrame(p);
            QVERIFY(m.ApplySettings(f.data() + 4));
            QCOMPARE(QFile(QString::fromStdString(flash)).size(), 44);
        }
        DetectorModel restarted(flash);
        QCOMPARE(restarted.parameters().channels[1].trange, 444);
        QCOMPARE(restarted.parameters().flags & StoreRequest, 0);
        // A flash that cannot be written is reported, and the settings still apply.
        DetectorModel nowhere((dir.path() + "/no/such/folder/flash.bin").toStdString());
        const Frame f = EncodeSettingsFrame(p);
        QVERIFY(!nowhere.ApplySettings(f.data() + 4));
        QVERIFY(!nowhere.flashError().empty());
        QCOMPARE(nowhere.parameters().channels[1].trange, 444);
    }

    void theWorldReportsWhatItsSettingsAllow() {
        DetectorModel m({}, 7);
        m.intruderPeriod = 0;
        m.Advance(0.0);
        QCOMPARE(m.Status().alarmFlags & 0x15, 0); // nobody there: no detection
        QCOMPARE(m.Status().stateFlags & 0x7, 0);
        QVERIFY(m.Status().channels[0].signal < 100);
        // An intruder crosses MW, then PIR HIGH, then PIR DOWN: OUT #1 (AND of all three) fires.
        m.TriggerIntruder(10.0);
        std::uint16_t alarmsSeen = 0, statesSeen = 0;
        for (double t = 10.0; t < 14.0; t += 0.05) {
            m.Advance(t);
            alarmsSeen |= m.Status().alarmFlags;
            statesSeen |= m.Status().stateFlags;
        }
        QCOMPARE(alarmsSeen & 0x15, 0x15);
        QVERIFY(statesSeen & 0x1);    // OUT #1
        QVERIFY(!(statesSeen & 0x4)); // OUT #3 is not enabled
        const monitor::EventRecord newest = m.Events()[0];
        QVERIFY(newest.eventType & (1u << 6)); // "Gen Alarm"
        QVERIFY(newest.peaks[0] > 300);
        QVERIFY(newest.peaks[1] > 300 && newest.peaks[2] > 300);
        QCOMPARE(monitor::EventTypeText(newest.eventType), std::string("MW"));

        // A tamper with the tamper enabled, after a quiet spell: its bit, and a new newest event.
        m.conditions.tamper = true;
        m.Advance(20.0);
        QVERIFY(m.Status().alarmFlags & (1u << 11));
        QCOMPARE(m.Events()[0].eventType, std::uint16_t(1u << 8));
        QCOMPARE(m.Events()[1], newest);
        // Disabling MW in the settings silences its detection bit.
        Parameters p = m.parameters();
        p.flags &= ~EnableMw;
        const Frame f = EncodeSettingsFrame(p);
        m.ApplySettings(f.data() + 4);
        m.TriggerIntruder(30.0);
        alarmsSeen = 0;
        for (double t = 30.0; t < 34.0; t += 0.05) {
            m.Advance(t);
            alarmsSeen |= m.Status().alarmFlags;
        }
        QCOMPARE(alarmsSeen & 0x1, 0);
        QVERIFY(alarmsSeen & 0x4);
    }

    void statusAndEventCodecsRoundTrip() {
        monitor::StatusRecord s;
        s.channels[1] = {700, 10, 65535, 42};
        s.temperature = -10;
        s.alarmFlags = 0x0801;
        s.stateFlags = 0x4001;
        s.acc = {-128, 0, 127};
        const auto bytes = monitor::EncodeStatus(s);
        QCOMPARE(bytes[38], 0xFF);
        QCOMPARE(bytes[39], 0xF6);
        QCOMPARE(bytes[48], 0x01);
        QCOMPARE(bytes[49], 0x08);
        QCOMPARE(bytes[42], 0);
        QCOMPARE(bytes[43], 42); // PIR1 compensation at offset 42
        QCOMPARE(monitor::DecodeStatus(bytes.data()), s);
        monitor::EventLog log{};
        log[3].eventType = 0x0003;
        log[3].peaks[0] = 300;
        log[3].temperature = -5;
        const auto e = monitor::EncodeEventLog(log);
        QCOMPARE(e[66], 0x03);
        QCOMPARE(e[68], 0x01);
        QCOMPARE(e[69], 0x2C);
        QCOMPARE(monitor::DecodeEventLog(e.data()), log);
        QCOMPARE(monitor::EventTypeText(0x0003), std::string("MW"));
        QCOMPARE(monitor::EventTypeText(0x8000), std::string("---"));
        QCOMPARE(monitor::EventTypeText(0x0200), std::string("Fail Lis302"));
        QCOMPARE(monitor::EventTypeText(0), std::string());
    }

    void parameterRecordKeepsItsPads() {
        Parameters p = DetectorModel::FactoryDefaults();
        const Record r = EncodeRecord(p);
        for (int pad : {5, 11, 17, 43}) QCOMPARE(r[pad], 0);
        QCOMPARE(r[18], 160); // PWM low byte first
        QCOMPARE(r[22], std::uint8_t(p.flags & 0xFF));
        QCOMPARE(DecodeRecord(r), p);
    }
};

QTEST_APPLESS_MAIN(TestDetectorSim)
#include "test_detector_sim.moc"
