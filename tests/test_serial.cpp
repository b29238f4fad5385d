// The serial layer on a real pseudo-terminal: receive rules, time-outs, errors, lost devices.
#include "PtyPeer.h"
#include "protocol/PortList.h"
#include "protocol/SerialPort.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::vector<std::uint8_t> bytes(int n, int first = 0) {
    std::vector<std::uint8_t> v(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) v[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(first + i);
    return v;
}

void openLine(protocol::SerialPort& s, const PtyPeer& peer) {
    s.OpenPort(peer.path());
    QCOMPARE(s.ErrorCode, 0);
    s.ConfigureLine(19200, 8, 'N', 0, false, false);
    QCOMPARE(s.ErrorCode, 0);
}

// Times the calling thread went to sleep waiting (voluntary context switches).
long threadWakeUps() {
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return u.ru_nvcsw;
}

// Whether a thread of this process sleeps in the kernel (waits for something), as /proc tells it.
bool threadAsleep(pid_t thread) {
    QFile stat(QStringLiteral("/proc/self/task/%1/stat").arg(thread));
    if (!stat.open(QIODevice::ReadOnly)) return false;
    const QByteArray line = stat.readAll();
    const qsizetype after = line.lastIndexOf(") ");
    return after >= 0 && line.mid(after + 2, 1) == "S";
}

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

} // namespace

class TestSerial : public QObject {
    Q_OBJECT
  private slots:
    void comNamesMapToTtyS() {
        int number = 0;
        QCOMPARE(protocol::SerialPort::DevicePathFor("COM12", &number), std::string("/dev/ttyS11"));
        QCOMPARE(number, 11);
        QCOMPARE(protocol::SerialPort::DevicePathFor("com3"), std::string("/dev/ttyS3").replace(9, 1, "2"));
        QCOMPARE(protocol::SerialPort::DevicePathFor("COM1"), std::string("/dev/ttyS0"));
        QCOMPARE(protocol::SerialPort::DevicePathFor("COMX", &number), std::string("COMX"));
        QCOMPARE(number, -1);
        QCOMPARE(protocol::SerialPort::DevicePathFor("COM0"), std::string("COM0"));
        QCOMPARE(protocol::SerialPort::DevicePathFor("/dev/ttyUSB0", &number), std::string("/dev/ttyUSB0"));
        QCOMPARE(number, -1);
        protocol::SerialPort s;
        s.OpenPort("COM255"); // no such port here
        QVERIFY(!s.PortOpen);
        QCOMPARE(s.DevicePath, std::string("/dev/ttyS254"));
        QCOMPARE(s.ErrorCode, ENOENT);
        QCOMPARE(s.ErrorText, std::string("No such file or directory"));
    }

    void errorTexts() {
        QCOMPARE(protocol::SerialPort::GetErrorDesc(0), std::string("OK"));
        QCOMPARE(protocol::SerialPort::GetErrorDesc(9992), std::string("Instance already in use"));
        QCOMPARE(protocol::SerialPort::GetErrorDesc(9993), std::string("Wrong paramter at call"));
        QCOMPARE(protocol::SerialPort::GetErrorDesc(9994), std::string("Instance not yet connected"));
        QCOMPARE(protocol::SerialPort::GetErrorDesc(9997), std::string("Timeout during operation"));
        QCOMPARE(protocol::SerialPort::GetErrorDesc(10003), std::string("Tranceive Queue is full"));
        QCOMPARE(protocol::SerialPort::GetErrorDesc(EACCES), std::string("Permission denied"));
    }

    void surplusBytesComeFirstInTheNextReceive() {
        PtyPeer peer;
        protocol::SerialPort s;
        openLine(s, peer);
        peer.write(bytes(70, 1));
        std::uint8_t buf[257] = {};
        QCOMPARE(s.ReceiveBytes(buf, 64, 200), 64);
        QCOMPARE(s.ErrorCode, 0);
        QCOMPARE(buf[63], 64);
        QCOMPARE(s.LineBuffer.size(), std::size_t(6));
        peer.write(bytes(4, 200));
        std::uint8_t next[16] = {};
        QCOMPARE(s.ReceiveBytes(next, 10, 200), 10);
        QCOMPARE(next[0], 65); // the surplus first
        QCOMPARE(next[5], 70);
        QCOMPARE(next[6], 200);
        QVERIFY(s.LineBuffer.empty());
    }

    // A reply paced as on the line (19200 baud) is received whole while the receive sleeps through
    // its bytes' time on the line, waking a few times instead of once a byte; what follows a reply,
    // a hang-up (what was still in the line goes with it) and a reply that stops are met as before.
    void aPacedReplyIsReceivedWithoutWakingForEveryByte() {
        const struct {
            const char* name;
            int sent, surplus;
            bool hangUp;
            int received, error;
        } cases[] = {{"a status reply", 64, 0, false, 64, 0},
                     {"a reply and 3 surplus bytes", 64, 3, false, 64, 0},
                     {"a reply that stops half-way", 30, 0, false, 30, protocol::ErrTimeout},
                     {"a detector that hangs up half-way", 30, 0, true, -1, EIO}};
        for (const auto& c : cases) {
            PtyPeer peer;
            protocol::SerialPort s;
            openLine(s, peer);
            QCOMPARE(s.ByteTime(), std::chrono::nanoseconds(520833)); // ten bits at 19200 baud
            std::thread line([&] {
                const auto start = std::chrono::steady_clock::now() + std::chrono::milliseconds(2);
                for (int i = 0; i < c.sent + c.surplus; ++i) {
                    std::this_thread::sleep_until(start + s.ByteTime() * i);
                    peer.write({static_cast<std::uint8_t>(i + 1)});
                }
                if (c.hangUp) peer.hangUp();
            });
            std::uint8_t buf[64] = {};
            const long wakeUpsBefore = threadWakeUps();
            const int n = s.ReceiveBytes(buf, 64, 50, 500);
            const long wakeUps = threadWakeUps() - wakeUpsBefore;
            line.join();
            QCOMPARE(s.ErrorCode, c.error);
            if (c.received >= 0) QCOMPARE(n, c.received);
            for (int i = 0; i < n; ++i) QVERIFY2(buf[i] == i + 1, c.name); // in order, none lost
            QVERIFY2(wakeUps < 16, qPrintable(QStringLiteral("%1: %2 wake-ups").arg(c.name).arg(wakeUps)));
            if (c.surplus > 0) { // the surplus comes first in the next receive
                QCOMPARE(s.ReceiveBytes(buf, c.surplus, 50), c.surplus);
                QCOMPARE(buf[0], std::uint8_t(65));
            }
        }
    }

    void slowDeviceIsReadToCompletion() {
        // One byte every 80 ms with a 90 ms time-out: each byte restarts the wait.
        PtyPeer peer;
        protocol::SerialPort s;
        openLine(s, peer);
        std::thread dribble([&] {
            for (int i = 0; i < 8; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(80));
                peer.write({static_cast<std::uint8_t>(i + 1)});
            }
        });
        std::uint8_t buf[16] = {};
        const int n = s.ReceiveBytes(buf, 8, 90);
        dribble.join();
        QCOMPARE(n, 8);
        QCOMPARE(s.ErrorCode, 0);
        QCOMPARE(buf[7], 8);
    }

    void silenceTimesOut() {
        PtyPeer peer;
        protocol::SerialPort s;
        openLine(s, peer);
        std::uint8_t buf[64] = {};
        QElapsedTimer t;
        t.start();
        QCOMPARE(s.ReceiveBytes(buf, 64, 100), 0);
        QVERIFY(t.elapsed() >= 95);  // it did wait for the time-out
        QVERIFY(t.elapsed() < 5000); // and then came back
        QCOMPARE(s.ErrorCode, 9997);
        QCOMPARE(s.ErrorText, std::string("Timeout during operation"));
        // A short count always comes with an error.
        peer.write(bytes(3));
        QCOMPARE(s.ReceiveBytes(buf, 64, 50), 3);
        QCOMPARE(s.ErrorCode, 9997);
    }

    void withoutInterPacketTimeoutTheWholeReceiveIsBounded() {
        PtyPeer peer;
        protocol::SerialPort s;
        openLine(s, peer);
        s.InterPacketTimeout = false;
        std::atomic<bool> stop{false};
        std::thread dribble([&] {
            for (int i = 0; i < 40 && !stop; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                peer.write({0x55});
            }
        });
        std::uint8_t buf[64] = {};
        const int n = s.ReceiveBytes(buf, 64, 150);
        stop = true;
        dribble.join();
        QVERIFY(n < 64);
        QCOMPARE(s.ErrorCode, 9997);
    }

    void callsOnAClosedPort() {
        PtyPeer peer;
        protocol::SerialPort s;
        openLine(s, peer);
        s.OpenPort(peer.path()); // already open
        QCOMPARE(s.ErrorCode, 9992);
        QVERIFY(s.PortOpen);
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
        QCOMPARE(s.ErrorCode, EBADF);
    }

    void sendGoesOutExactly() {
        PtyPeer peer;
        protocol::SerialPort s;
        openLine(s, peer);
        const std::uint8_t poll[6] = {0x02, 0x00, 0x01, 0x08, 0xF8, 0x03};
        QCOMPARE(s.SendBytes(poll, 6), 6);
        QCOMPARE(s.ErrorCode, 0);
        // 0x0A and 0x0D must not be translated on the way.
        const std::uint8_t crlf[3] = {0x0A, 0x0D, 0x11};
        QCOMPARE(s.SendBytes(crlf, 3), 3);
        QCOMPARE(peer.readSent(), (std::vector<std::uint8_t>{0x02, 0x00, 0x01, 0x08, 0xF8, 0x03, 0x0A, 0x0D, 0x11}));
        QCOMPARE(s.PendingOutput(), 0);
        s.FlushOutput();
        QCOMPARE(s.ErrorCode, 0);
    }

    void hangUpEndsAReceiveAtOnceAndNeverSpins() {
        PtyPeer peer;
        protocol::SerialPort s;
        openLine(s, peer);
        peer.write(bytes(10, 1));
        // The adapter goes once the receive has taken the ten bytes (none left in the port's input) and
        // waits for more: its thread asleep in the kernel.
        const pid_t receiver = static_cast<pid_t>(::syscall(SYS_gettid));
        std::atomic<bool> receiving{false};
        const auto taken = [&s] {
            int queued = -1;
            return ::ioctl(s.handle(), FIONREAD, &queued) == 0 && queued == 0;
        };
        std::thread unplug([&] {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
            while (!(receiving && taken() && threadAsleep(receiver)) && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            peer.hangUp();
        });
        std::uint8_t buf[64] = {};
        QElapsedTimer t;
        t.start();
        receiving = true;
        const int n = s.ReceiveBytes(buf, 64, 3000);
        unplug.join();
        QCOMPARE(n, 10); // what came before the hang-up is kept
        QCOMPARE(s.ErrorCode, EIO);
        QCOMPARE(s.ErrorText, std::string("Input/output error"));
        QVERIFY(t.elapsed() < 2500); // not the time-out: the hang-up itself ended it

        // Every later receive fails at once, without burning the processor in between.
        const double cpuBefore = cpuSeconds();
        for (int i = 0; i < 20; ++i) {
            QCOMPARE(s.ReceiveBytes(buf, 64, 500), 0);
            QCOMPARE(s.ErrorCode, EIO);
        }
        QVERIFY(cpuSeconds() - cpuBefore < 0.5);
        s.ClosePort();
        QVERIFY(!s.PortOpen);
    }

    void closeRestoresTheLineSettings() {
        PtyPeer peer;
        termios before{};
        tcgetattr(peer.slave(), &before);
        before.c_lflag |= ICANON | ECHO;
        cfsetispeed(&before, B9600);
        cfsetospeed(&before, B9600);
        tcsetattr(peer.slave(), TCSANOW, &before);

        protocol::SerialPort s;
        openLine(s, peer);
        termios during{};
        tcgetattr(peer.slave(), &during);
        QCOMPARE(cfgetospeed(&during), speed_t(B19200));
        QCOMPARE(during.c_lflag & ICANON, tcflag_t(0));
        QCOMPARE(during.c_cflag & CSIZE, tcflag_t(CS8));
        QCOMPARE(during.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
        int exclusive = 0;
        QCOMPARE(ioctl(peer.slave(), TIOCGEXCL, &exclusive), 0);
        QCOMPARE(exclusive, 1); // nobody else may open the port meanwhile
        s.ClosePort();
        termios after{};
        tcgetattr(peer.slave(), &after);
        QCOMPARE(cfgetospeed(&after), speed_t(B9600));
        QVERIFY(after.c_lflag & ICANON);
        QCOMPARE(ioctl(peer.slave(), TIOCGEXCL, &exclusive), 0);
        QCOMPARE(exclusive, 0);
    }

    void lineSettingsThatCannotBeHad() {
        PtyPeer peer;
        protocol::SerialPort s;
        s.OpenPort(peer.path());
        s.ConfigureLine(12345, 8, 'N', 0, false, false);
        QCOMPARE(s.ErrorCode, EINVAL);
        QCOMPARE(s.ErrorText, std::string("Invalid argument"));
        s.ConfigureLine(19200, 9, 'N', 0, false, false);
        QCOMPARE(s.ErrorCode, EINVAL);
        s.ConfigureLine(19200, 8, 'x', 0, false, false);
        QCOMPARE(s.ErrorCode, EINVAL);
        s.ConfigureLine(9600, 7, 'e', 2, true, false);
        QCOMPARE(s.ErrorCode, 0);
        QCOMPARE(s.Settings.parity, 'E');
        termios t{};
        tcgetattr(peer.slave(), &t); // a pseudo-terminal keeps no parity or size, but the rest
        QVERIFY(t.c_cflag & CSTOPB);
        QCOMPARE(cfgetospeed(&t), speed_t(B9600));
        QVERIFY(t.c_iflag & IXON);
    }

    void devicesThatAreNotPorts() {
        protocol::SerialPort s;
        s.OpenPort("/dev/null");
        QCOMPARE(s.ErrorCode, ENOTTY);
        QVERIFY(!s.PortOpen);
        QTemporaryDir dir;
        s.OpenPort((dir.path() + "/absent").toStdString());
        QCOMPARE(s.ErrorText, std::string("No such file or directory"));
    }

    void raiseExceptThrowsWithCodeAndText() {
        PtyPeer peer;
        protocol::SerialPort s;
        openLine(s, peer);
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

    void purgeDropsTheSurplus() {
        PtyPeer peer;
        protocol::SerialPort s;
        openLine(s, peer);
        peer.write(bytes(10));
        std::uint8_t buf[8];
        QCOMPARE(s.ReceiveBytes(buf, 4, 100), 4);
        QVERIFY(!s.LineBuffer.empty());
        s.PurgePort();
        QVERIFY(s.LineBuffer.empty());
        QCOMPARE(s.ReceiveBytes(buf, 4, 30), 0);
    }

    void portListHasRealPortsInNumericOrder() {
        QTemporaryDir root;
        QDir d(root.path());
        d.mkpath("dev");
        auto touch = [&](const QString& rel, const QByteArray& content = {}) {
            QFile f(root.path() + "/" + rel);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        };
        // COM1, COM3 and COM10 have UARTs; COM2 is one of the placeholders Linux always makes.
        for (int n : {0, 1, 2, 9, 31}) {
            touch(QString("dev/ttyS%1").arg(n));
            d.mkpath(QString("sys/ttyS%1").arg(n));
            touch(QString("sys/ttyS%1/type").arg(n), n == 1 || n == 31 ? "0\n" : "4\n");
        }
        for (const char* adapter : {"ttyUSB10", "ttyUSB2", "ttyACM0", "ttyUSBx"}) touch(QString("dev/") + adapter);
        const protocol::PortRoots roots{(root.path() + "/dev").toStdString(), (root.path() + "/sys").toStdString()};
        const std::string dev = roots.dev;
        QCOMPARE(protocol::ListPorts(roots), (std::vector<std::string>{"COM1", "COM3", "COM10", dev + "/ttyACM0",
                                                                       dev + "/ttyUSB2", dev + "/ttyUSB10"}));
        QVERIFY(protocol::ProbePort("COM1:", roots));
        QVERIFY(!protocol::ProbePort("COM2", roots));
        QVERIFY(!protocol::ProbePort("COM4", roots));
        QVERIFY(protocol::ProbePort(dev + "/ttyUSB2", roots));
        QVERIFY(!protocol::ProbePort("", roots));
    }

    // A second program is refused the port: as an ordinary user (the terminal's exclusive mode)
    // and as root too (the lock, which root does not bypass).
    void aSecondProgramIsRefusedThePort() {
        PtyPeer peer;
        protocol::SerialPort first;
        openLine(first, peer);
        const uid_t nobody = 65534;
        for (const bool asRoot : {false, true}) {
            if (asRoot && geteuid() != 0) continue;
            if (!asRoot && geteuid() == 0) QCOMPARE(chown(peer.path().c_str(), nobody, nobody), 0);
            const pid_t child = fork();
            if (child == 0) {
                if (!asRoot && geteuid() == 0 && (setgid(nobody) != 0 || setuid(nobody) != 0)) _exit(2);
                protocol::SerialPort second;
                second.OpenPort(peer.path());
                _exit(second.ErrorCode == EBUSY && !second.PortOpen ? 0 : 1);
            }
            int status = 0;
            QCOMPARE(waitpid(child, &status, 0), child);
            QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0, asRoot ? "as root" : "as a user");
        }
        first.ClosePort(); // and once it is closed, the port is free again
        protocol::SerialPort third;
        third.OpenPort(peer.path());
        QVERIFY(third.PortOpen);
    }

    void failureMessagesSayWhatToDo() {
        QCOMPARE(protocol::OpenFailureMessage(ENOENT, "No such file or directory", "/dev/ttyUSB0"),
                 std::string("No such file or directory\nThere is no port /dev/ttyUSB0: check that the adapter is "
                             "plugged in, then choose its port in SetUp COM."));
        QCOMPARE(protocol::OpenFailureMessage(EBUSY, "Device or resource busy", "/dev/ttyUSB0"),
                 std::string("Device or resource busy\nAnother program is using /dev/ttyUSB0: close it, then "
                             "connect again."));
        QTemporaryDir dir;
        const std::string path = (dir.path() + "/ttyFAKE").toStdString();
        QVERIFY(QFile(QString::fromStdString(path)).open(QIODevice::WriteOnly));
        QCOMPARE(chmod(path.c_str(), 0600), 0);
        const std::string denied = protocol::OpenFailureMessage(EACCES, "Permission denied", path);
        QVERIFY(denied.rfind("Permission denied\n", 0) == 0); // the system's text stays first
        QVERIFY(denied.find("udev rule") != std::string::npos);
    }

    // Only the owner may open it: no group would help, so the message shows the udev rule instead.
    void permissionAdviceForAnOwnerOnlyDevice() {
        QTemporaryDir dir;
        const QString path = dir.path() + "/ttyFAKE";
        QVERIFY(QFile(path).open(QIODevice::WriteOnly));
        QCOMPARE(chmod(path.toLocal8Bit().constData(), 0600), 0);
        const QString advice = QString::fromStdString(protocol::PermissionAdvice(path.toStdString()));
        const QString owner = QString::fromLocal8Bit(getpwuid(geteuid())->pw_name);
        QVERIFY2(advice.startsWith(path + " is open to its owner (" + owner + ") only"), qPrintable(advice));
        QVERIFY2(advice.contains("\n    KERNEL==\"ttyFAKE\", GROUP=\"dialout\", MODE=\"0660\"\n"), qPrintable(advice));
        QVERIFY(!advice.contains("Join the group"));
    }

    void permissionAdviceForAGroupDevice() {
        if (geteuid() != 0) QSKIP("changing a file's group needs root");
        QTemporaryDir dir;
        const QString path = dir.path() + "/ttyFAKE";
        QVERIFY(QFile(path).open(QIODevice::WriteOnly));
        const QByteArray p = path.toLocal8Bit();
        QCOMPARE(chmod(p.constData(), 0660), 0);
        // A group we are not in, that may read and write the device: join it.
        QCOMPARE(chown(p.constData(), 0, 54321), 0);
        const QString join = QString::fromStdString(protocol::PermissionAdvice(path.toStdString()));
        QVERIFY2(join.startsWith("Join the group \"54321\" that owns " + path), qPrintable(join));
        // The same mode but the administrators' group: never advised.
        QCOMPARE(chown(p.constData(), 0, 0), 0);
        const QString root = QString::fromStdString(protocol::PermissionAdvice(path.toStdString()));
        QVERIFY2(root.contains("which no ordinary user should join") && !root.contains("Join the group"),
                 qPrintable(root));
        // The group may only read: joining it would not help either.
        QCOMPARE(chmod(p.constData(), 0640), 0);
        QCOMPARE(chown(p.constData(), 0, 54321), 0);
        QVERIFY(QString::fromStdString(protocol::PermissionAdvice(path.toStdString())).contains("udev rule"));
    }

    void theTerminalMultiplexerIsNoPort() {
        protocol::SerialPort s;
        s.OpenPort("/dev/ptmx");
        QVERIFY(!s.PortOpen);
        QCOMPARE(s.ErrorCode, int(protocol::ErrNotSerialLine));
        QCOMPARE(s.ErrorText, std::string("Not a serial line: the pseudo-terminal multiplexer"));
        QTemporaryDir dir; // nor by another name
        const std::string link = (dir.path() + "/ttyDETECTOR").toStdString();
        QCOMPARE(symlink("/dev/ptmx", link.c_str()), 0);
        s.OpenPort(link);
        QCOMPARE(s.ErrorCode, int(protocol::ErrNotSerialLine));
        QVERIFY(protocol::OpenFailureMessage(s.ErrorCode, s.ErrorText, link).find("hands out new pseudo-terminals") !=
                std::string::npos);
    }
};

QTEST_APPLESS_MAIN(TestSerial)
#include "test_serial.moc"
