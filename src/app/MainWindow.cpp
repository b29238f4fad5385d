#include "app/MainWindow.h"

#include "app/About.h"
#include "app/MessageHistory.h"
#include "commission/Commissioning.h"
#include "config/ConfigFile.h"
#include "config/FileMode.h"
#include "config/Settings.h"
#include "dialogs/FileDialogs.h"
#include "dialogs/UserDialogs.h"
#include "graph/Fonts.h"
#include "graph/GraphPlace.h"
#include "graph/GraphWindow.h"
#include "link/PortDialog.h"
#include "monitor/EventLog.h"
#include "monitor/LiveMarks.h"
#include "monitor/Siren.h"
#include "remembered/Remembered.h"
#include "widgets/Artwork.h"
#include "widgets/LevelBar.h"
#include "widgets/NoticeLabel.h"
#include "widgets/PlainText.h"
#include "widgets/SmallStatusBar.h"
#include "widgets/StringGrid.h"
#include "widgets/WindowPlatform.h"

#include <malloc.h>

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

namespace {

constexpr int MainClientWidth = 1009;
// How long after the first paint memory freed during the start is given back (the sound module loaded).
constexpr int ReturnFreedMemoryAfterMs = 3000;
constexpr int MainClientHeight = 404;
const QString ChoosePortHint = QStringLiteral("Choose the detector's port: SetUp COM (Alt+T)");

// The off-screen platforms have no real screen, only a made-up size: nothing is placed by it there.
bool realScreen() {
    static const bool real =
        !QStringList{QStringLiteral("offscreen"), QStringLiteral("minimal")}.contains(QGuiApplication::platformName());
    return real;
}

// A caption with its mnemonic put back in front of the given letter, if the caption has it.
QString withMnemonic(const QString& caption, QChar letter) {
    if (letter.isNull() || caption.contains(QLatin1Char('&'))) return caption;
    const int at = static_cast<int>(caption.indexOf(letter, 0, Qt::CaseInsensitive));
    if (at < 0) return caption;
    QString s = caption;
    s.insert(at, QLatin1Char('&'));
    return s;
}

QChar mnemonicLetter(const QString& caption) {
    const int at = static_cast<int>(caption.indexOf(QLatin1Char('&')));
    return at >= 0 && at + 1 < caption.size() ? caption[at + 1] : QChar();
}

// A menu item bound to an action: it shows the action's caption (with its own mnemonic letter, when
// given) and enabled state and runs it. Its own enabled state can still be set directly until the
// action's next change.
QAction* bindItem(QWidget* owner, const char* name, QAction* action, QChar letter = QChar()) {
    auto* item = new QAction(owner);
    item->setObjectName(QString::fromLatin1(name));
    auto sync = [item, action, letter] {
        const QString shortcut = action->shortcut().toString(QKeySequence::NativeText);
        const QString caption = withMnemonic(action->text(), letter);
        item->setText(shortcut.isEmpty() ? caption : caption + QLatin1Char('\t') + shortcut);
        item->setEnabled(action->isEnabled());
    };
    sync();
    QObject::connect(action, &QAction::changed, item, sync);
    QObject::connect(item, &QAction::triggered, action, [action] { action->trigger(); });
    return item;
}

} // namespace

QRect PlaceOnScreen(const QRect& area, const QSize& wanted, const QSize& least, const QSize& frame) {
    const QSize room = area.size() - frame;
    const QSize size = wanted.expandedTo(least).boundedTo(room);
    const QSize whole = size + frame;
    // Centred; where it is as large as the screen, its title bar and menu stay on it.
    const int x = area.left() + std::max(0, (area.width() - whole.width()) / 2);
    const int y = area.top() + std::max(0, (area.height() - whole.height()) / 2);
    return QRect(QPoint(x, y) + QPoint(frame.width() / 2, frame.height() - frame.width() / 2), size);
}

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("Mee"));
    setWindowTitle(QStringLiteral("Ostrevo SetUp"));
    setFont(ProgramFont());

    fadeTimer = new QTimer(this);
    fadeTimer->setObjectName(QStringLiteral("Timer1"));
    fadeTimer->setInterval(1);
    fadeTimer->setTimerType(Qt::PreciseTimer);
    connect(fadeTimer, &QTimer::timeout, this, &MainWindow::fadeStep);
    pollTimer = new QTimer(this);
    pollTimer->setObjectName(QStringLiteral("Timer2"));
    pollTimer->setInterval(10);
    pollTimer->setTimerType(Qt::PreciseTimer);
    link_ = new PollCycle(*this, pollTimer, this);

    buildActions();
    buildMenu();
    buildActionBar();

    tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("PageControl1"));
    tabs->setDocumentMode(true);
    auto* viewPage = new QWidget;
    viewPage->setObjectName(QStringLiteral("ViewContent"));
    BuildViewPage(viewPage, view_);
    // On a screen smaller than the design (a large display scale) the VIEW tab scrolls.
    auto* viewScroll = new QScrollArea;
    viewScroll->setObjectName(QStringLiteral("TabSheet1"));
    viewScroll->setWidgetResizable(true);
    viewScroll->setFrameShape(QFrame::NoFrame);
    viewScroll->setWidget(viewPage);
    auto* logsPage = new QWidget;
    logsPage->setObjectName(QStringLiteral("TabSheet2"));
    buildLogsPage(logsPage);
    tabs->addTab(viewScroll, QStringLiteral("VIEW"));
    tabs->addTab(logsPage, QStringLiteral("LOGS"));
    tabs->setCurrentIndex(0);
    // Below the tabs, the graph when it shows inside the window.
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("CentralArea"));
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    column->addWidget(tabs, 1);
    graphHost_ = new QWidget(central);
    graphHost_->setObjectName(QStringLiteral("GraphInside"));
    auto* hostLayout = new QHBoxLayout(graphHost_);
    hostLayout->setContentsMargins(0, 0, 0, 0);
    graphHost_->hide();
    column->addWidget(graphHost_, 0);
    setCentralWidget(central);
    connect(tabs, &QTabWidget::currentChanged, link_, &PollCycle::tabChanged);
    connect(tabs, &QTabWidget::currentChanged, this, &MainWindow::tabShown);
    // Every alarm in sight, whatever the SETUP box shows and whichever tab is up.
    tabs->setCornerWidget(BuildAlarmSummary(tabs, view_), Qt::TopRightCorner);
    liveMarks_ = std::make_unique<LiveMarks>(view_);
    liveMarks_->SetLive(false); // nothing has come from a detector yet
    const struct {
        QKeySequence keys;
        int step;
    } tabKeys[] = {{QKeySequence(Qt::CTRL | Qt::Key_Tab), 1},
                   {QKeySequence(Qt::CTRL | Qt::Key_PageDown), 1},
                   {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), -1},
                   {QKeySequence(Qt::CTRL | Qt::Key_PageUp), -1}};
    for (const auto& k : tabKeys)
        connect(new QShortcut(k.keys, this), &QShortcut::activated, tabs, [this, step = k.step] {
            tabs->setCurrentIndex((tabs->currentIndex() + step + tabs->count()) % tabs->count());
        });

    buildStatusBar();

    // The parts that give the VIEW and LOGS tabs their life.
    settings_ = new Settings(view_, *link_, this);
    settings_->wire(storeAction);
    settings_->setNotice([this](const QString& text) { ShowNotice(text); });
    readBack_ = std::make_unique<ReadBack>(view_, *link_, *settings_);
    configFiles_ = new ConfigFiles(this, view_, *link_, *settings_, *readBack_);
    configFiles_->setNotice([this](const QString& text) { ShowNotice(text); });
    connect(openConfigAction, &QAction::triggered, configFiles_, &ConfigFiles::openConfig);
    connect(saveConfigAction, &QAction::triggered, configFiles_, &ConfigFiles::saveConfig);
    connect(revertAction, &QAction::triggered, configFiles_, &ConfigFiles::revert);
    connect(compareFilesAction, &QAction::triggered, configFiles_, &ConfigFiles::compareFiles);
    connect(&configFiles_->fileMode(), &FileMode::changed, this, &MainWindow::showFileMode);
    connect(settings_, &Settings::flashStateChanged, this, &MainWindow::showFlashState);
    storeDeadline_ = new QTimer(this);
    storeDeadline_->setSingleShot(true);
    storeDeadline_->setInterval(3000);
    connect(storeDeadline_, &QTimer::timeout, this, [this] {
        if (!leaveAfterStore_) return;
        leaveAfterStore_ = nullptr;
        dialogs::ShowWarning(this, QStringLiteral("The detector did not confirm that it stored its parameters, so "
                                                  "the link was left as it is. Check the link and try again."));
    });
    statusView_ = std::make_unique<StatusView>(view_, nullptr);
    indicators_ = std::make_unique<Indicators>(view_, *statusView_, *link_, nullptr);
    // A file open on the controls decides its own noise-reduction mode, whatever a replay shows.
    indicators_->setParameterFlags([this] {
        const FileMode& file = configFiles_->fileMode();
        const params::Record r = file.Active() ? file.Record() : link_->Stores.parameters;
        return static_cast<std::uint16_t>(r[22] | r[23] << 8);
    });
    indicators_->setNoiseReductionFollower(
        [this](int pir, bool on) { settings_->FollowDetectorNoiseReduction(pir, on); });
    statusView_->setIndicators(indicators_.get());

    // The design's size is the default and the least; the window may grow and be maximised.
    const QSize design(MainClientWidth, MainClientHeight + menuBar()->sizeHint().height());
    setMinimumSize(design);
    resize(design);
    endProcess_ = [](int code) { QCoreApplication::exit(code); };

    FormCreate();
}

MainWindow::~MainWindow() {
    keepGeometry(); // (ended by a signal, without Exit)
}

void MainWindow::setCompanions(PortDialog* portDialog, GraphWindow* graphics) {
    portDialog_ = portDialog;
    graphics_ = graphics;
    statusView_->setGraphics(graphics);
    if (graphics_) {
        graphFlags_ = graphics_->windowFlags();
        graphics_->installEventFilter(this);
        graphics_->contextMenu->insertAction(graphics_->closeAction, graphInsideAction);
    }
    if (portDialog_)
        connect(portDialog_, &PortDialog::portChosen, connectAction, [this] {
            connectAction->setEnabled(true);
            describedPort_.clear(); // the dialog looked at the ports again
            link_->PortChosen(portDialog_->SelectedPort().toStdString());
            if (link_->State() != LinkState::Polling) showPort();
        });
}

void MainWindow::buildActions() {
    auto make = [this](const char* name, const QString& caption, int image, bool enabled) {
        auto* a = new QAction(caption, this);
        a->setObjectName(QString::fromLatin1(name));
        a->setIcon(ActionIcon(image));
        a->setEnabled(enabled);
        addAction(a); // shortcuts work wherever the focus is in the window
        return a;
    };
    exitAction = make("Action1", QStringLiteral("Exit"), 4, true);
    exitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connectAction = make("Action2", QStringLiteral("Connect"), 2, false);
    openConfigAction = make("FileOpen1", QStringLiteral("&Open..."), 0, true);
    openConfigAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    openConfigAction->setToolTip(QStringLiteral("Open"));
    openConfigAction->setWhatsThis(QStringLiteral("Opens an existing file"));
    saveConfigAction = make("FileSaveAs1", QStringLiteral("Save &As..."), 1, true);
    saveConfigAction->setToolTip(QStringLiteral("Save As"));
    saveConfigAction->setWhatsThis(QStringLiteral("Saves the active file with a new name"));
    storeAction = make("Action4", QStringLiteral("Store To Flash"), 1, false);
    portAction = make("Action3", QStringLiteral("SetUp COM"), 5, true);
    graphAction = make("Action5", QStringLiteral("View Graphic"), 8, true);
    revertAction = make("ActionRevert", QStringLiteral("Re&vert to Connect-Time Settings"), -1, false);
    revertAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    compareFilesAction = make("ActionCompareFiles", QStringLiteral("Compare &Files..."), -1, true);
    messagesAction = make("ActionMessages", QStringLiteral("&Messages..."), -1, true);
    messagesAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    messagesAction->setToolTip(QStringLiteral("What the status bar said during this run, newest first"));
    graphInsideAction = make("ActionGraphInside", QStringLiteral("Graph &in the Main Window"), -1, true);
    graphInsideAction->setCheckable(true);
    graphInsideAction->setToolTip(
        QStringLiteral("Show the graph below the tabs instead of in a window of its own (it goes there by itself "
                       "where the screen has no room beside the main window)"));

    commissioning_ = new Commissioning(*this, *this);
    commissioning_->recordAction->setIcon(ActionIcon(9));

    connect(exitAction, &QAction::triggered, this, &MainWindow::exitProgram);
    connect(connectAction, &QAction::triggered, this, &MainWindow::toggleConnection);
    connect(portAction, &QAction::triggered, this, &MainWindow::openPortDialog);
    connect(graphAction, &QAction::triggered, this, &MainWindow::showGraph);
    connect(messagesAction, &QAction::triggered, this, &MainWindow::showMessages);
    connect(graphInsideAction, &QAction::triggered, this, &MainWindow::graphInsideChosen);
}

void MainWindow::buildMenu() {
    auto* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("File1"));
    file->addAction(bindItem(this, "LoadConfig1", openConfigAction));
    file->addAction(bindItem(this, "SaveConfig1", saveConfigAction));
    storeMenuItem = bindItem(this, "CommSetup1", storeAction, QLatin1Char('t'));
    file->addAction(storeMenuItem);
    file->addAction(revertAction);
    file->addAction(compareFilesAction);
    file->addSeparator();
    for (QAction* a : {commissioning_->reportAction, commissioning_->compareAction, commissioning_->recordAction,
                       commissioning_->markPassAction, commissioning_->markQuietAction, commissioning_->endMarkAction,
                       commissioning_->replayAction, commissioning_->suggestAction})
        file->addAction(a);
    file->addSeparator();
    file->addAction(bindItem(this, "Exit1", exitAction, QLatin1Char('x')));
    bar->addAction(bindItem(this, "Connect1", connectAction));
    bar->addAction(bindItem(this, "StoreToFlash1", storeAction));
    QMenu* windows = bar->addMenu(QStringLiteral("&Window"));
    windows->setObjectName(QStringLiteral("Window1"));
    windows->addAction(bindItem(this, "ViewGraphic1", graphAction, QLatin1Char('V')));
    windows->addAction(graphInsideAction);
    windows->addSeparator();
    windows->addAction(messagesAction);
    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("Help1"));
    QAction* about = help->addAction(QStringLiteral("&About Ostrevo SetUp..."));
    about->setObjectName(QStringLiteral("About1"));
    connect(about, &QAction::triggered, this, [this] { dialogs::ShowMessage(this, AboutText()); });

    auto* openFile = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F), this);
    connect(openFile, &QShortcut::activated, this, [bar, file] { bar->setActiveAction(file->menuAction()); });
}

void MainWindow::buildActionBar() {
    auto* bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("ActionMainMenuBar1"));
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setFixedHeight(35);
    bar->setIconSize(QSize(24, 24));
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    bar->setContextMenuPolicy(Qt::PreventContextMenu);
    bar->layout()->setContentsMargins(2, 2, 2, 2); // room for the 24-pixel images in 35 pixels
    addToolBar(Qt::TopToolBarArea, bar);

    struct Item {
        const char* caption;
        QAction* action;
        const char* name;
    } const items[] = {{"&Open Config...", openConfigAction, "ActionItem_OpenConfig"},
                       {"Save &Config...", saveConfigAction, "ActionItem_SaveConfig"},
                       {"Co&nnect", connectAction, "ActionItem_Connect"},
                       {"&Save To Device", storeAction, "ActionItem_SaveToDevice"},
                       {"Se&tUp COM", portAction, "ActionItem_SetUpCom"},
                       {"&View Graphic", graphAction, "ActionItem_ViewGraphic"},
                       {"&Record", commissioning_->recordAction, "ActionItem_Record"},
                       {"&Exit", exitAction, "ActionItem_Exit"}};
    bar->addSeparator();
    for (const Item& it : items) {
        if (it.action == exitAction) bar->addSeparator()->setVisible(false);
        else if (it.action != openConfigAction) bar->addSeparator();
        // Plain buttons rather than the action's own, so that each keeps its caption and mnemonic.
        auto* button = new QToolButton(bar);
        button->setObjectName(QString::fromLatin1(it.name));
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        button->setAutoRaise(true);
        button->setText(QString::fromLatin1(it.caption));
        button->setIcon(it.action->icon());
        button->setToolTip(it.action->toolTip());
        button->setEnabled(it.action->isEnabled());
        bar->addWidget(button);
        QAction* action = it.action;
        connect(button, &QToolButton::clicked, action, [action] { action->trigger(); });
        if (action->isCheckable()) { // "Record" stays pressed while it is on
            button->setCheckable(true);
            connect(action, &QAction::toggled, button, &QToolButton::setChecked);
        }
        // The item follows the action's enabled state and any caption it is given later.
        const QChar letter = mnemonicLetter(button->text());
        auto lastCaption = std::make_shared<QString>(action->text());
        connect(action, &QAction::changed, button, [button, action, letter, lastCaption] {
            button->setEnabled(action->isEnabled());
            if (action->text() != *lastCaption) {
                *lastCaption = action->text();
                button->setText(withMnemonic(action->text(), letter));
            }
        });
    }
    bar->addSeparator();
    // The walk test's marks while recording, the replay's controls while replaying: below the tabs.
    addToolBar(Qt::BottomToolBarArea, commissioning_->markBar());
    addToolBar(Qt::BottomToolBarArea, commissioning_->replayBar());
}

void MainWindow::buildStatusBar() {
    auto* bar = new QStatusBar(this);
    bar->setObjectName(QStringLiteral("StatusBar_form"));
    bar->setSizeGripEnabled(false);
    bar->setFixedHeight(22);
    const int widths[4] = {100, 400, 200, 50};
    const char* texts[4] = {"Disconnect", "COM:", "", ""};
    for (int i = 0; i < 4; ++i) {
        auto* panel = new QLabel(QString::fromLatin1(texts[i]), bar);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        // The last panel (the flash state) grows with its text; the others keep their widths.
        if (i == 3) panel->setMinimumWidth(widths[i]);
        else panel->setFixedWidth(widths[i]);
        panel->setTextFormat(Qt::PlainText); // (a port or a file name is shown as it is)
        panel->setFrameShape(QFrame::StyledPanel);
        panel->setFrameShadow(QFrame::Sunken);
        panel->setIndent(3);
        statusPanels_[i] = panel;
        bar->addWidget(panel);
    }
    notice_ = new NoticeLabel(bar);
    notice_->setObjectName(QStringLiteral("StatusNotice"));
    bar->addWidget(notice_, 1);
    messages_ = new MessageHistory(this);
    connect(notice_, &NoticeLabel::clicked, this, &MainWindow::showMessages);
    activityBar = new LevelBar(Qt::Horizontal, 0, 100, statusPanels_[2]);
    activityBar->setObjectName(QStringLiteral("ProgressBar_serial"));
    setStatusBar(bar);
}

void MainWindow::buildLogsPage(QWidget* page) {
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(2, 2, 2, 2);
    auto* box = new QGroupBox(page);
    box->setObjectName(QStringLiteral("GroupBox_Log"));
    layout->addWidget(box);
    auto* inner = new QVBoxLayout(box);
    inner->setContentsMargins(2, 2, 2, 2);
    eventGrid = new StringGrid(10, 11, box);
    eventGrid->setObjectName(QStringLiteral("StringGrid1"));
    QFont bold = font();
    bold.setBold(true);
    bold.setPixelSize(13);
    eventGrid->setFont(bold);
    inner->addWidget(eventGrid);

    auto* popup = new QMenu(page);
    popup->setObjectName(QStringLiteral("PopupMenu2"));
    auto* copy = popup->addAction(QStringLiteral("&Copy"));
    copy->setObjectName(QStringLiteral("CopyLogs1"));
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    eventGrid->addAction(copy);
    connect(copy, &QAction::triggered, this,
            [this] { QGuiApplication::clipboard()->setText(eventGrid->selectedText()); });
    auto* exportCsv = popup->addAction(QStringLiteral("&Export CSV..."));
    exportCsv->setObjectName(QStringLiteral("ExportLogs1"));
    connect(exportCsv, &QAction::triggered, this, &MainWindow::exportEventLog);
    popup->addSeparator();
    auto* clear = popup->addAction(QStringLiteral("Clear Logs"));
    clear->setObjectName(QStringLiteral("Clear1"));
    connect(clear, &QAction::triggered, this, [this] { ClearLogGrid(*eventGrid); });
    // A right click anywhere on the LOGS tab, the grid included, opens the menu.
    for (QWidget* w : {page, static_cast<QWidget*>(box), static_cast<QWidget*>(eventGrid)}) {
        w->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(w, &QWidget::customContextMenuRequested, popup, [popup, w](const QPoint& at) {
            // A scroll area reports the place within its viewport.
            auto* area = qobject_cast<QAbstractScrollArea*>(w);
            popup->popup((area ? area->viewport() : w)->mapToGlobal(at));
        });
    }
}

void MainWindow::exportEventLog() {
    const QString chosen = dialogs::GetFileName(
        this, dialogs::FileDialogKind::Save, QStringLiteral("Export Event Memory"), QStringLiteral("CSV (*.csv)"),
        QStringLiteral("events ") + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH-mm")) +
            QStringLiteral(".csv"));
    if (chosen.isEmpty()) return;
    const QString path = dialogs::ConfirmReplacing(this, chosen, dialogs::WithExtension(chosen, QStringLiteral("csv")));
    if (path.isEmpty()) return;
    QString error;
    if (!WriteLogGridCsv(*eventGrid, path, error)) dialogs::ShowWarning(this, error);
    else ShowNotice(QStringLiteral("Saved the event memory to \"%1\".").arg(QDir::toNativeSeparators(path)));
}

// Set-up when the window is created: transparent, value labels into their status bars, the log grid.
void MainWindow::FormCreate() {
    SetWindowAlpha(0);
    view_.mw.statusBar->hostLabel(view_.mw.trangeLabel);
    view_.pir1.statusBar->hostLabel(view_.pir1.trangeLabel);
    view_.pir2.statusBar->hostLabel(view_.pir2.trangeLabel);
    view_.ntcStatusBar->hostLabel(view_.temperatureLabel);
    auto* panel = statusPanels_[2];
    auto* hostLayout = new QHBoxLayout(panel);
    hostLayout->setContentsMargins(0, 0, 0, 0);
    hostLayout->addWidget(activityBar);
    activityBar->setPosition(0);
    LabelLogGrid(*eventGrid);
    FitLogGrid(*eventGrid);
    // The siren file is looked for once, now.
    setSiren(new Siren(this));
}

void MainWindow::setSiren(Siren* siren) {
    delete siren_;
    siren_ = siren;
    if (siren_) {
        siren_->setParent(this);
        siren_->setObjectName(QStringLiteral("MediaPlayer1"));
        connect(siren_, &Siren::unavailableNow, this, &MainWindow::ShowNotice);
        connect(siren_, &Siren::availableAgain, this, [this] {
            if (Notice().startsWith(QLatin1String("The siren is off"))) ShowNotice(QString());
        });
    }
    indicators_->setSiren(siren_);
}

void MainWindow::connectOrDisconnect() {
    connectAction->trigger();
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

void MainWindow::FormShow() {
    fadeIn_ = true;
    fadeAlpha_ = 0;
    fadeClock_.start();
    fadeTimer->start();
    if (graphics_) graphics_->MoveSweepTo(0);
    link_->PendingSettings = false;
    link_->PollRequest.ArmPoll(frames::Status, frames::StatusReplyLength);
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (event->spontaneous()) return; // restored from the task bar, not shown by the program
    QScreen* screen = this->screen();
    if (screen && realScreen()) {
        QSize frame = frameGeometry().size() - size();
        if (frame.width() <= 0 && frame.height() <= 0) frame = QSize(8, 32); // not decorated yet: a guess
        const QRect area = screen->availableGeometry();
        const QRect place = PlaceOnScreen(area, size(), minimumSize(), frame);
        setMinimumSize(minimumSize().boundedTo(place.size()));
        // Where the user left it last (Qt keeps it on a screen), else centred; a second copy of the
        // program opens a little lower and to the right, not exactly over the first.
        QRect at = geometryRestored_ ? geometry() : place;
        if (instance_ > 0 && !isMaximized()) {
            const QPoint step = QPoint(32, 32) * (instance_ % 8);
            at.moveTopLeft(QPoint(std::min(at.left() + step.x(), area.right() - frame.width() / 2 - at.width()),
                                  std::min(at.top() + step.y(), area.bottom() - frame.width() / 2 - at.height())));
        }
        if (!isMaximized()) setGeometry(at);
    } else if (screen) {
        move(screen->availableGeometry().center() - rect().center());
    }
    FormShow();
    // A first start: the port panel says where to choose the port until one is chosen (a notice could
    // be replaced by the next at once).
    showPort();
    if (portDialog_ && PortName().isEmpty()) messages_->add(ChoosePortHint);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    // Grown (a bar of the walk test, say) under the graph window: the graph goes where it covers nothing.
    if (graphics_ && graphics_->isWindow() && graphics_->isVisible() && !placingGraph_)
        QTimer::singleShot(0, this, [this] {
            if (!graphics_->isWindow() || !graphics_->isVisible() ||
                !graphics_->frameGeometry().intersects(frameGeometry()))
                return;
            placingGraph_ = true;
            placeGraph(false);
            graphics_->show();
            placingGraph_ = false;
        });
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
        QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("ostrevo-setup"), ActionIcon(8)));
    // The siren's sound module, where a siren can sound, loaded in the background for the first alarm.
    if (siren_) siren_->Prepare();
    // What the start-up freed (the window's first pictures, the fonts' tables) goes back to the system.
    QTimer::singleShot(ReturnFreedMemoryAfterMs, this, [] { ::malloc_trim(0); });
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Closing the window runs Exit instead, so the close button and the Exit action behave alike.
    event->ignore();
    exitProgram();
}

void MainWindow::fadeStep() {
    SetWindowAlpha(fadeAlpha_);
    // 51 steps of 5, one a millisecond by the clock: where a step takes longer (each is a round trip to
    // the window system), the next one is the step due by then. At least one step a tick, and the last
    // one (250, or 5 on the way out) is always shown.
    const int done = fadeIn_ ? fadeAlpha_ / 5 : (255 - fadeAlpha_) / 5;
    int next = static_cast<int>(std::clamp<qint64>(fadeClock_.elapsed(), done + 1, 51));
    if (done < 50) next = std::min(next, 50);
    fadeAlpha_ = fadeIn_ ? 5 * next : 255 - 5 * next;
    if (fadeIn_ && fadeAlpha_ >= 255) {
        fadeTimer->stop();
    } else if (!fadeIn_ && fadeAlpha_ <= 0) {
        fadeTimer->stop();
        endProcess_(0);
    }
}

bool MainWindow::confirmLeaving(const std::function<void()>& leave) {
    // (A change made a moment ago, still waiting for its tick, counts as well.)
    const FlashState flash = settings_->Flash();
    const bool polling = link_->State() == LinkState::Polling;
    const bool unstored = flash == FlashState::NotStored;
    // A store that went out, its read-back lost with the link: not known to have happened.
    const bool storeUnconfirmed = flash == FlashState::StoreSent && !polling;
    const bool unsent = settings_->FrameWaiting() && link_->LinkActive();
    if (!unstored && !storeUnconfirmed && !unsent) return true;
    QStringList what;
    if (unstored && settings_->FlashAwaitingReport())
        what << QStringLiteral("Changes sent to the detector are not stored in its flash, and the detector has not "
                               "answered since the link came back: it loses them when its power goes off.");
    else if (unstored)
        what << QStringLiteral("The changes sent to the detector are not stored in its flash: it loses them when its "
                               "power goes off.");
    else if (storeUnconfirmed)
        what << QStringLiteral("The detector was asked to store its parameters in flash, but the link was lost "
                               "before it confirmed it.");
    if (unsent && polling) what << QStringLiteral("A change made a moment ago has not been sent to the detector yet.");
    else if (unsent) what << QStringLiteral("A change was never sent to the detector: it is dropped.");
    const bool canStore = polling && link_->ParametersKnown;
    const QString text = what.join(QLatin1Char(' ')) + QStringLiteral("\n\n") +
                         (canStore  ? QStringLiteral("Store them in its flash now?")
                          : polling ? QStringLiteral("The detector has not reported its parameters yet, "
                                                     "so nothing can be stored now.")
                                    : QStringLiteral("The link is down, so nothing can be stored now."));
    const QStringList buttons =
        canStore ? QStringList{QStringLiteral("&Store"), QStringLiteral("&Don't Store"), QStringLiteral("Cancel")}
                 : QStringList{QStringLiteral("&Don't Store"), QStringLiteral("Cancel")};
    const auto connection = link_->Connections;
    const QString choice = buttons.value(dialogs::AskChoice(this, text, buttons));
    if (choice == QLatin1String("&Don't Store")) return true;
    if (choice == QLatin1String("&Store") && link_->Connections != connection) {
        // Connected again by itself meanwhile, perhaps to another detector: not for this answer.
        dialogs::ShowWarning(this,
                             QStringLiteral("The link was connected again while the question was open, perhaps to "
                                            "another detector: nothing was stored."));
        return false;
    }
    if (choice == QLatin1String("&Store")) {
        // The store request goes out with the next tick; leaving follows its read-back.
        leaveAfterStore_ = leave;
        storeDeadline_->start();
        settings_->requestStore();
    }
    return false;
}

void MainWindow::showFlashState() {
    const FlashState state = settings_->Flash();
    QLabel* panel = statusPanels_[3];
    // A file open on the controls has no flash: what the last detector's held is not shown beside it.
    const bool file = configFiles_ && configFiles_->fileMode().Active();
    panel->setText(file ? QString() : FlashStateText(state));
    panel->setMinimumWidth(std::max(50, panel->sizeHint().width())); // the whole text, whatever the notice says
    panel->setToolTip(state == FlashState::Unchanged
                          ? QStringLiteral("No change has been sent to this detector since Connect.")
                          : FlashStateText(state));
    if (state == FlashState::Stored && leaveAfterStore_) {
        storeDeadline_->stop();
        const std::function<void()> leave = std::move(leaveAfterStore_);
        leaveAfterStore_ = nullptr;
        // After the tick that brought the read-back has ended.
        QTimer::singleShot(0, this, leave);
    }
}

void MainWindow::exitProgram() {
    if (!exiting_ && !configFiles_->mayLeaveFile(QStringLiteral("Save them before leaving?"))) return;
    if (!exiting_ && !confirmLeaving([this] { exitProgram(); })) return;
    if (!exiting_) keepGeometry();
    exiting_ = true;
    link_->Exit();
    pollTimer->stop();
    fadeIn_ = false;
    fadeAlpha_ = 255;
    if (portDialog_ && portDialog_->isVisible()) portDialog_->hide();
    fadeClock_.start();
    fadeTimer->start();
}

// Connect or Disconnect, by what the action's caption says it will do.
void MainWindow::toggleConnection() {
    if (connectAction->text() == QLatin1String("Connect")) {
        // The file is left once the link is open (a port that fails to open keeps it). Cancel leaves
        // everything as it was, a replay included.
        if (!configFiles_->mayLeaveFile(QStringLiteral("Save them before connecting?"))) return;
        commissioning_->StopReplay(); // connecting ends a replay: the detector speaks again
        link_->Connect();
    } else if (confirmLeaving([this] { link_->Disconnect(); })) {
        link_->Disconnect();
    }
}

void MainWindow::openPortDialog() {
    if (!portDialog_) return;
    portDialog_->show();
    portDialog_->raise();
}

void MainWindow::showGraph() {
    if (!graphics_) return;
    placeGraph();
    graphics_->show();
    if (graphics_->isWindow()) {
        graphics_->raise();
        graphics_->activateWindow();
    }
    graphics_->screenLayer->setFocus();
}

bool MainWindow::GraphInside() const {
    return graphics_ && !graphics_->isWindow();
}

void MainWindow::placeGraph(bool keepOpenWindow) {
    bool noRoom = false;
    const bool floatingNow = graphics_->isWindow() && graphics_->isVisible();
    // A graph window already open stays where the user has it.
    if (!graphInsideChosen_ && !(floatingNow && keepOpenWindow) && realScreen() && PlatformPlacesWindows() &&
        screen()) {
        if (isMaximized() || isFullScreen()) {
            noRoom = true;
        } else {
            // The graph's frame as the window manager draws it; before it was first shown, like the main
            // window's (the graph's title bar is no taller).
            const QSize decoration = frameGeometry().size() - size();
            const QSize graphFrame = graphics_->size() + (graphics_->testAttribute(Qt::WA_WState_Created)
                                                              ? graphics_->frameGeometry().size() - graphics_->size()
                                                              : decoration);
            const auto last = graphics_->LastPlace();
            // Where the user left it is kept on whichever screen it lies (a second monitor, say).
            QRect area = screen()->availableGeometry();
            if (last)
                for (const QScreen* other : QGuiApplication::screens())
                    if (other->availableGeometry().contains(QRect(*last, graphFrame)))
                        area = other->availableGeometry();
            GraphPlace place = PlaceGraph(area, frameGeometry(), graphFrame, last ? QRect(*last, graphFrame) : QRect());
            if (place.where != GraphPlace::Where::Kept && area != screen()->availableGeometry())
                place = PlaceGraph(screen()->availableGeometry(), frameGeometry(), graphFrame);
            noRoom = place.where == GraphPlace::Where::InMainWindow;
            if (!noRoom) {
                if (place.main.topLeft() != frameGeometry().topLeft()) move(place.main.topLeft());
                undockGraph();
                graphics_->move(place.graph.topLeft());
                // A window manager may still place a new window by rules of its own, or the frames turn out
                // other than guessed: once both are on the screen, a graph over this window is moved again.
                if (keepOpenWindow)
                    QTimer::singleShot(400, this, [this] {
                        if (graphics_->isWindow() && graphics_->isVisible() &&
                            graphics_->frameGeometry().intersects(frameGeometry())) {
                            placeGraph(false);
                            graphics_->show();
                        }
                    });
            }
        }
    }
    if (graphInsideChosen_ || noRoom) dockGraph();
    else undockGraph();
    graphInsideForRoom_ = noRoom;
    graphInsideAction->setChecked(GraphInside());
}

void MainWindow::dockGraph() {
    if (graphics_->isWindow()) {
        graphics_->setParent(graphHost_, Qt::Widget);
        graphHost_->layout()->addWidget(graphics_);
        graphHost_->layout()->setAlignment(graphics_, Qt::AlignHCenter);
    }
}

void MainWindow::undockGraph() {
    if (graphics_->isWindow()) return;
    graphHost_->layout()->removeWidget(graphics_);
    graphics_->setParent(this, graphFlags_);
    fitDockedGraph(false);
}

// The window grows by the graph's height while it shows inside (as far as the screen lets it), so that
// the tabs keep theirs, and gives that height back when it goes.
void MainWindow::fitDockedGraph(bool shown) {
    graphHost_->setVisible(shown);
    if (isMaximized() || isFullScreen()) return;
    if (shown && grownBy_ == 0) {
        int room = graphics_->height() + centralWidget()->layout()->spacing();
        const bool onScreen = screen() && realScreen();
        const QRect area = onScreen ? screen()->availableGeometry() : QRect();
        if (onScreen) room = std::min(room, area.height() - frameGeometry().height());
        if (room <= 0) return;
        grownBy_ = room;
        resize(width(), height() + room);
        // Grown past the screen's foot, the window moves up so that its status bar stays in sight.
        if (onScreen) {
            const int past = frameGeometry().top() + frameGeometry().height() + room - (area.bottom() + 1);
            movedUpBy_ = std::clamp(past, 0, std::max(0, frameGeometry().top() - area.top()));
            if (movedUpBy_ > 0) move(x(), y() - movedUpBy_);
        }
    } else if (!shown && grownBy_ > 0) {
        const int by = grownBy_;
        grownBy_ = 0;
        resize(width(), std::max(minimumHeight(), height() - by));
        if (movedUpBy_ > 0) move(x(), y() + std::exchange(movedUpBy_, 0));
    }
}

void MainWindow::graphInsideChosen(bool inside) {
    graphInsideChosen_ = inside;
    if (remember_) {
        QSettings settings;
        settings.setValue(QStringLiteral("graph/inMainWindow"), inside);
        remembered::Sync(settings);
    }
    if (!graphics_) return;
    const bool shown = graphics_->isVisible();
    graphInsideForRoom_ = false;
    if (inside) {
        dockGraph();
        if (shown) showGraph();
    } else if (!shown) {
        undockGraph();
    } else {
        graphics_->hide();
        undockGraph();
        showGraph();
        if (GraphInside())
            ShowNotice(QStringLiteral("The screen has no room for the graph beside the main window: it stays in the "
                                      "main window."));
    }
    graphInsideAction->setChecked(GraphInside());
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

void MainWindow::rememberBetweenRuns(int instance) {
    remember_ = instance == 0; // the first copy keeps what it had; later ones only read
    instance_ = instance;
    const QSettings settings;
    graphInsideChosen_ = settings.value(QStringLiteral("graph/inMainWindow"), false).toBool();
    graphInsideAction->setChecked(graphInsideChosen_);
    const QByteArray geometry = settings.value(QStringLiteral("window/geometry")).toByteArray();
    geometryRestored_ = !geometry.isEmpty() && restoreGeometry(geometry);
}

void MainWindow::keepGeometry() {
    if (!remember_) return;
    // Without the height the graph inside took on: it opens again only when asked for.
    if (grownBy_ > 0 && !isMaximized() && !isFullScreen()) {
        resize(width(), height() - grownBy_);
        grownBy_ = 0;
    }
    QSettings settings;
    settings.setValue(QStringLiteral("window/geometry"), saveGeometry());
    remembered::Sync(settings);
    remember_ = false; // once
}

void MainWindow::SetWindowAlpha(int alpha) {
    appliedAlpha_ = alpha;
    // Where the platform has no window opacity the window is simply opaque; the fade still runs.
    static const bool hasOpacity = PlatformFadesWindows();
    if (hasOpacity) {
        setWindowOpacity(alpha / 255.0);
        // The request must reach the window system now: on X11 it would otherwise wait for the next
        // input event, and a compositing desktop would show a ghost until the mouse moved.
        QGuiApplication::sync();
    }
}

QString MainWindow::PortName() const {
    if (link_->State() != LinkState::Closed && !link_->ConnectedPort().empty())
        return QString::fromStdString(link_->ConnectedPort());
    return portDialog_ ? portDialog_->SelectedPort() : QString();
}

std::string MainWindow::SelectedPort() {
    return portDialog_ ? portDialog_->SelectedPort().toStdString() : std::string();
}

int MainWindow::ReplyTimeoutMs() {
    return portDialog_ ? portDialog_->TimeoutMs() : 90;
}

int MainWindow::CurrentTab() {
    return tabs->currentIndex();
}

void MainWindow::ShowLinkState(bool connected) {
    // The action says what it will do next; panel 0 says what the link is.
    connectAction->setText(connected ? QStringLiteral("Disconnect") : QStringLiteral("Connect"));
    statusPanels_[0]->setText(connected ? QStringLiteral("Connect") : QStringLiteral("Disconnect"));
    storeAction->setEnabled(connected); // (and with it the File menu's Store To Flash)
    revertAction->setEnabled(connected);
    if (connected) configFiles_->fileMode().Close(); // the detector's read-back comes next
    showPort();
    if (!connected) liveMarks_->SetLive(false);
}

void MainWindow::StepActivity() {
    if (activityBar->value() < activityBar->maximum()) activityBar->setPosition(activityBar->value() + 1);
    else activityBar->setPosition(activityBar->minimum());
}

void MainWindow::FillActivity() {
    activityBar->setPosition(activityBar->maximum());
}

// Everything the link has to say is a failure of some kind: shown with the warning icon.
void MainWindow::ShowMessage(const std::string& text) {
    dialogs::ShowWarning(this, QString::fromStdString(text));
}

void MainWindow::showFileMode() {
    const FileMode& file = configFiles_->fileMode();
    // ("[*]" marks unsaved edits; one in the file's name is doubled to show as it is.)
    const QString name = QFileInfo(file.Path()).fileName().replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    setWindowTitle(file.Active() ? QStringLiteral("Ostrevo SetUp - %1[*] (file, not connected)").arg(name)
                                 : QStringLiteral("Ostrevo SetUp"));
    setWindowModified(file.Edited());
    showPort();
    showFlashState();
}

void MainWindow::showPort() {
    // In file mode, the file instead: no port is in use.
    if (const FileMode& file = configFiles_->fileMode(); file.Active()) {
        const QString text = QStringLiteral("File: %1 (not connected: nothing is sent)");
        showInPortPanel(text.arg(QFileInfo(file.Path()).fileName()), text.arg(QDir::toNativeSeparators(file.Path())));
        return;
    }
    // The port in use (or the one chosen), with the adapter's name where it is known.
    const QString port = PortName();
    // The adapter's name is read from the system once per port shown, not at every reply.
    if (port != describedPort_) {
        describedPort_ = port;
        portDescription_ = portDialog_ && !port.isEmpty() ? portDialog_->PortDescription(port) : QString();
    }
    const QString& adapter = portDescription_;
    QString text = QStringLiteral("COM:");
    if (!port.isEmpty()) text += QLatin1Char(' ') + port;
    else if (portDialog_) text = ChoosePortHint;
    if (!adapter.isEmpty()) text += QStringLiteral("  (") + adapter + QLatin1Char(')');
    showInPortPanel(text, text);
}

void MainWindow::showInPortPanel(const QString& text, const QString& whole) {
    // Every reply shows the link's state: the text is shortened again only when it, or the room for it, changed.
    QLabel* panel = statusPanels_[1];
    const int room = panel->width() - 8;
    if (text == portPanel_.text && whole == portPanel_.whole && room == portPanel_.room &&
        panel->font() == portPanel_.font)
        return;
    portPanel_ = {text, whole, room, panel->font()};
    panel->setText(panel->fontMetrics().elidedText(text, Qt::ElideMiddle, room));
    panel->setToolTip(PlainToolTip(whole));
}

void MainWindow::tabShown(int index) {
    commissioning_->TabShown(index); // a recording pauses on the LOGS tab, and says so
    if (index == 0) return;          // live again with the next status reply
    liveMarks_->SetLive(false);
    if (link_->State() != LinkState::Polling || commissioning_->Recorder().Recording()) return;
    ShowNotice(QStringLiteral("The LOGS tab reads the event memory: the live view and the graph are paused until "
                              "the VIEW tab is shown again."));
}

void MainWindow::ShowLinkNotice(const std::string& text) {
    ShowNotice(QString::fromStdString(text));
}

void MainWindow::ShowLinkBack(const std::string& port) {
    // What the reconnection dropped stays told.
    ShowNotice(settings_->LinkBackNotice(QString::fromStdString(port)));
}

bool MainWindow::ReconnectAutomatically() {
    return portDialog_ && portDialog_->ReconnectAutomatically();
}

// Waiting for the port to come back: nothing can be stored, and Disconnect stops the waiting.
void MainWindow::ShowReconnecting() {
    ShowLinkState(false);
    connectAction->setText(QStringLiteral("Disconnect"));
}

void MainWindow::LogError(const LoggedException* exception, const std::string& text) {
    errorLog_.LogError(exception, text);
}

// A good reply, its payload already in its store, handed to the part that shows it.
void MainWindow::ReplyArrived(std::uint8_t code) {
    frames::ReplyStores& stores = link_->Stores;
    switch (code) {
    case frames::PwmValues: readBack_->ApplyPwmValues(); break;
    case frames::Status:
        liveMarks_->SetLive(true);
        commissioning_->StatusArrived(stores.status.data());
        statusView_->SplitFlags(stores.status);
        statusView_->ShowStatus(stores.status);
        break;
    case frames::ParameterReadBack:
        readBack_->ApplyParameters();
        settings_->ReadBackArrived();
        break;
    case frames::EventLog:
        ShowEventLog(*eventGrid, stores.eventLog.data());
        commissioning_->EventLogArrived();
        break;
    default: break;
    }
}
