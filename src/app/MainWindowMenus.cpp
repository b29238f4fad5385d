// The main window's menus, action bar, status bar and LOGS tab, and the actions behind them.
#include "app/MainWindow.h"

#include "app/About.h"
#include "app/MessageHistory.h"
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

namespace app {

namespace {

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

void MainWindow::setActionIcon(QAction* action, int image) {
    if (image < 0) return;
    if (widgets::DesktopHasIconTheme()) {
        action->setIcon(widgets::ActionIcon(image)); // the desktop's look from the first paint
        return;
    }
    // With no theme of the desktop's own, our drawings now; the fallback theme is asked after the first paint.
    action->setIcon(QIcon(widgets::DrawnActionIcon(image)));
    iconsFromThemeLater_.append({action, image});
}

void MainWindow::buildActions() {
    auto make = [this](const char* name, const QString& caption, int image, bool enabled) {
        auto* a = new QAction(caption, this);
        a->setObjectName(QString::fromLatin1(name));
        setActionIcon(a, image);
        a->setEnabled(enabled);
        addAction(a); // shortcuts work wherever the focus is in the window
        return a;
    };
    exitAction_ = make("Action1", QStringLiteral("Exit"), 4, true);
    exitAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connectAction_ = make("Action2", QStringLiteral("Connect"), 2, false);
    openConfigAction_ = make("FileOpen1", QStringLiteral("&Open..."), 0, true);
    openConfigAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    openConfigAction_->setToolTip(QStringLiteral("Open"));
    openConfigAction_->setWhatsThis(QStringLiteral("Opens an existing file"));
    saveConfigAction_ = make("FileSaveAs1", QStringLiteral("Save &As..."), 1, true);
    saveConfigAction_->setToolTip(QStringLiteral("Save As"));
    saveConfigAction_->setWhatsThis(QStringLiteral("Saves the active file with a new name"));
    storeAction_ = make("Action4", QStringLiteral("Store To Flash"), 1, false);
    portAction_ = make("Action3", QStringLiteral("SetUp COM"), 5, true);
    graphAction_ = make("Action5", QStringLiteral("View Graphic"), 8, true);
    revertAction_ = make("ActionRevert", QStringLiteral("Re&vert to Connect-Time Settings"), -1, false);
    revertArrivalAction_ = make("ActionRevertArrival", QStringLiteral("Revert to Arrival &Settings"), -1, false);
    revertArrivalAction_->setToolTip(QStringLiteral("Send back the parameters the detector had when it was first "
                                                    "read in this run"));
    undoAction_ = make("ActionUndo", QStringLiteral("&Undo Last Change"), -1, false);
    undoAction_->setShortcut(QKeySequence::Undo);
    undoAction_->setToolTip(QStringLiteral("Take the last change sent to the detector back, one at a time"));
    compareFilesAction_ = make("ActionCompareFiles", QStringLiteral("Compare &Files..."), -1, true);
    messagesAction_ = make("ActionMessages", QStringLiteral("&Messages..."), -1, true);
    messagesAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    messagesAction_->setToolTip(QStringLiteral("What the status bar said during this run, newest first"));
    graphInsideAction_ = make("ActionGraphInside", QStringLiteral("Graph &in the Main Window"), -1, true);
    graphInsideAction_->setCheckable(true);
    graphInsideAction_->setToolTip(
        QStringLiteral("Show the graph below the tabs instead of in a window of its own (it goes there by itself "
                       "where the screen has no room beside the main window)"));

    commissioning_ = new commission::Commissioning(*this, *this);
    setActionIcon(commissioning_->recordAction(), 9);

    connect(exitAction_, &QAction::triggered, this, &MainWindow::exitProgram);
    connect(connectAction_, &QAction::triggered, this, &MainWindow::toggleConnection);
    connect(portAction_, &QAction::triggered, this, &MainWindow::openPortDialog);
    connect(graphAction_, &QAction::triggered, this, &MainWindow::showGraph);
    connect(messagesAction_, &QAction::triggered, this, &MainWindow::showMessages);
    connect(graphInsideAction_, &QAction::triggered, this, &MainWindow::graphInsideChosen);
}

void MainWindow::buildMenu() {
    auto* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("File1"));
    file->addAction(bindItem(this, "LoadConfig1", openConfigAction_));
    file->addAction(bindItem(this, "SaveConfig1", saveConfigAction_));
    storeMenuItem_ = bindItem(this, "CommSetup1", storeAction_, QLatin1Char('t'));
    file->addAction(storeMenuItem_);
    file->addAction(revertAction_);
    file->addAction(revertArrivalAction_);
    file->addAction(compareFilesAction_);
    file->addSeparator();
    for (QAction* a : {commissioning_->reportAction(), commissioning_->compareAction(), commissioning_->recordAction(),
                       commissioning_->markPassAction(), commissioning_->markQuietAction(),
                       commissioning_->endMarkAction(), commissioning_->replayAction(), commissioning_->suggestAction(),
                       commissioning_->reviewAction(), commissioning_->reviewLiveAction()})
        file->addAction(a);
    file->addSeparator();
    file->addAction(bindItem(this, "Exit1", exitAction_, QLatin1Char('x')));
    QMenu* edit = bar->addMenu(QStringLiteral("Ed&it"));
    edit->setObjectName(QStringLiteral("Edit1"));
    edit->addAction(undoAction_);
    edit->addSeparator();
    edit->addAction(revertAction_);
    edit->addAction(revertArrivalAction_);
    bar->addAction(bindItem(this, "Connect1", connectAction_));
    bar->addAction(bindItem(this, "StoreToFlash1", storeAction_));
    QMenu* windows = bar->addMenu(QStringLiteral("&Window"));
    windows->setObjectName(QStringLiteral("Window1"));
    windows->addAction(bindItem(this, "ViewGraphic1", graphAction_, QLatin1Char('V')));
    windows->addAction(graphInsideAction_);
    windows->addSeparator();
    windows->addAction(messagesAction_);
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
    } const items[] = {{"&Open Config...", openConfigAction_, "ActionItem_OpenConfig"},
                       {"Save &Config...", saveConfigAction_, "ActionItem_SaveConfig"},
                       {"Co&nnect", connectAction_, "ActionItem_Connect"},
                       {"&Save To Device", storeAction_, "ActionItem_SaveToDevice"},
                       {"Se&tUp COM", portAction_, "ActionItem_SetUpCom"},
                       {"&View Graphic", graphAction_, "ActionItem_ViewGraphic"},
                       {"&Record", commissioning_->recordAction(), "ActionItem_Record"},
                       {"&Exit", exitAction_, "ActionItem_Exit"}};
    bar->addSeparator();
    for (const Item& it : items) {
        if (it.action == exitAction_) bar->addSeparator()->setVisible(false);
        else if (it.action != openConfigAction_) bar->addSeparator();
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
    notice_ = new widgets::NoticeLabel(bar);
    notice_->setObjectName(QStringLiteral("StatusNotice"));
    bar->addWidget(notice_, 1);
    messages_ = new MessageHistory(this);
    connect(notice_, &widgets::NoticeLabel::clicked, this, &MainWindow::showMessages);
    activityBar_ = new widgets::LevelBar(Qt::Horizontal, 0, 100, statusPanels_[2]);
    activityBar_->setObjectName(QStringLiteral("ProgressBar_serial"));
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
    eventGrid_ = new widgets::StringGrid(10, 11, box);
    eventGrid_->setObjectName(QStringLiteral("StringGrid1"));
    QFont bold = font();
    bold.setBold(true);
    bold.setPixelSize(13);
    eventGrid_->setFont(bold);
    inner->addWidget(eventGrid_);

    auto* popup = new QMenu(page);
    popup->setObjectName(QStringLiteral("PopupMenu2"));
    auto* copy = popup->addAction(QStringLiteral("&Copy"));
    copy->setObjectName(QStringLiteral("CopyLogs1"));
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    eventGrid_->addAction(copy);
    connect(copy, &QAction::triggered, this,
            [this] { QGuiApplication::clipboard()->setText(eventGrid_->selectedText()); });
    auto* exportCsv = popup->addAction(QStringLiteral("&Export CSV..."));
    exportCsv->setObjectName(QStringLiteral("ExportLogs1"));
    connect(exportCsv, &QAction::triggered, this, &MainWindow::exportEventLog);
    popup->addSeparator();
    auto* clear = popup->addAction(QStringLiteral("Clear Logs"));
    clear->setObjectName(QStringLiteral("Clear1"));
    connect(clear, &QAction::triggered, this, [this] { monitor::ClearLogGrid(*eventGrid_); });
    // A right click anywhere on the LOGS tab, the grid included, opens the menu.
    for (QWidget* w : {page, static_cast<QWidget*>(box), static_cast<QWidget*>(eventGrid_)}) {
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
    if (!monitor::WriteLogGridCsv(*eventGrid_, path, error)) dialogs::ShowWarning(this, error);
    else ShowNotice(QStringLiteral("Saved the event memory to \"%1\".").arg(QDir::toNativeSeparators(path)));
}

} // namespace app
