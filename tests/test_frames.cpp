// Frames on the wire: checksum, poll requests, the reply check and dispatch by the reply's own code.
#include "protocol/Frames.h"

#include <QTest>
#include <numeric>
#include <tuple>

using namespace protocol::frames;

namespace {

// A well-formed reply of the given code and payload, laid into a receive buffer.
ReceiveBuffer reply(std::uint8_t code, const std::vector<std::uint8_t>& payload) {
    ReceiveBuffer b{};
    b[0] = STX;
    b[1] = 0;
    b[2] = static_cast<std::uint8_t>(payload.size());
    b[3] = code;
    std::copy(payload.begin(), payload.end(), b.begin() + 4);
    b[payload.size() + 4] = FrameChecksum(payload.data(), payload.size());
    b[payload.size() + 5] = ETX;
    return b;
}

std::vector<std::uint8_t> counting(std::size_t n, std::uint8_t first = 1) {
    std::vector<std::uint8_t> v(n);
    std::iota(v.begin(), v.end(), first);
    return v;
}

} // namespace

class TestFrames : public QObject {
    Q_OBJECT
  private slots:
    void checksumOfSingleCodes() {
        const std::uint8_t b8 = 0x08, b9 = 0x09, bC = 0x0C, b0 = 0x00;
        QCOMPARE(FrameChecksum(&b8, 1), 0xF8);
        QCOMPARE(FrameChecksum(&b9, 1), 0xF7);
        QCOMPARE(FrameChecksum(&bC, 1), 0xF4);
        QCOMPARE(FrameChecksum(&b0, 1), 0x00);
        QCOMPARE(FrameChecksum(nullptr, 0), 0x00);
    }

    void runFollowedByItsChecksumSumsToZero() {
        const auto data = counting(200, 77);
        const std::uint8_t chk = FrameChecksum(data.data(), data.size());
        unsigned sum = chk;
        for (auto b : data) sum += b;
        QCOMPARE(sum % 256, 0u);
    }

    void pollRequestsAsTheyGoOut() {
        PollRequest p;
        QCOMPARE(p.bytes()[4], 0x00); // not computed until armed
        QCOMPARE(p.ExpectedReplyLength(), 64);
        p.ArmPoll(Status, StatusReplyLength);
        QCOMPARE(p.bytes(), (std::array<std::uint8_t, 6>{0x02, 0x00, 0x01, 0x08, 0xF8, 0x03}));
        p.ArmPoll(ParameterReadBack, ParameterReplyLength);
        QCOMPARE(p.bytes(), (std::array<std::uint8_t, 6>{0x02, 0x00, 0x01, 0x09, 0xF7, 0x03}));
        QCOMPARE(p.ExpectedReplyLength(), 46);
        p.ArmPoll(EventLog, EventLogReplyLength);
        QCOMPARE(p.bytes(), (std::array<std::uint8_t, 6>{0x02, 0x00, 0x01, 0x0C, 0xF4, 0x03}));
        QCOMPARE(p.ExpectedReplyLength(), 226);
    }

    void reply7ChecksumIgnoresTheCode() {
        const ReceiveBuffer b = reply(PwmValues, {1, 2, 3, 4});
        const std::array<std::uint8_t, 10> expected{0x02, 0x00, 0x04, 0x07, 0x01, 0x02, 0x03, 0x04, 0xF6, 0x03};
        QVERIFY(std::equal(expected.begin(), expected.end(), b.begin()));
        QVERIFY(ReplyChecksumOk(b));
    }

    void commandChecksumCoversTheCode() {
        // A command frame's checksum covers CMD and the data: changing only CMD changes it.
        std::vector<std::uint8_t> cmdAndData = counting(41, 1);
        cmdAndData[0] = Settings;
        const std::uint8_t withSettings = FrameChecksum(cmdAndData.data(), cmdAndData.size());
        cmdAndData[0] = 2;
        QVERIFY(FrameChecksum(cmdAndData.data(), cmdAndData.size()) != withSettings);
    }

    void frameCheckInItsOrder() {
        const ReceiveBuffer good = reply(Status, counting(58));
        QCOMPARE(CheckReplyFrame(good, 64), FrameCheck::Good);

        ReceiveBuffer b = good;
        b[0] = 0x55;
        QCOMPARE(CheckReplyFrame(b, 64), FrameCheck::BadStx);
        b = good;
        b[1] = 0x01;
        QCOMPARE(CheckReplyFrame(b, 64), FrameCheck::BadZeroByte);
        b = good;
        b[10] ^= 0xFF;
        QCOMPARE(CheckReplyFrame(b, 64), FrameCheck::BadChecksum);
        b = good;
        b[63] = 0x04;
        QCOMPARE(CheckReplyFrame(b, 64), FrameCheck::BadEtx);
        // A zero byte and a bad checksum together: the earlier test names the fault.
        b = good;
        b[1] = 0x01;
        b[10] ^= 0xFF;
        QCOMPARE(CheckReplyFrame(b, 64), FrameCheck::BadZeroByte);
    }

    void lengthIsRejectedBeforeTheChecksum() {
        // Right checksum and ETX for its own LEN of 40, but 58 was armed.
        const ReceiveBuffer b = reply(ParameterReadBack, counting(40));
        QVERIFY(ReplyChecksumOk(b));
        QCOMPARE(CheckReplyFrame(b, 64), FrameCheck::BadLength);
        QCOMPARE(CheckReplyFrame(b, 46), FrameCheck::Good);
    }

    void checksumOfTheLongestLenStaysInsideTheBuffer() {
        // LEN 255 read from a garbage frame indexes byte 259 at most if unchecked; the length test
        // must stop it first, so the check is safe on any buffer content.
        ReceiveBuffer b{};
        b[0] = STX;
        b[2] = 0xFF;
        QCOMPARE(CheckReplyFrame(b, 64), FrameCheck::BadLength);
    }

    // A known code must come with its own length: a 46-byte frame labelled 7 (answering poll 9) or a
    // 64-byte one labelled 12 is not dispatched, whatever its checksum says.
    void aKnownCodeWithAnotherLengthIsDamaged() {
        for (const auto& [code, payload, armed] :
             {std::tuple{PwmValues, 40, 46}, std::tuple{EventLog, 58, 64}, std::tuple{ParameterReadBack, 58, 64}}) {
            const ReceiveBuffer b = reply(code, counting(static_cast<std::size_t>(payload)));
            QVERIFY(ReplyChecksumOk(b));
            QCOMPARE(CheckReplyFrame(b, armed), FrameCheck::BadLengthForCode);
        }
        QCOMPARE(CheckReplyFrame(reply(PwmValues, counting(4)), PwmReplyLength), FrameCheck::Good);
    }

    void reply9IsPlacedInFivePiecesAroundThePads() {
        const auto payload = counting(40, 1); // bytes 1..40
        ReplyStores s;
        s.parameters.fill(0xAA);
        QCOMPARE(DispatchReply(reply(ParameterReadBack, payload), s), ParameterReadBack);
        // Pads at 5, 11, 17 and 43 stay as they were.
        for (int pad : {5, 11, 17, 43}) QCOMPARE(s.parameters[pad], 0xAA);
        QCOMPARE(s.parameters[0], 1);
        QCOMPARE(s.parameters[4], 5);
        QCOMPARE(s.parameters[6], 6);
        QCOMPARE(s.parameters[16], 15);
        QCOMPARE(s.parameters[18], 16);
        QCOMPARE(s.parameters[27], 25);
        QCOMPARE(s.parameters[28], 26);
        QCOMPARE(s.parameters[42], 40);
    }

    void copyLengthIsTheCodesNotTheLenByte() {
        // A status reply copies 58 bytes; an event log reply 220 bytes, both from payload byte 0.
        ReplyStores s;
        QCOMPARE(DispatchReply(reply(Status, counting(58, 3)), s), Status);
        QCOMPARE(s.status.front(), 3);
        QCOMPARE(s.status.back(), 60);
        QCOMPARE(DispatchReply(reply(EventLog, counting(220, 0)), s), EventLog);
        QCOMPARE(s.eventLog[219], 219);
        QCOMPARE(DispatchReply(reply(Code10, counting(20, 9)), s), Code10);
        QCOMPARE(s.reply10[19], 28);
    }

    void unknownCodesAreGoodFramesDispatchedNowhere() {
        ReplyStores before, s;
        for (std::uint8_t code : {0, 2, 11, 13, 255}) {
            const ReceiveBuffer b = reply(code, counting(58));
            QCOMPARE(CheckReplyFrame(b, 64), FrameCheck::Good);
            QCOMPARE(DispatchReply(b, s), code);
        }
        QCOMPARE(s.status, before.status);
        QCOMPARE(s.parameters, before.parameters);
        QCOMPARE(s.eventLog, before.eventLog);
        QCOMPARE(ReplyTotalLength(11), 0);
        QCOMPARE(ReplyTotalLength(EventLog), 226);
    }
};

QTEST_APPLESS_MAIN(TestFrames)
#include "test_frames.moc"
