// The virtual detector inside the program's process (the demo on Windows): its port answers with the line's
// real timing, takes the Demo menu's commands, goes silent and is unplugged as the one on a pseudo-terminal;
// and the demo built on it, through the real window and poll cycle.
#include "GuiTestMain.h"
#include "app/MainWindow.h"
#include "app/Program.h"
#include "app/VirtualDemo.h"
#include "detector/VirtualLine.h"
#include "dialogs/UserDialogs.h"
#include "protocol/Frames.h"
#include "protocol/ParameterBlock.h"
#include "protocol/StatusRecord.h"
#include "seriallink/PortDialog.h"

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <memory>

namespace {

constexpr const char* Name = "Virtual Detector";

std::vector<std::uint8_t> poll(std::uint8_t code) {
    protocol::frames::PollRequest request;
    request.ArmPoll(code, 0);
    return {request.bytes().begin(), request.bytes().end()};
}

struct OpenPort {
    std::shared_ptr<detector::VirtualLine> line = std::make_shared<detector::VirtualLine>();
    detector::VirtualSerialPort port{line, Name};
    OpenPort() {
        port.OpenPort(Name);
        port.ConfigureLine(19200, 8, 'N', 0, false, false);
    }
    // One exchange: the poll out, the reply in (up to length bytes).
    int exchange(std::uint8_t code, int length, std::uint8_t* into, int timeoutMs = 90) {
        const auto request = poll(code);
        port.SendBytes(request.data(), static_cast<int>(request.size()), 200);
        return port.ReceiveBytes(into, length, timeoutMs, 1000);
    }
};

} // namespace

class TestVirtualDetector : public QObject {
    Q_OBJECT
  private slots:
    // Each reply comes whole and well framed, never sooner than the request and the reply take on the
    // line at 19200 baud (ten bits a byte): a status exchange moves 70 bytes, 36.5 ms.
    void repliesComeWithTheLinesTiming() {
        OpenPort p;
        QCOMPARE(p.port.ErrorCode, 0);
        QVERIFY(p.port.PortOpen);
        const struct {
            std::uint8_t code;
            int length;
        } polls[] = {{protocol::frames::ParameterReadBack, protocol::frames::ParameterReplyLength},
                     {protocol::frames::Status, protocol::frames::StatusReplyLength},
                     {protocol::frames::EventLog, protocol::frames::EventLogReplyLength}};
        for (const auto& c : polls) {
            protocol::frames::ReceiveBuffer buffer{};
            QElapsedTimer t;
            t.start();
            QCOMPARE(p.exchange(c.code, c.length, buffer.data()), c.length);
            const qint64 lineUs = (6 + c.length) * 10'000'000LL / 19200;
            QVERIFY2(t.nsecsElapsed() / 1000 >= lineUs, qPrintable(QString::number(t.nsecsElapsed() / 1000)));
            QCOMPARE(p.port.ErrorCode, 0);
            QCOMPARE(protocol::frames::CheckReplyFrame(buffer, c.length), protocol::frames::FrameCheck::Good);
            QCOMPARE(buffer[3], c.code);
        }
        QCOMPARE(p.port.PendingOutput(), 0);
    }

    // A settings frame changes what the detector holds, and its read-back says so.
    void aSettingsFrameIsTakenAndReadBack() {
        OpenPort p;
        protocol::params::Parameters wanted = p.line->model().parameters();
        wanted.channels[0].tconv = 12;
        const auto frame = protocol::params::EncodeSettingsFrame(wanted);
        QCOMPARE(p.port.SendBytes(frame.data(), static_cast<int>(frame.size()), 200), int(frame.size()));
        protocol::frames::ReceiveBuffer buffer{};
        QCOMPARE(p.exchange(protocol::frames::ParameterReadBack, protocol::frames::ParameterReplyLength, buffer.data()),
                 protocol::frames::ParameterReplyLength);
        const auto shown = protocol::params::DecodeBlock(buffer.data() + 4, protocol::params::PwmOrder::LowFirst);
        QCOMPARE(shown.channels[0].tconv, 12);
    }

    // The commands the Demo menu sends: the world changes at once, silence lets an exchange time out, an
    // unplugged adapter takes the port away (open, present, a port opened before it stays dead after it)
    // until it is back; anything else is an unknown command.
    void theDemoMenusCommands() {
        OpenPort p;
        QCOMPARE(p.line->Command("tamper on"), std::string("ok tamper on"));
        protocol::frames::ReceiveBuffer buffer{};
        QCOMPARE(p.exchange(protocol::frames::Status, protocol::frames::StatusReplyLength, buffer.data()), 64);
        QVERIFY(protocol::DecodeStatus(buffer.data() + 4).alarmFlags & (1u << protocol::AlarmTamper));
        QCOMPARE(p.line->Command("fault mw on"), std::string("ok fault mw on"));
        QCOMPARE(p.line->Command("fault sideways on"), std::string("unknown command: fault sideways on"));
        QCOMPARE(p.line->Command("dance"), std::string("unknown command: dance"));

        QCOMPARE(p.line->Command("silent 300"), std::string("ok silent 300"));
        QCOMPARE(p.exchange(protocol::frames::Status, 64, buffer.data(), 50), 0);
        QCOMPARE(p.port.ErrorCode, protocol::ErrTimeout);
        QTRY_COMPARE_WITH_TIMEOUT(p.exchange(protocol::frames::Status, 64, buffer.data(), 50), 64, 2000);

        QCOMPARE(p.line->Command("unplug 300"), std::string("ok unplug 300"));
        QCOMPARE(p.exchange(protocol::frames::Status, 64, buffer.data(), 50), 0);
        QCOMPARE(p.port.ErrorCode, protocol::SerialPort::DeviceGoneError());
        QVERIFY(!p.port.DevicePresent(Name));
        detector::VirtualSerialPort second(p.line, Name);
        second.OpenPort(Name);
        QVERIFY(!second.PortOpen);
        QCOMPARE(second.ErrorCode, protocol::SerialPort::NoSuchPortError());
        QTRY_VERIFY_WITH_TIMEOUT(p.port.DevicePresent(Name), 2000);
        QCOMPARE(p.exchange(protocol::frames::Status, 64, buffer.data(), 50), 0); // the old port is dead
        p.port.ClosePort();
        p.port.OpenPort(Name);
        QCOMPARE(p.exchange(protocol::frames::Status, 64, buffer.data()), 64);
    }

    // Any other name is the platform's own port.
    void otherNamesAreRealPorts() {
        OpenPort p;
        detector::VirtualSerialPort other(p.line, Name);
        other.OpenPort("COM201");
        QVERIFY(!other.PortOpen);
        QCOMPARE(other.ErrorCode, protocol::SerialPort::NoSuchPortError());
    }

    // The whole program with the demo: the virtual port chosen and connected by itself, the detector
    // answering the polls; the Demo menu lights the tamper lamp; "Silent for 3 s" ends in "Error Time Out".
    void theDemoThroughTheWindow() {
        QTemporaryDir logs;
        std::vector<QString> messages;
        const auto previous = dialogs::SetMessageHandler([&](QWidget*, const QString& t) { messages.push_back(t); });
        {
            app::Program program(app::VirtualDemo::Roots({"/nonexistent", "/nonexistent"}));
            app::MainWindow& window = program.mainWindow();
            window.setErrorLogFolder(logs.path().toStdString());
            window.setEndProcess([](int) {});
            app::VirtualDemo demo;
            demo.Attach(window, program.portDialog());
            QVERIFY(program.portDialog().portCombo()->findData(QString(Name)) >= 0); // listed
            window.show();
            QTRY_VERIFY_WITH_TIMEOUT(window.link().counters().GoodReplies >= 20, 5000);
            QCOMPARE(program.portDialog().SelectedPort(), QString(Name));
            auto* tamper = window.menuBar()->findChild<QAction*>("DemoTamper");
            QVERIFY(tamper);
            tamper->trigger();
            QTRY_VERIFY_WITH_TIMEOUT(protocol::DecodeStatus(window.link().stores().status.data()).alarmFlags &
                                         (1u << protocol::AlarmTamper),
                                     3000);
            QVERIFY(window.Notice().contains("Virtual detector: tamper on"));
            window.menuBar()->findChild<QAction*>("DemoSilence")->trigger();
            QTRY_VERIFY_WITH_TIMEOUT(!messages.empty(), 5000);
            QVERIFY2(messages.front().startsWith("Error Time Out"), qPrintable(messages.front()));
            QCOMPARE(window.link().State(), seriallink::LinkState::Halted);
            window.exitAction()->trigger();
        }
        dialogs::SetMessageHandler(previous);
        QFile log(logs.filePath("LogError.txt"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(log.readAll().contains("message: Timeout during operation"));
    }
};

OSTREVO_GUI_TEST_MAIN(TestVirtualDetector)
#include "test_virtual_detector.moc"
