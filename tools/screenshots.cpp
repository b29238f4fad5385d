// Renders the program's windows to PNG files (offscreen), so that they can be looked at anywhere.
#include "app/MainWindow.h"
#include "app/Program.h"
#include "commission/Commissioning.h"
#include "commission/Replay.h"
#include "commission/Report.h"
#include "commission/ReportNotice.h"
#include "commission/ReviewWindow.h"
#include "commission/ThresholdSuggestions.h"
#include "commission/WalkRecording.h"
#include "dialogs/FileDialogs.h"
#include "dialogs/UserDialogs.h"
#include "graph/Fonts.h"
#include "graph/GraphWindow.h"
#include "seriallink/PortDialog.h"
#include "widgets/TrackBar.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QLineEdit>
#include <QPainter>
#include <QProcess>
#include <QScrollArea>
#include <QStyle>
#include <QStyleOptionTitleBar>
#include <QTabWidget>
#include <QTextDocument>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <memory>

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
    graph::RegisterProgramFonts();
    graph::UseProgramFont();
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    QDir().mkpath(out);

    app::Program program;
    app::MainWindow& mainWindow = program.mainWindow();
    seriallink::PortDialog& portDialog = program.portDialog();
    graph::GraphWindow& graphics = program.graphWindow();
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
    mainWindow.tabs()->setCurrentIndex(1);
    app.processEvents();
    ok = save(mainWindow, "main-logs.png") && ok;
    mainWindow.tabs()->setCurrentIndex(0);
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
    app::MainWindow live;
    live.setEndProcess([](int) {});
    graph::GraphWindow liveGraph(&live);
    live.setCompanions(&portDialog, &liveGraph);
    live.show();
    liveGraph.show();
    portDialog.portCombo()->setEditText(port);
    live.connectAction()->trigger();
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
    live.tabs()->setCurrentIndex(1);
    runFor(500);
    ok = save(live, "live-logs.png") && ok;
    live.tabs()->setCurrentIndex(0);

    // The commissioning commands: a walk test recorded with its marks (a quiet stretch, three passes, a
    // look at the LOGS tab), the installation report with its pass table, the walk replayed.
    QString chosen;
    dialogs::SetFileDialogHandler(
        [&](QWidget*, dialogs::FileDialogKind, const QString&, const QString&) { return chosen; });
    commission::Commissioning& c = live.commissioning();
    c.AskReportDetails = [](QString& site, QString& installer, QString& note) {
        site = QStringLiteral("Warehouse North, gate 2");
        installer = QStringLiteral("A. Installer");
        note = QStringLiteral("Walk test passed at 5, 10 and 15 m.");
        return true;
    };
    command("tamper off");
    command("fault mw off");
    command("periodic-walk off");
    runFor(2500); // the last walk over, the outputs off
    liveGraph.clearGraph();
    chosen = out + QStringLiteral("/walk.csv");
    c.recordAction()->trigger();
    commission::WalkRecording& walk = c.walkRecording();
    c.markQuietAction()->trigger();
    runFor(2500);
    const char* const notes[] = {"5 m, left to right", "10 m, right to left", "15 m, left to right"};
    for (int pass = 0; pass < 3; ++pass) {
        walk.noteEdit()->setText(QString::fromLatin1(notes[pass]));
        c.markPassAction()->trigger();
        const char* const walks[] = {"intruder 100", "intruder 80", "intruder 60"}; // farther and farther
        command(walks[pass]);
        runFor(pass == 1 ? 1500 : 3200);
        if (pass == 1) { // a look at the event memory in the middle of a walk
            live.tabs()->setCurrentIndex(1);
            runFor(1200);
            live.tabs()->setCurrentIndex(0);
            runFor(1800);
        }
        c.endMarkAction()->trigger();
        runFor(600);
        if (pass == 1) {
            walk.noteEdit()->setText(QStringLiteral("15 m, left to right"));
            ok = save(live, "live-recording.png") && ok; // the marks' bar, a note typed
        }
    }
    // The tamper test: the detector's cover opened for a second.
    command("tamper on");
    runFor(1200);
    command("tamper off");
    runFor(800);
    c.recordAction()->trigger();
    chosen = out + QStringLiteral("/report.pdf");
    c.reportAction()->trigger();
    for (int waited = 0; waited < 20000 && !c.reportNotice()->isVisible(); waited += 100) runFor(100);
    ok = save(live, "report-notice.png") && ok;
    std::printf("%s\n%s\n", qPrintable(out + QStringLiteral("/walk.csv")), qPrintable(chosen));
    // The report's first page as a picture (where poppler's pdftoppm is there).
    if (QProcess::execute(QStringLiteral("pdftoppm"),
                          {QStringLiteral("-r"), QStringLiteral("80"), QStringLiteral("-png"),
                           QStringLiteral("-singlefile"), chosen, out + QStringLiteral("/report-page1")}) == 0)
        std::printf("%s\n", qPrintable(out + QStringLiteral("/report-page1.png")));
    // The walk reviewed: the whole of it, then its first pass close up, the cursor on its peak.
    {
        commission::ReviewWindow& review = c.review();
        review.resize(1000, 600);
        review.OpenRecording(out + QStringLiteral("/walk.csv"));
        review.show();
        for (int waited = 0; waited < 10000 && !review.recording()->progress().complete; waited += 100) runFor(100);
        runFor(200);
        ok = save(review, "review.png") && ok;
        const commission::WalkSegment& first = walk.Walk().Segments()[1];
        review.plot()->ShowStretch(first.startMs - 2000, first.endMs + 2000);
        runFor(500);
        review.plot()->setCursorColumn(review.plot()->Columns() * 2 / 5);
        runFor(100);
        ok = save(review, "review-pass.png") && ok;
        review.close();
    }
    chosen = out + QStringLiteral("/site.bin"); // the detector's set, for file mode below
    live.saveConfigAction()->trigger();
    {
        // The report's walk test, as its PDF shows it.
        commission::ReportContents r;
        r.walkFile = QStringLiteral("walk.csv");
        r.walk = walk.Walk();
        QTextDocument doc;
        doc.setDefaultStyleSheet(commission::ReportStyleSheet());
        doc.setHtml(QStringLiteral("<html><body>") + commission::WalkHtml(r) + QStringLiteral("</body></html>"));
        doc.setTextWidth(760);
        QImage page(QSize(780, static_cast<int>(doc.size().height()) + 20), QImage::Format_RGB32);
        page.fill(Qt::white);
        QPainter painter(&page);
        painter.translate(10, 10);
        doc.drawContents(&painter);
        painter.end();
        const QString path = out + QStringLiteral("/pass-table.png");
        if (page.save(path)) std::printf("%s\n", qPrintable(path));
        else ok = false;
    }
    // The thresholds the walk suggests, for the detector still connected.
    c.suggestions().ShowSuggestions = [&](const commission::SuggestionView& view, std::array<bool, 3>&) {
        const std::unique_ptr<QDialog> dialog(commission::ThresholdSuggestions::MakeDialog(&live, view));
        dialog->show();
        app.processEvents();
        ok = save(*dialog, "suggest-thresholds.png") && ok;
        return false;
    };
    c.suggestions().SuggestFrom(out + QStringLiteral("/walk.csv"));
    runFor(1000);
    live.connectAction()->trigger(); // Disconnect
    chosen = out + QStringLiteral("/walk.csv");
    c.replayAction()->trigger();
    c.replayer().setSpeed(4);
    runFor(3000);
    c.replayer().setPaused(true);
    // On to the end of the third pass: the graph shows the replies before it, with its marks.
    c.replayer().Seek(walk.Walk().Segments()[3].startMs + 3000);
    runFor(300);
    ok = save(live, "replay-controls.png") && ok;
    ok = save(liveGraph, "replay-graph.png") && ok;
    c.replayer().setPaused(false);
    runFor(6000); // to the end: the picture stays
    ok = save(live, "replay-ended.png") && ok;

    // File mode: the saved set opened without a detector, a threshold changed and not saved yet.
    chosen = out + QStringLiteral("/site.bin");
    mainWindow.openConfigAction()->trigger();
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
