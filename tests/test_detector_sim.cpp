// The virtual detector's own parts: cutting command frames from the line, storing and clamping
// settings, the flash file, the world it reports, and the replies it frames (and spoils on request).
#include "CommandReader.h"
#include "DetectorModel.h"
#include "ReplyWriter.h"
#include "protocol/Frames.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using Bytes = std::vector<std::uint8_t>;
using namespace protocol::params;

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

// A reply as the program's receive path sees it: in its buffer, checked against the length it armed.
protocol::frames::FrameCheck programCheck(const Bytes& reply) {
    protocol::frames::ReceiveBuffer buffer{};
    std::copy_n(reply.begin(), std::min(reply.size(), buffer.size()), buffer.begin());
    return protocol::frames::CheckReplyFrame(buffer, protocol::frames::ReplyTotalLength(reply.at(3)));
}

Block readBackAfter(DetectorModel& m, const Parameters& sent) {
    const Frame f = EncodeSettingsFrame(sent);
    m.ApplySettings(f.data() + 4);
    const auto payload = m.Answer(protocol::frames::ParameterReadBack, 0.0);
    Block b{};
    if (payload && payload->size() == b.size()) std::copy(payload->begin(), payload->end(), b.begin());
    return b;
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
        // Never-set bits and the store request dropped; under temperature compensation (0x0800) the
        // PIR noise-reduction bits stay the detector's own (off).
        QCOMPARE(s.flags, std::uint16_t(0x8FDF & ~(NoisePir1 | NoisePir2)));
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
        QCOMPARE(f[44], protocol::frames::FrameChecksum(&f[3], 41));
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
        QCOMPARE(restarted.parameters().reserved, DetectorModel::OwnReserved);
        // A flash that cannot be written is reported, and the settings still apply.
        DetectorModel nowhere((dir.path() + "/no/such/folder/flash.bin").toStdString());
        const Frame f = EncodeSettingsFrame(p);
        QVERIFY(!nowhere.ApplySettings(f.data() + 4));
        QVERIFY(!nowhere.flashError().empty());
        QCOMPARE(nowhere.parameters().channels[1].trange, 444);
    }

    // Every value the program can send comes back from a restarted detector, byte for byte.
    void aStoredSetUpReadsBackWholeAfterARestart() {
        QTemporaryDir dir;
        const std::string flash = (dir.path() + "/flash.bin").toStdString();
        Parameters p = DetectorModel::FactoryDefaults();
        p.channels = {ChannelSettings{250, 3, 12, 4}, ChannelSettings{610, 40, 2, 1}, ChannelSettings{95, 7, 7, 3}};
        p.pwmDuty = 80;
        p.pwmFrequency = 3200;
        p.flags = EnableMw | EnablePir2 | EnableMask | NoisePir1 | EnableAutoTest | StoreRequest;
        p.outputs = {OutputSettings{7500, AutoOr, 0, OutputEnabled | OutputPirDown},
                     OutputSettings{1200, NoFunction, 0, OutputEnabled},
                     OutputSettings{4800, AutoTest, 0, OutputMw | OutputNormallyOpen}};
        Block before{};
        {
            DetectorModel m(flash);
            before = readBackAfter(m, p);
            QVERIFY(m.flashError().empty());
        }
        DetectorModel restarted(flash);
        const auto after = restarted.Answer(protocol::frames::ParameterReadBack, 0.0);
        QVERIFY(after);
        QCOMPARE(Bytes(after->begin(), after->end()), Bytes(before.begin(), before.end()));
        Parameters expected = p;
        expected.flags &= ~StoreRequest;
        expected.reserved = DetectorModel::OwnReserved;
        QCOMPARE(DecodeBlock(after->data(), PwmOrder::LowFirst), expected);
    }

    void noFunctionOnAnOutputIsStoredAndReadBack_data() {
        QTest::addColumn<int>("output");
        QTest::newRow("OUT #1") << 0;
        QTest::newRow("OUT #2") << 1;
        QTest::newRow("OUT #3") << 2;
    }
    void noFunctionOnAnOutputIsStoredAndReadBack() {
        QFETCH(int, output);
        DetectorModel m;
        Parameters p = DetectorModel::FactoryDefaults();
        p.outputs[output].function = NoFunction;
        const Frame f = EncodeSettingsFrame(p);
        QCOMPARE(f[4 + 25 + 5 * output + 2], 255); // as the program sends it
        const Block b = readBackAfter(m, p);
        QCOMPARE(m.parameters().outputs[output].function, std::uint8_t(255));
        QCOMPARE(b[25 + 5 * output + 2], 255);
        // The other outputs keep their functions.
        for (int o = 0; o < 3; ++o)
            if (o != output) QCOMPARE(b[25 + 5 * o + 2], DetectorModel::FactoryDefaults().outputs[o].function);
    }

    void theReservedBytesStayTheDetectorsOwn() {
        QVERIFY(DetectorModel::OwnReserved != (std::array<std::uint8_t, 4>{})); // told apart from the zeros sent
        DetectorModel m;
        Parameters p = DetectorModel::FactoryDefaults();
        p.reserved = {0x11, 0x22, 0x33, 0x44}; // never sent: the settings frame carries zeros
        const Frame f = EncodeSettingsFrame(p);
        for (int i = 0; i < 4; ++i) QCOMPARE(f[4 + 21 + i], 0);
        const Block b = readBackAfter(m, p);
        for (int i = 0; i < 4; ++i) QCOMPARE(b[21 + i], DetectorModel::OwnReserved[i]);
        // The same from a flash written with other bytes there.
        QTemporaryDir dir;
        const QString flash = dir.path() + "/flash.bin";
        QFile file(flash);
        QVERIFY(file.open(QIODevice::WriteOnly));
        const Record r = EncodeRecord(p);
        file.write(reinterpret_cast<const char*>(r.data()), r.size());
        file.close();
        DetectorModel loaded(flash.toStdString());
        QCOMPARE(loaded.parameters().reserved, DetectorModel::OwnReserved);
    }

    void theDetectorAnswersThePollsTheProgramMakes_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("payloadSize"); // 0: not answered
        QTest::newRow("7 PWM values") << 7 << int(protocol::frames::PwmRecordSize);
        QTest::newRow("8 status") << 8 << int(protocol::frames::StatusRecordSize);
        QTest::newRow("9 read-back") << 9 << int(protocol::frames::ParameterBlockSize);
        QTest::newRow("12 event memory") << 12 << int(protocol::frames::EventLogRecordSize);
        QTest::newRow("1 settings") << 1 << 0;
        QTest::newRow("10") << 10 << 0;
        QTest::newRow("0") << 0 << 0;
    }
    void theDetectorAnswersThePollsTheProgramMakes() {
        QFETCH(int, code);
        QFETCH(int, payloadSize);
        DetectorModel m;
        const auto c = static_cast<std::uint8_t>(code);
        QCOMPARE(DetectorModel::Answers(c), payloadSize > 0);
        const auto payload = m.Answer(c, 0.0);
        QCOMPARE(payload.has_value(), payloadSize > 0);
        if (!payload) return;
        QCOMPARE(int(payload->size()), payloadSize);
        const Bytes reply = ReplyWriter::Frame(c, *payload);
        QCOMPARE(int(reply.size()), protocol::frames::ReplyTotalLength(c));
        QCOMPARE(programCheck(reply), protocol::frames::FrameCheck::Good);
    }

    void pwmValuesReplyLowByteFirst_data() {
        QTest::addColumn<int>("duty");
        QTest::addColumn<int>("frequency");
        QTest::addColumn<Bytes>("expected"); // the whole reply frame
        QTest::newRow("factory: 10 %, 10 kHz")
            << 160 << 1600 << Bytes{0x02, 0x00, 0x04, 0x07, 0xA0, 0x00, 0x40, 0x06, 0x1A, 0x03};
        QTest::newRow("least duty, 1 kHz")
            << 1 << 16000 << Bytes{0x02, 0x00, 0x04, 0x07, 0x01, 0x00, 0x80, 0x3E, 0x41, 0x03};
        QTest::newRow("5 %, 0x1234") << 80 << 0x1234
                                     << Bytes{0x02, 0x00, 0x04, 0x07, 0x50, 0x00, 0x34, 0x12, 0x6A, 0x03};
        QTest::newRow("clamped as stored")
            << 999 << 100 << Bytes{0x02, 0x00, 0x04, 0x07, 0xA0, 0x00, 0x40, 0x06, 0x1A, 0x03};
    }
    void pwmValuesReplyLowByteFirst() {
        QFETCH(int, duty);
        QFETCH(int, frequency);
        QFETCH(Bytes, expected);
        DetectorModel m;
        Parameters p = DetectorModel::FactoryDefaults();
        p.pwmDuty = static_cast<std::uint16_t>(duty);
        p.pwmFrequency = static_cast<std::uint16_t>(frequency);
        readBackAfter(m, p);
        const auto payload = m.Answer(protocol::frames::PwmValues, 0.0);
        QVERIFY(payload);
        const Bytes reply = ReplyWriter::Frame(protocol::frames::PwmValues, *payload);
        QCOMPARE(reply, expected);
        QCOMPARE(programCheck(reply), protocol::frames::FrameCheck::Good);
    }

    // Each entry: G well-formed, C spoiled checksum, - left out.
    void corruptNextSpoilsOnlyTheNextReplyOfItsCode_data() {
        QTest::addColumn<QList<int>>("corruptNext");
        QTest::addColumn<QList<int>>("codes");
        QTest::addColumn<int>("dropEvery");
        QTest::addColumn<int>("corruptEvery");
        QTest::addColumn<QString>("expected");
        QTest::newRow("the next read-back only")
            << QList<int>{9} << QList<int>{8, 9, 8, 9, 12, 9} << 0 << 0 << "GCGGGG";
        QTest::newRow("asked twice, two spoiled") << QList<int>{9, 9} << QList<int>{9, 8, 9, 9} << 0 << 0 << "CGCG";
        QTest::newRow("two codes") << QList<int>{12, 7} << QList<int>{8, 7, 12, 7, 12} << 0 << 0 << "GCCGG";
        QTest::newRow("a reply left out keeps it") << QList<int>{9} << QList<int>{8, 9, 9, 8} << 2 << 0 << "G-C-";
        QTest::newRow("with every second spoiled") << QList<int>{8} << QList<int>{8, 8, 8, 8} << 0 << 2 << "CCGC";
        QTest::newRow("none asked") << QList<int>{} << QList<int>{9, 9, 8} << 0 << 0 << "GGG";
    }
    void corruptNextSpoilsOnlyTheNextReplyOfItsCode() {
        QFETCH(QList<int>, corruptNext);
        QFETCH(QList<int>, codes);
        QFETCH(int, dropEvery);
        QFETCH(int, corruptEvery);
        QFETCH(QString, expected);
        DetectorModel m;
        ReplyWriter w;
        w.dropEvery = dropEvery;
        w.corruptEvery = corruptEvery;
        for (int code : corruptNext) w.CorruptNext(static_cast<std::uint8_t>(code));
        QString seen;
        long count = 0;
        for (int code : codes) {
            const auto c = static_cast<std::uint8_t>(code);
            const auto payload = m.Answer(c, 0.0);
            QVERIFY(payload);
            const auto bytes = w.Write(++count, c, *payload);
            if (!bytes) {
                seen += '-';
                continue;
            }
            QCOMPARE(bytes->size(), payload->size() + 6);
            // Only the checksum is spoiled: the rest of the frame is as it would be.
            Bytes good = ReplyWriter::Frame(c, *payload);
            good[good.size() - 2] = (*bytes)[bytes->size() - 2];
            QCOMPARE(*bytes, good);
            const auto check = programCheck(*bytes);
            QVERIFY(check == protocol::frames::FrameCheck::Good || check == protocol::frames::FrameCheck::BadChecksum);
            seen += check == protocol::frames::FrameCheck::Good ? 'G' : 'C';
        }
        QCOMPARE(seen, expected);
        for (int code : corruptNext) QCOMPARE(w.pendingCorruptions(static_cast<std::uint8_t>(code)), 0);
    }

    void surplusBytesFollowTheNextReplyOrEvery() {
        DetectorModel m;
        ReplyWriter w;
        const auto payload = *m.Answer(protocol::frames::PwmValues, 0.0);
        w.surplusOnce = 3;
        QCOMPARE(w.Write(1, 7, payload)->size(), std::size_t(13));
        QCOMPARE(w.Write(2, 7, payload)->size(), std::size_t(10));
        w.surplusEvery = 2;
        QCOMPARE(w.Write(3, 7, payload)->size(), std::size_t(12));
        QCOMPARE(w.Write(4, 7, payload)->back(), 0x55);
    }

    void aDetectorOnDutyRemembersOlderEvents_data() {
        QTest::addColumn<int>("entry");
        QTest::addColumn<int>("eventType");
        QTest::addColumn<QString>("name");
        QTest::newRow("0 intruder pass") << 0 << 0x0047 << "MW";
        QTest::newRow("1 low power") << 1 << 0x0800 << "LowPower";
        QTest::newRow("2 IR noise blinding") << 2 << 0x0010 << "BL 1";
        QTest::newRow("3 mask") << 3 << 0x0008 << "MASK";
        QTest::newRow("4 tamper") << 4 << 0x0100 << "TAMPER";
        QTest::newRow("5 intruder pass") << 5 << 0x0047 << "MW";
        for (int e = 6; e < 10; ++e) QTest::addRow("%d never written", e) << e << 0 << "";
    }
    void aDetectorOnDutyRemembersOlderEvents() {
        QFETCH(int, entry);
        QFETCH(int, eventType);
        QFETCH(QString, name);
        DetectorModel m;
        const auto payload = m.Answer(protocol::frames::EventLog, 0.0);
        QVERIFY(payload);
        const protocol::EventLog log = protocol::DecodeEventLog(payload->data());
        const protocol::EventRecord& e = log[entry];
        QCOMPARE(int(e.eventType), eventType);
        QCOMPARE(QString::fromStdString(protocol::EventTypeText(e.eventType)), name);
        if (eventType == 0) {
            QCOMPARE(e, protocol::EventRecord{});
            return;
        }
        QVERIFY(e.temperature >= 15 && e.temperature <= 25);
        // The peaks that made the event stand out of the world's quiet values, and only those.
        const std::array<std::uint16_t, 7> quietBelow{100, 100, 100, 100, 100, 50, 50};
        std::array<bool, 7> raised{};
        if (eventType & 0x1) raised[0] = true;
        if (eventType & 0x2) raised[1] = true;
        if (eventType & 0x4) raised[2] = true;
        if (eventType & 0x8) raised[3] = raised[4] = true;
        if (eventType & 0x10) raised[5] = true;
        for (int i = 0; i < 7; ++i) QCOMPARE(e.peaks[i] >= quietBelow[i], raised[i]);
    }

    void theEventMemoryIsTheSameEveryStartAndNewEventsGoOnTop() {
        QCOMPARE(DetectorModel().Events(), DetectorModel::SeededEvents());
        QCOMPARE(DetectorModel({}, 99).Events(), DetectorModel::SeededEvents());
        QCOMPARE(DetectorModel({}, 1, DetectorModel::EventMemory::Empty).Events(), protocol::EventLog{});
        const protocol::EventLog seeded = DetectorModel::SeededEvents();
        QVERIFY(seeded[0].eventType != 0 && seeded[0].eventType != (1u << 8));
        DetectorModel m({}, 3);
        m.intruderPeriod = 0;
        m.conditions.tamper = true;
        m.Advance(1.0);
        QCOMPARE(m.Events()[0].eventType, std::uint16_t(1u << 8));
        for (int e = 1; e < 10; ++e) QCOMPARE(m.Events()[e], seeded[e - 1]);
    }

    // What each command of the virtual detector raises, as the status reply carries it.
    void everyStatusLampCanBeLit() {
        using C = DetectorModel::Conditions;
        struct Row {
            const char* command;
            bool C::*condition;
            bool alarmWord; // AlarmFlags, else StateFlags
            int bit;
        };
        const Row rows[] = {
            {"mask1", &C::mask1, true, protocol::AlarmMask1},
            {"mask2", &C::mask2, true, protocol::AlarmMask2},
            {"noise1", &C::irNoise1, true, protocol::AlarmIrNoise1},
            {"noise2", &C::irNoise2, true, protocol::AlarmIrNoise2},
            {"tamper", &C::tamper, true, protocol::AlarmTamper},
            {"nr1", &C::noiseReduction1, false, protocol::StateNoisePir1},
            {"nr2", &C::noiseReduction2, false, protocol::StateNoisePir2},
            {"lowvoltage", &C::lowVoltage, false, protocol::StateLowVoltage},
            {"fault mw", &C::mwFault, false, protocol::StateMwFault},
            {"fault pir1", &C::pir1Fault, false, protocol::StatePir1Fault},
            {"fault pir2", &C::pir2Fault, false, protocol::StatePir2Fault},
            {"fault cpu", &C::cpuFault, false, protocol::StateCpuFault},
        };
        for (const Row& row : rows) {
            DetectorModel m({}, 5);
            m.intruderPeriod = 0;
            auto bitSet = [&](double t) {
                const auto payload = m.Answer(protocol::frames::Status, t);
                const protocol::StatusRecord s = protocol::DecodeStatus(payload->data());
                return bool((row.alarmWord ? s.alarmFlags : s.stateFlags) & (1u << row.bit));
            };
            QVERIFY2(!bitSet(0.0), row.command);
            m.conditions.*row.condition = true;
            QVERIFY2(bitSet(1.0), row.command);
            m.conditions.*row.condition = false;
            QVERIFY2(!bitSet(2.0), row.command);
        }
    }

    // The auto test runs only while the settings enable it as well.
    void theAutoTestLampNeedsItsSetting() {
        DetectorModel m;
        m.intruderPeriod = 0;
        auto autoTestBit = [&](double t) {
            m.Advance(t);
            return bool(m.Status().stateFlags & (1u << protocol::StateAutoTest));
        };
        m.conditions.autoTest = true;
        QVERIFY(!(m.parameters().flags & EnableAutoTest));
        QVERIFY(!autoTestBit(0.0));
        Parameters p = m.parameters();
        p.flags |= EnableAutoTest;
        readBackAfter(m, p);
        QVERIFY(autoTestBit(1.0));
        m.conditions.autoTest = false;
        QVERIFY(!autoTestBit(2.0));
    }

    // Under temperature compensation the noise reduction follows the infrared noise, and a settings
    // frame does not change the detector's own bits unless it is told to take them; without it, the
    // bits are the detector's parameters.
    void noiseReductionUnderTemperatureCompensation_data() {
        QTest::addColumn<bool>("tempComp");
        QTest::addColumn<bool>("takes");
        QTest::addColumn<bool>("bitKept"); // the frame's PIR1 bit is stored
        QTest::addColumn<bool>("onWhenQuiet");
        QTest::newRow("automatic, keeps its bits") << true << false << false << false;
        QTest::newRow("automatic, takes them") << true << true << true << true;
        QTest::newRow("manual") << false << false << true << true;
    }
    void noiseReductionUnderTemperatureCompensation() {
        QFETCH(bool, tempComp);
        QFETCH(bool, takes);
        QFETCH(bool, bitKept);
        QFETCH(bool, onWhenQuiet);
        DetectorModel m({}, 3);
        m.intruderPeriod = 0;
        m.takesNoiseReductionBits = takes;
        Parameters p = m.parameters();
        p.flags = static_cast<std::uint16_t>(tempComp ? p.flags | EnableTempComp : p.flags & ~EnableTempComp);
        p.flags |= NoisePir1;
        const Frame f = EncodeSettingsFrame(p);
        m.ApplySettings(f.data() + 4);
        QCOMPARE(bool(m.parameters().flags & NoisePir1), bitKept);
        const auto nr1 = [&m](double t) {
            m.Advance(t);
            return bool(m.Status().stateFlags & (1u << protocol::StateNoisePir1));
        };
        QCOMPARE(nr1(1.0), onWhenQuiet);
        m.conditions.irNoise1 = true;
        QCOMPARE(nr1(2.0), tempComp || onWhenQuiet);
        m.conditions.irNoise1 = false;
        QCOMPARE(nr1(3.0), onWhenQuiet);
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
        const protocol::EventRecord newest = m.Events()[0];
        QVERIFY(newest.eventType & (1u << 6)); // "Gen Alarm"
        QVERIFY(newest.peaks[0] > 300);
        QVERIFY(newest.peaks[1] > 300 && newest.peaks[2] > 300);
        QCOMPARE(protocol::EventTypeText(newest.eventType), std::string("MW"));

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
        // A walk farther away: the signals reach a share of their height, and stay under the thresholds.
        m.TriggerIntruder(40.0, 0.4);
        int highest = 0;
        alarmsSeen = 0;
        for (double t = 40.0; t < 44.0; t += 0.05) {
            m.Advance(t);
            highest = std::max<int>(highest, m.Status().channels[1].signal);
            alarmsSeen |= m.Status().alarmFlags;
        }
        QVERIFY2(highest > 200 && highest < 380, qPrintable(QString::number(highest)));
        QCOMPARE(alarmsSeen & 0x14, 0);
    }

    // The intruder walks past by itself every few seconds while the periodic walk is on (as at the
    // start), never while it is off, so that the field can stay quiet; a walk asked for comes either way.
    void thePeriodicWalkCanBeStopped_data() {
        QTest::addColumn<QList<bool>>("periodic"); // for each half minute in turn
        QTest::newRow("on, as at the start") << QList<bool>{true};
        QTest::newRow("off") << QList<bool>{false};
        QTest::newRow("off, then on again") << QList<bool>{false, true};
    }
    void thePeriodicWalkCanBeStopped() {
        QFETCH(QList<bool>, periodic);
        DetectorModel m({}, 11);
        QVERIFY(m.periodicWalk);
        const auto highest = [&m](double from, double to) {
            int h = 0;
            for (double t = from; t < to; t += 0.05) {
                m.Advance(t);
                h = std::max<int>(h, m.Status().channels[0].level);
            }
            return h;
        };
        double t = 0;
        for (const bool on : periodic) {
            m.periodicWalk = on;
            const int h = highest(t, t + 30);
            QVERIFY2((h > 300) == on, qPrintable(QString::number(h)));
            t += 30;
        }
        m.periodicWalk = false;
        m.TriggerIntruder(t);
        QVERIFY(highest(t, t + 4) > 300);
    }

    void statusAndEventCodecsRoundTrip() {
        protocol::StatusRecord s;
        s.channels[1] = {700, 10, 65535, 42};
        s.temperature = -10;
        s.alarmFlags = 0x0801;
        s.stateFlags = 0x4001;
        s.acc = {-128, 0, 127};
        const auto bytes = protocol::EncodeStatus(s);
        QCOMPARE(bytes[38], 0xFF);
        QCOMPARE(bytes[39], 0xF6);
        QCOMPARE(bytes[48], 0x01);
        QCOMPARE(bytes[49], 0x08);
        QCOMPARE(bytes[42], 0);
        QCOMPARE(bytes[43], 42); // PIR1 compensation at offset 42
        QCOMPARE(protocol::DecodeStatus(bytes.data()), s);
        protocol::EventLog log{};
        log[3].eventType = 0x0003;
        log[3].peaks[0] = 300;
        log[3].temperature = -5;
        const auto e = protocol::EncodeEventLog(log);
        QCOMPARE(e[66], 0x03);
        QCOMPARE(e[68], 0x01);
        QCOMPARE(e[69], 0x2C);
        QCOMPARE(protocol::DecodeEventLog(e.data()), log);
        QCOMPARE(protocol::EventTypeText(0x0003), std::string("MW"));
        QCOMPARE(protocol::EventTypeText(0x8000), std::string("---"));
        QCOMPARE(protocol::EventTypeText(0x0200), std::string("Fail Lis302"));
        QCOMPARE(protocol::EventTypeText(0), std::string());
    }

    void parameterRecordKeepsItsPads() {
        Parameters p = DetectorModel::FactoryDefaults();
        const Record r = EncodeRecord(p);
        for (int pad : {5, 11, 17, 43}) QCOMPARE(r[pad], 0);
        QCOMPARE(r[18], 160); // PWM low byte first
        QCOMPARE(r[22], std::uint8_t(p.flags & 0xFF));
        QCOMPARE(RecordFlags(r), p.flags);
        QCOMPARE(DecodeRecord(r), p);
    }
};

QTEST_APPLESS_MAIN(TestDetectorSim)
#include "test_detector_sim.moc"
