// Renders the program's windows to PNG files (offscreen), so that they can be looked at anywhere.
#include "app/MainWindow.h"
#include "commission/Commissioning.h"
#include "dialogs/FileDialogs.h"
#include "dialogs/UserDialogs.h"
#include "graph/Fonts.h"
#include "graph/GraphWindow.h"
#include "link/PortDialog.h"
#include "widgets/TrackBar.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QPainter>
#include <QProcess>
#include <QScrollArea>
#include <QStyle>
#include <QStyleOptionTitleBar>
#include <QTabWidget>
#include <QTimer>
#include <cmath>
#include <cstdio>

namespace {

// The window with a title bar drawn by the style above it: an offscreen window has no frame, and
// the title says what the window shows (file mode).
QPixmap withTitleBar(QWidget& w) {
    const QPixmap body = w.grab();
    QStyleOptionTitleBar bar;
    bar.initFrom(&w);
    bar.text = QString(w.windowTitle()).replace(QStringLiteral("[*]"), w.isWindowModified() ? "*" : "");
    bar.icon = w.windowIcon();
    bar.state |= QStyle::State_Active;
    bar.titleBarState = Qt::WindowActive;
    bar.titleBarFlags = Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                        Qt::WindowCloseButtonHint;
    const int height = w.style()->pixelMetric(QStyle::PM_TitleBarHeight, &bar, &w);
    bar.rect = QRect(0, 0, body.width(), height);
    QPixmap out(body.width(), body.height() + height);
    out.fill(Qt::white);
    QPainter p(&out);
    w.style()->drawComplexControl(QStyle::CC_TitleBar, &bar, &p, &w);
    p.drawPixmap(0, height, body);
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    RegisterProgramFonts();
    UseProgramFont();
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    QDir().mkpath(out);

    MainWindow mainWindow;
    PortDialog portDialog(&mainWindow);
    GraphWindow graphics(&mainWindow);
    mainWindow.setCompanions(&portDialog, &graphics);
    mainWindow.show();
    app.processEvents();

    auto save = [&](QWidget& w, const char* name) {
        const QString path = out + QLatin1Char('/') + QString::fromLatin1(name);
        if (!w.grab().save(path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return false;
        }
        std::printf("%s\n", qPrintable(path));
        return true;
    };
    bool ok = save(mainWindow, "main-view.png");
    // The SETUP box scrolls: its whole content, as it would show scrolled through.
    if (auto* setup = mainWindow.findChild<QScrollArea*>(QStringLiteral("ScrollBox_Setup")))
        ok = save(*setup->widget(), "setup-box.png") && ok;
    mainWindow.tabs->setCurrentIndex(1);
    app.processEvents();
    ok = save(mainWindow, "main-logs.png") && ok;
    mainWindow.tabs->setCurrentIndex(0);
    portDialog.show();
    app.processEvents();
    ok = save(portDialog, "com-setup.png") && ok;
    // A few hundred synthetic replies: a walker crossing the three beams, on a noisy floor.
    graphics.show();
    app.processEvents();
    for (int i = 0; i < 700; ++i) {
        auto wave = [&](int centre, int height) {
            const double d = (i - centre) / 25.0;
            return static_cast<std::uint16_t>(40 + 15 * std::sin(i * 0.9) + height * std::exp(-d * d));
        };
        graphics.FeedStatus({{{wave(200, 620), 600}, {wave(260, 700), 560}, {wave(320, 540), 640}}});
    }
    app.processEvents();
    ok = save(graphics, "graph.png") && ok;
    if (argc < 3) return ok ? 0 : 1;

    // Live, against the virtual detector: a walk past it, then the tamper and a fault as well.
    QProcess sim;
    sim.start(QString::fromLocal8Bit(argv[2]), {QStringLiteral("--intruder-every"), QStringLiteral("6")});
    if (!sim.waitForStarted(5000) || !sim.waitForReadyRead(5000)) {
        std::fprintf(stderr, "the virtual detector did not start\n");
        return 1;
    }
    const QString port = QString::fromUtf8(sim.readLine()).trimmed();
    auto command = [&](const char* line) {
        sim.write(QByteArray(line) + '\n');
        sim.waitForBytesWritten(1000);
    };
    auto runFor = [](int ms) {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    };
    dialogs::SetMessageHandler([](QWidget*, const QString& t) { std::fprintf(stderr, "%s\n", qPrintable(t)); });
    MainWindow live;
    live.setEndProcess([](int) {});
    GraphWindow liveGraph(&live);
    live.setCompanions(&portDialog, &liveGraph);
    live.show();
    liveGraph.show();
    portDialog.portCombo->setEditText(port);
    live.connectAction->trigger();
    runFor(30000); // a few walks sweep across the graph
    command("intruder");
    runFor(1000); // the walker in the microwave field
    ok = save(live, "live-intrusion.png") && ok;
    ok = save(liveGraph, "live-graph.png") && ok;
    command("tamper on");
    command("fault mw on");
    command("intruder");
    runFor(2600); // all three beams crossed: the AND output is on
    ok = save(live, "live-alarms.png") && ok;
    if (auto* setup = live.findChild<QScrollArea*>(QStringLiteral("ScrollBox_Setup")))
        ok = save(*setup->widget(), "live-alarms-setup.png") && ok;
    // Maximised on a full-HD screen: the SETUP box whole, its groups side by side.
    const QSize designSize = live.size();
    live.resize(1920, 1040);
    runFor(600);
    ok = save(live, "live-maximised.png") && ok;
    live.resize(designSize);
    runFor(200);
    live.tabs->setCurrentIndex(1);
    runFor(500);
    ok = save(live, "live-logs.png") && ok;
    live.tabs->setCurrentIndex(0);

    // The commissioning commands: a recorded walk, the installation report, the walk replayed.
    QString chosen;
    dialogs::SetFileDialogHandler(
        [&](QWidget*, dialogs::FileDialogKind, const QString&, const QString&) { return chosen; });
    Commissioning& c = live.commissioning();
    c.AskReportDetails = [](QString& site, QString& installer, QString& note) {
        site = QStringLiteral("Warehouse North, gate 2");
        installer = QStringLiteral("A. Installer");
        note = QStringLiteral("Walk test passed at 5, 10 and 15 m.");
        return true;
    };
    command("tamper off");
    command("fault mw off");
    chosen = out + QStringLiteral("/walk.csv");
    c.recordAction->trigger();
    command("intruder");
    runFor(4000);
    c.recordAction->trigger();
    chosen = out + QStringLiteral("/report.pdf");
    c.reportAction->trigger();
    runFor(1000);
    std::printf("%s\n%s\n", qPrintable(out + QStringLiteral("/walk.csv")), qPrintable(chosen));
    chosen = out + QStringLiteral("/site.bin"); // the detector's set, for file mode below
    live.saveConfigAction->trigger();
    live.connectAction->trigger(); // Disconnect
    liveGraph.clearGraph();
    chosen = out + QStringLiteral("/walk.csv");
    c.replayAction->trigger();
    runFor(3500); // (before the end of the walk: a replay that ends empties the view)
    ok = save(liveGraph, "replay-graph.png") && ok;

    // File mode: the saved set opened without a detector, a threshold changed and not saved yet.
    chosen = out + QStringLiteral("/site.bin");
    mainWindow.openConfigAction->trigger();
    mainWindow.view().mw.threshold->setValue(mainWindow.view().mw.threshold->value() - 40);
    app.processEvents();
    {
        const QString path = out + QStringLiteral("/file-mode.png");
        ok = withTitleBar(mainWindow).save(path) && ok;
        std::printf("%s\n", qPrintable(path));
    }
    live.exitProgram();
    sim.terminate();
    sim.waitForFinished(3000);
    return ok ? 0 : 1;
}
