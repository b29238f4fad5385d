#include "app/MainWindow.h"

#include "app/About.h"
#include "app/MessageHistory.h"
#include "app/ReturnFreedMemory.h"
#include "commission/Commissioning.h"
#include "config/ConfigFile.h"
#include "config/FileMode.h"
#include "config/ParameterSender.h"
#include "dialogs/FileDialogs.h"
#include "dialogs/UserDialogs.h"
#include "graph/Fonts.h"
#include "graph/GraphPlace.h"
#include "graph/GraphWindow.h"
#include "monitor/EventLog.h"
#include "monitor/LiveMarks.h"
#include "monitor/Siren.h"
#include "remembered/Remembered.h"
#include "seriallink/PortDialog.h"
#include "widgets/Artwork.h"
#include "widgets/ClickThroughGuard.h"
#include "widgets/LevelBar.h"
#include "widgets/NoticeLabel.h"
#include "widgets/PlainText.h"
#include "widgets/SmallStatusBar.h"
#include "widgets/StringGrid.h"
#include "widgets/WindowPlatform.h"

#include <QAbstractScrollArea>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QSettings>
#include <QShortcut>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

namespace app {

namespace {

constexpr int MainClientWidth = 1009;
// How long after the first paint memory freed during the start is given back (the sound module loaded).
constexpr int ReturnFreedMemoryAfterMs = 3000;
constexpr int MainClientHeight = 404;

} // namespace

const QString MainWindow::ChoosePortHint = QStringLiteral("Choose the detector's port: SetUp COM (Alt+T)");

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("Mee"));
    setWindowTitle(QStringLiteral("Ostrevo SetUp"));
    setFont(graph::ProgramFont());

    fadeTimer_ = new QTimer(this);
    fadeTimer_->setObjectName(QStringLiteral("Timer1"));
    fadeTimer_->setInterval(1);
    fadeTimer_->setTimerType(Qt::PreciseTimer);
    connect(fadeTimer_, &QTimer::timeout, this, &MainWindow::fadeStep);
    pollTimer_ = new QTimer(this);
    pollTimer_->setObjectName(QStringLiteral("Timer2"));
    pollTimer_->setInterval(10);
    pollTimer_->setTimerType(Qt::PreciseTimer);
    link_ = new seriallink::PollCycle(*this, pollTimer_, this);

    buildActions();
    buildMenu();
    buildActionBar();

    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("PageControl1"));
    tabs_->setDocumentMode(true);
    auto* viewPage = new QWidget;
    viewPage->setObjectName(QStringLiteral("ViewContent"));
    view::BuildViewPage(viewPage, view_);
    // A click that only brings the window forward changes nothing: no setting, no action of its bars.
    new widgets::ClickThroughGuard({viewPage, menuBar(), findChild<QToolBar*>(QStringLiteral("ActionMainMenuBar1"))});
    // On a screen smaller than the design (a large display scale) the VIEW tab scrolls.
    auto* viewScroll = new QScrollArea;
    viewScroll->setObjectName(QStringLiteral("TabSheet1"));
    viewScroll->setWidgetResizable(true);
    viewScroll->setFrameShape(QFrame::NoFrame);
    viewScroll->setWidget(viewPage);
    auto* logsPage = new QWidget;
    logsPage->setObjectName(QStringLiteral("TabSheet2"));
    buildLogsPage(logsPage);
    tabs_->addTab(viewScroll, QStringLiteral("VIEW"));
    tabs_->addTab(logsPage, QStringLiteral("LOGS"));
    tabs_->setCurrentIndex(0);
    // Below the tabs, the graph when it shows inside the window.
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("CentralArea"));
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    column->addWidget(tabs_, 1);
    graphHost_ = new QWidget(central);
    graphHost_->setObjectName(QStringLiteral("GraphInside"));
    auto* hostLayout = new QHBoxLayout(graphHost_);
    hostLayout->setContentsMargins(0, 0, 0, 0);
    graphHost_->hide();
    column->addWidget(graphHost_, 0);
    setCentralWidget(central);
    connect(tabs_, &QTabWidget::currentChanged, link_, &seriallink::PollCycle::tabChanged);
    connect(tabs_, &QTabWidget::currentChanged, this, &MainWindow::tabShown);
    // Every alarm in sight, whatever the SETUP box shows and whichever tab is up.
    tabs_->setCornerWidget(view::BuildAlarmSummary(tabs_, view_), Qt::TopRightCorner);
    liveMarks_ = std::make_unique<monitor::LiveMarks>(view_);
    liveMarks_->SetLive(false); // nothing has come from a detector yet
    const struct {
        QKeySequence keys;
        int step;
    } tabKeys[] = {{QKeySequence(Qt::CTRL | Qt::Key_Tab), 1},
                   {QKeySequence(Qt::CTRL | Qt::Key_PageDown), 1},
                   {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), -1},
                   {QKeySequence(Qt::CTRL | Qt::Key_PageUp), -1}};
    for (const auto& k : tabKeys)
        connect(new QShortcut(k.keys, this), &QShortcut::activated, tabs_, [this, step = k.step] {
            tabs_->setCurrentIndex((tabs_->currentIndex() + step + tabs_->count()) % tabs_->count());
        });

    buildStatusBar();

    // The parts that give the VIEW and LOGS tabs their life.
    sender_ = new config::ParameterSender(view_, *link_, this);
    sender_->wire(storeAction_);
    sender_->setNotice([this](const QString& text) { ShowNotice(text); });
    readBack_ = std::make_unique<config::ReadBack>(view_, *link_, *sender_);
    configFiles_ = new config::ConfigFiles(this, view_, *link_, *sender_, *readBack_);
    configFiles_->setNotice([this](const QString& text) { ShowNotice(text); });
    connect(openConfigAction_, &QAction::triggered, configFiles_, &config::ConfigFiles::openConfig);
    connect(saveConfigAction_, &QAction::triggered, configFiles_, &config::ConfigFiles::saveConfig);
    connect(compareFilesAction_, &QAction::triggered, configFiles_, &config::ConfigFiles::compareFiles);
    connect(&configFiles_->fileMode(), &config::FileMode::changed, this, &MainWindow::showFileMode);
    connect(sender_, &config::ParameterSender::flashStateChanged, this, &MainWindow::showFlashState);
    wireChanges();
    storeDeadline_ = new QTimer(this);
    storeDeadline_->setSingleShot(true);
    storeDeadline_->setInterval(3000);
    connect(storeDeadline_, &QTimer::timeout, this, [this] {
        if (!leaveAfterStore_) return;
        leaveAfterStore_ = nullptr;
        dialogs::ShowWarning(this, QStringLiteral("The detector did not confirm that it stored its parameters, so "
                                                  "the link was left as it is. Check the link and try again."));
    });
    statusView_ = std::make_unique<monitor::StatusView>(view_, nullptr);
    indicators_ = std::make_unique<monitor::Indicators>(view_, *statusView_, *link_, nullptr);
    // A file open on the controls decides its own noise-reduction mode, whatever a replay shows.
    indicators_->setParameterFlags([this] {
        const config::FileMode& file = configFiles_->fileMode();
        const protocol::params::Record r = file.Active() ? file.Record() : link_->stores().parameters;
        return protocol::params::RecordFlags(r);
    });
    indicators_->setNoiseReductionFollower(
        [this](int pir, bool on) { sender_->FollowDetectorNoiseReduction(pir, on); });
    statusView_->setIndicators(indicators_.get());

    // The design's size is the default and the least; the window may grow and be maximised.
    const QSize design(MainClientWidth, MainClientHeight + menuBar()->sizeHint().height());
    setMinimumSize(design);
    resize(design);
    endProcess_ = [](int code) { QCoreApplication::exit(code); };

    setUpParts();
}

MainWindow::~MainWindow() {
    keepGeometry(); // (ended by a signal, without Exit)
    dialogs::SetWarningRecorder({});
}

void MainWindow::setCompanions(seriallink::PortDialog* portDialog, graph::GraphWindow* graphics) {
    portDialog_ = portDialog;
    graphics_ = graphics;
    statusView_->setGraphics(graphics);
    if (graphics_) {
        graphFlags_ = graphics_->windowFlags();
        graphics_->installEventFilter(this);
        graphics_->contextMenu()->insertAction(graphics_->closeAction(), graphInsideAction_);
    }
    if (!portDialog_) return;
    connect(portDialog_, &seriallink::PortDialog::portChosen, connectAction_, [this] {
        connectAction_->setEnabled(true);
        describedPort_.clear(); // the dialog looked at the ports again
        if (link_->State() != seriallink::LinkState::Polling) showPort();
    });
    // A lost link stops waiting for its old port once another one is chosen with OK.
    connect(portDialog_, &QDialog::accepted, this, [this] {
        const QString chosen = portDialog_->SelectedPort();
        const QString inUse = QString::fromStdString(link_->ConnectedPort());
        const bool waiting = link_->Reconnecting();
        link_->PortChosen(chosen.toStdString());
        // Another port while a link is open takes effect at the next Connect: said, so that nobody believes
        // the detector on the new port is the one answering.
        if (chosen.isEmpty() || chosen == inUse) return;
        if (waiting) ShowNotice(QStringLiteral("The link no longer waits for %1: Connect uses %2.").arg(inUse, chosen));
        else if (link_->LinkActive())
            ShowNotice(QStringLiteral("%1 is used from the next Connect: the link stays on %2 until then.")
                           .arg(chosen, inUse));
    });
}

// Set-up when the window is created: transparent, value labels into their status bars, the log grid.
void MainWindow::setUpParts() {
    SetWindowAlpha(0);
    view_.mw.statusBar->hostLabel(view_.mw.trangeLabel);
    view_.pir1.statusBar->hostLabel(view_.pir1.trangeLabel);
    view_.pir2.statusBar->hostLabel(view_.pir2.trangeLabel);
    view_.ntcStatusBar->hostLabel(view_.temperatureLabel);
    auto* panel = statusPanels_[2];
    auto* hostLayout = new QHBoxLayout(panel);
    hostLayout->setContentsMargins(0, 0, 0, 0);
    hostLayout->addWidget(activityBar_);
    activityBar_->setPosition(0);
    monitor::LabelLogGrid(*eventGrid_);
    monitor::FitLogGrid(*eventGrid_);
    // The siren file is looked for once, now.
    setSiren(new monitor::Siren(this));
}

void MainWindow::setSiren(monitor::Siren* siren) {
    delete siren_;
    siren_ = siren;
    if (siren_) {
        siren_->setParent(this);
        siren_->setObjectName(QStringLiteral("MediaPlayer1"));
        connect(siren_, &monitor::Siren::unavailableNow, this, &MainWindow::ShowNotice);
        connect(siren_, &monitor::Siren::availableAgain, this, [this] {
            if (Notice().startsWith(QLatin1String("The siren is off"))) ShowNotice(QString());
        });
    }
    indicators_->setSiren(siren_);
}

QString MainWindow::programVersion() const {
    return ProgramVersion();
}

void MainWindow::ShowNotice(const QString& text) {
    // The panel shows what fits, ending in "..."; the history keeps it whole, however short its stay.
    notice_->setNotice(text);
    messages_->add(text);
}

void MainWindow::ShowRunningCount(const QString& text, const QString& key) {
    notice_->setNotice(text);
    messages_->add(text, QDateTime::currentDateTime(), key);
}

QString MainWindow::Notice() const {
    return notice_->notice();
}

void MainWindow::showMessages() {
    messages_->show();
    messages_->raise();
    messages_->activateWindow();
    messages_->list->setFocus();
}

void MainWindow::startShowing() {
    fadeIn_ = true;
    fadeAlpha_ = 0;
    fadeClock_.start();
    fadeTimer_->start();
    if (graphics_) graphics_->MoveSweepTo(0);
    link_->DropSettings();
    link_->ArmPoll(protocol::frames::Status, protocol::frames::StatusReplyLength);
}

void MainWindow::paintEvent(QPaintEvent* event) {
    QMainWindow::paintEvent(event);
    // Once this first paint has gone to the screen.
    if (!std::exchange(painted_, true)) QTimer::singleShot(0, this, &MainWindow::afterFirstPaint);
}

void MainWindow::afterFirstPaint() {
    // The window's icon: the installed one (menu entry and icon theme), else the graph's own picture. The
    // icon theme is looked up only now: it takes a few milliseconds, and the title bar shows it as soon.
    if (QApplication::windowIcon().isNull())
        QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("ostrevo-setup"), widgets::ActionIcon(8)));
    for (const auto& [action, image] : std::exchange(iconsFromThemeLater_, {}))
        if (const QIcon themed = widgets::ThemedActionIcon(image); !themed.isNull()) action->setIcon(themed);
    // The siren's sound module, where a siren can sound, loaded in the background for the first alarm.
    if (siren_) siren_->Prepare();
    // What the start-up freed (the window's first pictures, the fonts' tables) goes back to the system.
    QTimer::singleShot(ReturnFreedMemoryAfterMs, this, [] { ReturnFreedMemory(); });
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    // The graph closed (Escape, its pop-up) while inside: its room goes back to the tabs.
    if (graphics_ && watched == graphics_ && !graphics_->isWindow()) {
        if (event->type() == QEvent::HideToParent) fitDockedGraph(false);
        else if (event->type() == QEvent::ShowToParent) fitDockedGraph(true);
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !graphics_ || !graphics_->isVisible()) return;
    // Maximised, the window leaves no room for a graph window beside it: the graph comes inside, and goes
    // out again when the window is restored (after it has its size back).
    if ((isMaximized() || isFullScreen()) && graphics_->isWindow() && !graphInsideChosen_) {
        placeGraph(false);
        graphics_->show();
    } else if (!isMaximized() && !isFullScreen() && graphInsideForRoom_) {
        QTimer::singleShot(0, this, [this] {
            if (!graphInsideForRoom_ || !graphics_->isVisible()) return;
            graphics_->hide();
            undockGraph();
            showGraph();
        });
    }
}

void MainWindow::SetWindowAlpha(int alpha) {
    appliedAlpha_ = alpha;
    // Where the platform has no window opacity the window is simply opaque; the fade still runs.
    static const bool hasOpacity = widgets::PlatformFadesWindows();
    if (hasOpacity) {
        setWindowOpacity(alpha / 255.0);
        // The request must reach the window system now: on X11 it would otherwise wait for the next
        // input event, and a compositing desktop would show a ghost until the mouse moved.
        QGuiApplication::sync();
    }
}

} // namespace app

#include "moc_MainWindow.cpp"
