// Measures how long a new alarm takes to reach the screen: from the first byte of the first status
// reply that carries it leaving the virtual detector to the paint of its lamp in the alarm summary,
// through the real main window, poll cycle and serial layer. The detector's model answers from a thread
// of this process, on a pseudo-terminal, its bytes paced at 19200 baud as on the line, so that both ends
// read one clock. Run on a real X server by scripts/bench (offscreen unless QT_QPA_PLATFORM says otherwise).
#include "CommandReader.h"
#include "DetectorModel.h"
#include "ReplyWriter.h"
#include "app/MainWindow.h"
#include "app/Program.h"
#include "dialogs/UserDialogs.h"
#include "graph/Fonts.h"
#include "graph/GraphWindow.h"
#include "seriallink/PortDialog.h"
#include "widgets/Lamp.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QGuiApplication>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <random>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto ByteTime = std::chrono::nanoseconds(1'000'000'000 / 1920); // 10 bits at 19200 baud

std::int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

// The detector's side: answers polls from its model; its tamper comes on for a while, now and then.
// When a status reply is the first to carry the tamper after one without, the time its first byte
// leaves goes to alarmSentNs.
class PacedDetector {
  public:
    PacedDetector() {
        termios raw{};
        cfmakeraw(&raw);
        char name[128] = {};
        if (::openpty(&master_, &slave_, name, &raw, nullptr) != 0) return;
        path_ = name;
        ::fcntl(master_, F_SETFL, O_NONBLOCK);
        model_.intruderPeriod = 0; // only the tamper lights anything
    }
    ~PacedDetector() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (master_ >= 0) ::close(master_);
        if (slave_ >= 0) ::close(slave_);
    }
    const std::string& path() const { return path_; }
    void start() {
        thread_ = std::thread([this] { run(); });
    }

    std::atomic<std::int64_t> alarmSentNs{0};
    std::atomic<bool> lampLit{false}; // the program's lamp shows the tamper: the detector may clear it

  private:
    void run() {
        const auto start = Clock::now();
        std::mt19937 random(7);
        auto seconds = [&] { return std::chrono::duration<double>(Clock::now() - start).count(); };
        auto nowMs = [&] { return static_cast<std::int64_t>(seconds() * 1000); };
        Clock::time_point nextChange = Clock::now() + std::chrono::milliseconds(800);
        bool lastCarried = false;
        while (!stop_) {
            // The tamper comes on at a random moment, and goes off once the program has shown it.
            if (!model_.conditions.tamper && Clock::now() >= nextChange) {
                model_.conditions.tamper = true;
            } else if (model_.conditions.tamper && lampLit.exchange(false)) {
                model_.conditions.tamper = false;
                nextChange = Clock::now() + std::chrono::milliseconds(150 + random() % 250);
            }
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, 2) <= 0) continue;
            std::uint8_t buf[256];
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n <= 0) continue;
            const auto arrived = Clock::now();
            reader_.feed(buf, static_cast<std::size_t>(n), nowMs());
            while (auto frame = reader_.next(nowMs())) {
                const std::uint8_t code = (*frame)[3];
                if (code == protocol::frames::Settings && frame->size() == 46) {
                    model_.ApplySettings(frame->data() + 4);
                    continue;
                }
                const auto payload = model_.Answer(code, seconds());
                if (!payload || frame->size() != 6) continue;
                const bool carries = code == protocol::frames::Status && model_.conditions.tamper;
                // The poll took its time on the line before the detector can answer.
                send(ReplyWriter::Frame(code, *payload), arrived + ByteTime * static_cast<long>(frame->size()),
                     carries && !lastCarried);
                if (code == protocol::frames::Status) lastCarried = carries;
            }
        }
    }

    // A byte reaches the program once its ten bits have crossed the line, a byte time after it began.
    void send(const std::vector<std::uint8_t>& bytes, Clock::time_point at, bool markFirstByte) {
        if (markFirstByte)
            alarmSentNs = std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch()).count();
        for (std::size_t i = 0; i < bytes.size() && !stop_; ++i) {
            std::this_thread::sleep_until(at + ByteTime * static_cast<long>(i + 1));
            while (::write(master_, &bytes[i], 1) != 1 && !stop_) {
                pollfd p{master_, POLLOUT, 0};
                ::poll(&p, 1, 10);
            }
        }
    }

    int master_ = -1, slave_ = -1;
    std::string path_;
    DetectorModel model_;
    CommandReader reader_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
};

// Takes the time of the first paint of the lamp that shows it lit, for each alarm sent.
class LampWatch : public QObject {
  public:
    LampWatch(widgets::Lamp* lamp, PacedDetector& detector) : lamp_(lamp), detector_(detector) {}
    std::vector<double> latenciesMs;
    int late = 0; // paints later than a second: an alarm missed

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == lamp_ && event->type() == QEvent::Paint && lamp_->brushColor() != QColor(128, 128, 128)) {
            const std::int64_t sent = detector_.alarmSentNs.exchange(0);
            if (sent != 0) {
                const double ms = (nowNs() - sent) / 1e6;
                if (ms < 1000) latenciesMs.push_back(ms);
                else ++late;
                detector_.lampLit = true;
            }
        }
        return false;
    }

  private:
    widgets::Lamp* lamp_;
    PacedDetector& detector_;
};

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    const auto at = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(at, v.size() - 1)];
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    graph::RegisterProgramFonts();
    graph::UseProgramFont();
    const int alarms = argc > 1 ? std::max(10, std::atoi(argv[1])) : 200;

    PacedDetector detector;
    if (detector.path().empty()) {
        std::fprintf(stderr, "no pseudo-terminal for the virtual detector\n");
        return 1;
    }
    std::vector<QString> messages;
    dialogs::SetMessageHandler([&](QWidget*, const QString& t) { messages.push_back(t); });
    app::Program program;
    app::MainWindow& mainWindow = program.mainWindow();
    seriallink::PortDialog& portDialog = program.portDialog();
    mainWindow.setEndProcess([](int) {});
    widgets::Lamp* lamp = mainWindow.view().summary[view::SummaryTamper];
    LampWatch watch(lamp, detector);
    lamp->installEventFilter(&watch);
    mainWindow.show();
    mainWindow.showGraph(); // both windows shown, as an installer watches
    detector.start();
    portDialog.portCombo()->setEditText(QString::fromStdString(detector.path()));
    mainWindow.connectAction()->trigger();

    QTimer check;
    check.setInterval(50);
    QObject::connect(&check, &QTimer::timeout, &app, [&] {
        if (static_cast<int>(watch.latenciesMs.size()) >= alarms || !messages.empty()) QCoreApplication::exit(0);
    });
    check.start();
    QTimer::singleShot(alarms * 2000 + 10000, &app, [] { QCoreApplication::exit(0); }); // however it goes
    app.exec();
    mainWindow.link().Disconnect();
    if (!messages.empty()) {
        std::fprintf(stderr, "polling stopped: %s\n", qPrintable(messages.front()));
        return 1;
    }
    if (watch.latenciesMs.empty()) {
        std::fprintf(stderr, "no alarm reached the screen\n");
        return 1;
    }
    const qreal scale = mainWindow.devicePixelRatioF();
    const bool x11 = QGuiApplication::platformName() == QLatin1String("xcb");
    const QString platform = (x11 ? QStringLiteral("X11") : QGuiApplication::platformName()) +
                             (scale != 1 ? QStringLiteral(" at display scale %1").arg(scale) : QString());
    const double period = 10.0 + 70 * 10 / 19.2; // the pause and 70 bytes on the wire, ms
    std::printf("a new alarm from the detector's first byte to its lamp's paint, %s, %zu alarms:\n",
                qPrintable(platform), watch.latenciesMs.size());
    const double median = percentile(watch.latenciesMs, 0.5), wire = 64 * 10 / 19.2;
    std::printf("  median %.1f ms: %.1f ms for the status reply on the wire, %.1f ms in the program\n", median, wire,
                median - wire);
    std::printf("  99th percentile %.1f ms (target: at most %.1f ms, one poll period plus 10 ms)%s\n",
                percentile(watch.latenciesMs, 0.99), period + 10,
                watch.late ? qPrintable(QStringLiteral("; %1 later than a second").arg(watch.late)) : "");
    return 0;
}
