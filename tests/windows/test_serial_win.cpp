// The serial layer on Windows (the Win32 communications API) under wine, on a pseudo-terminal mapped to COM5
// whose far end ostrevo-line-peer plays on command: receive rules, time-outs, purge, a stalled far end, a
// hang-up, the line settings, and the port list.
#include "LinePeerClient.h"
#include "protocol/PortList.h"
#include "protocol/SerialPort.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTest>
#include <thread>

namespace {

constexpr const char* Line = "COM5";

std::vector<std::uint8_t> counting(int n, int first = 1) {
    std::vector<std::uint8_t> v(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) v[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(first + i);
    return v;
}

// Cycles that the process spent, in seconds (user and kernel).
double cpuSeconds() {
    FILETIME created, ended, kernel, user;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &ended, &kernel, &user);
    auto seconds = [](const FILETIME& f) {
        return (static_cast<double>(f.dwHighDateTime) * 4294967296.0 + f.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

} // namespace

class TestSerialWin32 : public QObject {
    Q_OBJECT
    LinePeerClient peer_;

    void openLine(protocol::SerialPort& s) {
        s.OpenPort(Line);
        QCOMPARE(s.ErrorCode, 0);
        s.ConfigureLine(19200, 8, 'N', 0, false, false);
        QCOMPARE(s.ErrorCode, 0);
    }

  private slots:
    void initTestCase() { QVERIFY2(peer_.connected(), "no control port: run under ostrevo-line-peer"); }

    // Whatever a test left on the line (a hang-up, a stall, bytes) is gone before the next.
    void init() {
        QVERIFY(peer_.ok(QStringLiteral("stall off")) || true);
        QVERIFY(peer_.ok(QStringLiteral("renew")));
    }

    void comNamesOpenTheDevice() {
        int number = 0;
        QCOMPARE(protocol::SerialPort::DevicePathFor("COM12", &number), std::string("\\\\.\\COM12"));
        QCOMPARE(number, 11);
        QCOMPARE(protocol::SerialPort::DevicePathFor("com3"), std::string("\\\\.\\COM3"));
        QCOMPARE(protocol::SerialPort::DevicePathFor("COMX", &number), std::string("COMX"));
        QCOMPARE(number, -1);
        QCOMPARE(protocol::SerialPort::DevicePathFor("COM0"), std::string("COM0"));
        protocol::SerialPort s;
        s.OpenPort("COM201"); // no such port here
        QVERIFY(!s.PortOpen);
        QCOMPARE(s.DevicePath, std::string("\\\\.\\COM201"));
        QCOMPARE(s.ErrorCode, int(ERROR_FILE_NOT_FOUND));
        QCOMPARE(s.ErrorText, protocol::SerialPort::GetErrorDesc(ERROR_FILE_NOT_FOUND));
        QVERIFY(protocol::OpenFailureMessage(s.ErrorCode, s.ErrorText, s.DevicePath).find("There is no port") !=
                std::string::npos);
        // A file is no port, and is left alone.
        const std::string file = QDir::toNativeSeparators(QCoreApplication::applicationFilePath()).toStdString();
        s.OpenPort(file);
        QVERIFY(!s.PortOpen);
        QCOMPARE(s.ErrorCode, int(ERROR_INVALID_FUNCTION));
        QVERIFY(protocol::SerialPort::GetErrorDesc(ERROR_ACCESS_DENIED).find("denied") != std::string::npos);
    }

    // Opened for this program alone: a second open of an open port is refused (9992), and Windows refuses
    // another program with "access denied", which the user reads as the port being in use. (wine does not
    // keep a device from a second opener: that part is Windows' own.)
    void aPortOpenTwiceAndAPortInUse() {
        protocol::SerialPort first;
        openLine(first);
        first.OpenPort(Line);
        QCOMPARE(first.ErrorCode, 9992);
        QVERIFY(first.PortOpen);
        QVERIFY(protocol::OpenFailureMessage(ERROR_ACCESS_DENIED, "Access is denied.", "\\\\.\\COM5")
                    .find("Another program is using \\\\.\\COM5: close it") != std::string::npos);
        first.ClosePort();
        protocol::SerialPort second;
        second.OpenPort("com5");
        QVERIFY(second.PortOpen);
    }

    void surplusBytesComeFirstInTheNextReceive() {
        protocol::SerialPort s;
        openLine(s);
        peer_.send(counting(70));
        std::uint8_t buf[257] = {};
        QCOMPARE(s.ReceiveBytes(buf, 64, 500), 64);
        QCOMPARE(s.ErrorCode, 0);
        QCOMPARE(buf[63], 64);
        QCOMPARE(s.LineBuffer.size(), std::size_t(6));
        peer_.send(counting(4, 200));
        std::uint8_t next[16] = {};
        QCOMPARE(s.ReceiveBytes(next, 10, 500), 10);
        QCOMPARE(next[0], 65); // the surplus first
        QCOMPARE(next[5], 70);
        QCOMPARE(next[6], 200);
        QVERIFY(s.LineBuffer.empty());
    }

    // Replies paced as on the line (19200 baud, 10 bits a byte) are received whole and in order; a reply
    // that stops half-way ends in a time-out with what came; a far end that hangs up ends the receive at
    // once with the device's own error, and every receive after it fails at once without spinning.
    void pacedRepliesTimeOutsAndHangUps() {
        const struct {
            const char* name;
            int sent, surplus;
            bool hangUp;
            int received, error;
        } cases[] = {{"a status reply", 64, 0, false, 64, 0},
                     {"a reply and 3 surplus bytes", 64, 3, false, 64, 0},
                     {"a reply that stops half-way", 30, 0, false, 30, protocol::ErrTimeout},
                     {"a detector that hangs up half-way", 30, 0, true, -1, -1}};
        for (const auto& c : cases) {
            QVERIFY(peer_.ok(QStringLiteral("renew")));
            protocol::SerialPort s;
            openLine(s);
            QCOMPARE(s.ByteTime(), std::chrono::nanoseconds(520833));
            QVERIFY(peer_.ok(QStringLiteral("pace %1 1 521").arg(c.sent + c.surplus)));
            std::uint8_t buf[64] = {};
            QElapsedTimer t;
            t.start();
            if (c.hangUp) {
                QVERIFY(peer_.ok(QStringLiteral("hangup")) || true);
            }
            const int n = s.ReceiveBytes(buf, 64, 80, 1000);
            // (A hang-up is the system's own error, whichever it is: never a time-out.)
            const bool asExpected = c.error >= 0 ? s.ErrorCode == c.error : s.ErrorCode > 0 && s.ErrorCode < 9991;
            QVERIFY2(asExpected, qPrintable(QStringLiteral("%1: error %2 (%3)")
                                                .arg(c.name)
                                                .arg(s.ErrorCode)
                                                .arg(QString::fromStdString(s.ErrorText))));
            if (c.received >= 0) QCOMPARE(n, c.received);
            for (int i = 0; i < n; ++i) QVERIFY2(buf[i] == i + 1, c.name);
            QVERIFY2(t.elapsed() < 900, c.name);
            if (c.surplus > 0) {
                QCOMPARE(s.ReceiveBytes(buf, c.surplus, 100), c.surplus);
                QCOMPARE(buf[0], std::uint8_t(65));
            }
            if (c.hangUp) {
                const double before = cpuSeconds();
                QElapsedTimer failing;
                failing.start();
                for (int i = 0; i < 10; ++i) {
                    QCOMPARE(s.ReceiveBytes(buf, 64, 300), 0);
                    QVERIFY(s.ErrorCode != 0);
                }
                QVERIFY2(failing.elapsed() < 2000, "a lost line fails at once");
                QVERIFY(cpuSeconds() - before < 0.5);
            }
        }
    }

    void slowDeviceIsReadToCompletion() {
        // One byte every 80 ms with a 90 ms time-out: each byte restarts the wait.
        protocol::SerialPort s;
        openLine(s);
        QVERIFY(peer_.ok(QStringLiteral("pace 8 1 80000")));
        std::uint8_t buf[16] = {};
        QCOMPARE(s.ReceiveBytes(buf, 8, 90), 8);
        QCOMPARE(s.ErrorCode, 0);
        QCOMPARE(buf[7], 8);
    }

    void silenceTimesOut() {
        protocol::SerialPort s;
        openLine(s);
        std::uint8_t buf[64] = {};
        QElapsedTimer t;
        t.start();
        QCOMPARE(s.ReceiveBytes(buf, 64, 100), 0);
        QVERIFY(t.elapsed() >= 95);  // it did wait for the time-out
        QVERIFY(t.elapsed() < 2000); // and then came back
        QCOMPARE(s.ErrorCode, 9997);
        QCOMPARE(s.ErrorText, std::string("Timeout during operation"));
        peer_.send(counting(3)); // a short count always comes with an error
        QCOMPARE(s.ReceiveBytes(buf, 64, 100), 3);
        QCOMPARE(s.ErrorCode, 9997);
    }

    void withoutInterPacketTimeoutTheWholeReceiveIsBounded() {
        protocol::SerialPort s;
        openLine(s);
        s.InterPacketTimeout = false;
        QVERIFY(peer_.ok(QStringLiteral("pace 40 1 20000")));
        std::uint8_t buf[64] = {};
        QElapsedTimer t;
        t.start();
        const int n = s.ReceiveBytes(buf, 64, 150);
        QVERIFY(n < 64);
        QCOMPARE(s.ErrorCode, 9997);
        QVERIFY(t.elapsed() < 600);
    }

    void callsOnAClosedPort() {
        protocol::SerialPort s;
        openLine(s);
        s.ClosePort();
        QCOMPARE(s.ErrorCode, 0);
        std::uint8_t buf[8] = {1, 2, 3};
        QCOMPARE(s.SendBytes(buf, 3), 0);
        QCOMPARE(s.ErrorText, std::string("Instance not yet connected"));
        QCOMPARE(s.ReceiveBytes(buf, 3, 10), 0);
        QCOMPARE(s.ErrorCode, 9994);
        s.ClosePort(); // harmless twice
        QVERIFY(!s.PortOpen);
        s.ApplyLineSettings();
        QCOMPARE(s.ErrorCode, protocol::SerialPort::BadHandleError());
    }

    void sendGoesOutExactly() {
        protocol::SerialPort s;
        openLine(s);
        const std::uint8_t poll[6] = {0x02, 0x00, 0x01, 0x08, 0xF8, 0x03};
        QCOMPARE(s.SendBytes(poll, 6), 6);
        QCOMPARE(s.ErrorCode, 0);
        // Line ends and the flow-control characters go out as they are.
        const std::uint8_t special[4] = {0x0A, 0x0D, 0x11, 0x13};
        QCOMPARE(s.SendBytes(special, 4), 4);
        QCOMPARE(peer_.sent(), (std::vector<std::uint8_t>{0x02, 0x00, 0x01, 0x08, 0xF8, 0x03, 0x0A, 0x0D, 0x11, 0x13}));
        QVERIFY(s.FlushOutput(500));
        QCOMPARE(s.PendingOutput(), 0);
    }

    // A far end that stops taking bytes holds a send no longer than its limit; the send says so, and
    // the port sends again once the line moves.
    void aStalledLineEndsTheSendAtItsLimit() {
        protocol::SerialPort s;
        openLine(s);
        QVERIFY(peer_.ok(QStringLiteral("stall on")));
        const std::vector<std::uint8_t> frame(46, 0x55);
        QElapsedTimer t;
        t.start();
        // A line with a buffer of its own may take some sends first; the stall shows once it is full.
        for (int i = 0; i < 4096 && s.ErrorCode == 0; ++i) s.SendBytes(frame.data(), 46, 150);
        QCOMPARE(s.ErrorCode, 9997);
        QVERIFY(t.elapsed() < 10000);
        QElapsedTimer last;
        last.start();
        s.SendBytes(frame.data(), 46, 150);
        QCOMPARE(s.ErrorCode, 9997);
        QVERIFY2(last.elapsed() >= 140 && last.elapsed() < 1500, qPrintable(QString::number(last.elapsed())));
        QVERIFY(peer_.ok(QStringLiteral("stall off")));
        peer_.sent(200); // what went out before the stall
        s.PurgePort();
        const std::uint8_t poll[6] = {0x02, 0x00, 0x01, 0x08, 0xF8, 0x03};
        QTRY_VERIFY_WITH_TIMEOUT(s.SendBytes(poll, 6) == 6 && s.ErrorCode == 0, 3000);
    }

    void purgeDropsWhatIsQueued() {
        protocol::SerialPort s;
        openLine(s);
        peer_.send(counting(10));
        std::uint8_t buf[8];
        QCOMPARE(s.ReceiveBytes(buf, 4, 300), 4);
        QVERIFY(!s.LineBuffer.empty());
        peer_.send(counting(5, 100));
        QTest::qWait(100); // (bytes on their way: they reach the driver's queue before the purge)
        s.PurgePort();
        QVERIFY(s.LineBuffer.empty());
        QCOMPARE(s.ReceiveBytes(buf, 4, 50), 0);
        QCOMPARE(s.ErrorCode, 9997);
    }

    // Back in step after a failed exchange: what still arrives is thrown away until the line is quiet,
    // and the failure's code and text stay.
    void resyncThrowsAwayUntilQuiet() {
        protocol::SerialPort s;
        openLine(s);
        std::uint8_t buf[8];
        QCOMPARE(s.ReceiveBytes(buf, 8, 30), 0);
        QCOMPARE(s.ErrorCode, 9997);
        peer_.send(counting(5));
        QVERIFY(peer_.ok(QStringLiteral("pace 6 10 5000")));
        const int dropped = s.ResyncInput(20, 500);
        QCOMPARE(dropped, 11);
        QCOMPARE(s.ErrorCode, 9997);
        QCOMPARE(s.ErrorText, std::string("Timeout during operation"));
    }

    // The line settings reach the line, and closing the port puts back those it had. (A pseudo-terminal
    // keeps no character size or parity: the speed, the stop bits and the flow control tell.)
    void lineSettingsAndTheirRestore() {
        QVERIFY(peer_.ok(QStringLiteral("canonical")));
        protocol::SerialPort s;
        openLine(s);
        QCOMPARE(peer_.command(QStringLiteral("termios")),
                 QStringLiteral("ok speed 19200 csize 8 parenb 0 cstopb 0 ixon 0 icanon 0"));
        s.ConfigureLine(9600, 7, 'e', 2, true, false);
        QCOMPARE(s.ErrorCode, 0);
        const QString settings = peer_.command(QStringLiteral("termios"));
        QVERIFY2(settings.startsWith(QStringLiteral("ok speed 9600 ")) &&
                     settings.contains(QStringLiteral("cstopb 1 ixon 1")),
                 qPrintable(settings));
        for (const auto& [bits, parity] : {std::pair{9, 'N'}, std::pair{8, 'x'}}) {
            s.ConfigureLine(19200, bits, parity, 0, false, false);
            QCOMPARE(s.ErrorCode, int(ERROR_INVALID_PARAMETER));
        }
        // Closed, the line has its own settings back (the line speed it had; the terminal modes are wine's).
        s.ClosePort();
        QVERIFY(peer_.command(QStringLiteral("termios")).startsWith(QStringLiteral("ok speed 9600 csize 8 ")));
    }

    void raiseExceptThrowsWithCodeAndText() {
        protocol::SerialPort s;
        openLine(s);
        s.RaiseExcept = true;
        std::uint8_t buf[4];
        try {
            s.ReceiveBytes(buf, 4, 20);
            QFAIL("no exception");
        } catch (const protocol::SerialError& e) {
            QCOMPARE(e.ErrorCode, 9997);
            QCOMPARE(std::string(e.what()), std::string("Communication error 9997: Timeout during operation"));
        }
    }

    // The ports that exist, in numeric order, the virtual port first when there is one; a port that is
    // there now is present for a reconnection, one that is not is not.
    void thePortList() {
        const std::vector<std::string> ports = protocol::ListPorts();
        QVERIFY(std::find(ports.begin(), ports.end(), "COM5") != ports.end());
        QVERIFY(std::find(ports.begin(), ports.end(), "COM201") == ports.end());
        QVERIFY(std::is_sorted(ports.begin(), ports.end(), [](const std::string& a, const std::string& b) {
            return protocol::SerialPort::ComNumber(a) < protocol::SerialPort::ComNumber(b);
        }));
        QVERIFY(protocol::ProbePort("COM5:"));
        QVERIFY(!protocol::ProbePort("COM201"));
        QVERIFY(!protocol::ProbePort(""));
        protocol::PortRoots roots;
        roots.virtualPort = "Virtual Detector";
        QCOMPARE(protocol::ListPorts(roots).front(), std::string("Virtual Detector"));
        QVERIFY(protocol::ProbePort("Virtual Detector", roots));
        protocol::SerialPort s;
        QVERIFY(s.DevicePresent("COM5"));
        QVERIFY(!s.DevicePresent("COM201"));
    }

    void cleanupTestCase() { peer_.ok(QStringLiteral("stall off")); }
};

QTEST_GUILESS_MAIN(TestSerialWin32)
#include "test_serial_win.moc"
