// The main window "Ostrevo SetUp": menus, action bar, the VIEW and LOGS tabs, status bar,
// timers and the fade in and out. It owns and wires the parts; their logic lives in their own classes.
#pragma once

#include "commission/CommissioningHost.h"
#include "config/ReadBack.h"
#include "errorlog/ErrorLog.h"
#include "graph/GraphWindow.h"
#include "monitor/Indicators.h"
#include "monitor/StatusView.h"
#include "seriallink/PollCycle.h"
#include "view/ViewPage.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>
#include <QTime>
#include <functional>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QTabWidget;
class QTimer;
class QToolBar;
class QToolButton;
namespace widgets {
class LevelBar;
class StringGrid;
} // namespace widgets
namespace seriallink {
class PortDialog;
} // namespace seriallink
namespace config {
class ConfigFiles;
class ParameterSender;
} // namespace config
namespace monitor {
class LiveMarks;
class Siren;
} // namespace monitor
namespace commission {
class Commissioning;
} // namespace commission

namespace widgets {
class NoticeLabel;
} // namespace widgets
namespace dialogs {
class QuestionUpdates;
struct Question;
} // namespace dialogs

namespace app {

class MessageHistory;

// Where the main window goes on a screen's available area: centred, at the wanted size (and at least
// the least) where the screen has room, else as large as the room, its title bar in sight. frame is
// what the window manager adds around the window (its title bar). Returns the window's own geometry.
QRect PlaceOnScreen(const QRect& area, const QSize& wanted, const QSize& least, const QSize& frame);

class MainWindow : public QMainWindow, private seriallink::LinkView, private commission::CommissioningHost {
    Q_OBJECT
  public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // The port dialog and the graph window, created after the main window.
    void setCompanions(seriallink::PortDialog* portDialog, graph::GraphWindow* graphics);
    // Where LogError.txt is written (beside the executable unless a test says otherwise).
    void setErrorLogFolder(const std::string& folder) { errorLog_ = errorlog::ErrorLog(folder); }
    // What ends the process when the fade-out is over (tests replace it).
    void setEndProcess(std::function<void(int)> endProcess) { endProcess_ = std::move(endProcess); }

    // Handlers.
    void fadeStep();
    void exitProgram();
    void toggleConnection();
    void openPortDialog();
    void showGraph();
    void showMessages();
    void SetWindowAlpha(int alpha);
    // Keeps the window's size, place and maximised state, and where the graph shows, for the next run,
    // and starts with the last ones. instance: which of the user's running copies this is (0 the first);
    // a later one opens a little lower and to the right, and keeps nothing.
    void rememberBetweenRuns(int instance = 0);
    // The graph shows inside this window, below the tabs (chosen, or the screen holds no other place).
    bool GraphInside() const;

    view::ViewControls& view() override { return view_; }
    seriallink::PollCycle& link() override { return *link_; }
    config::ParameterSender& parameterSender() override { return *sender_; }
    config::ReadBack& readBack() { return *readBack_; }
    config::ConfigFiles& configFiles() override { return *configFiles_; }
    monitor::StatusView& statusView() override { return *statusView_; }
    monitor::Indicators& indicators() override { return *indicators_; }
    monitor::LiveMarks& liveMarks() override { return *liveMarks_; }
    monitor::Siren* siren() const { return siren_; }
    graph::GraphWindow* graphics() const override { return graphics_; }
    commission::Commissioning& commissioning() { return *commissioning_; }
    // The port the link is open on (or lost from), else the one chosen in the port dialog.
    QString PortName() const override;
    QString PortAdapter() const override;
    // Replaces the siren (tests give one with a player of their own); the window takes it over.
    void setSiren(monitor::Siren* siren);
    // A short notice at the right of the status bar, for what the user should know but need not
    // answer (the siren turned off, a recording running). Kept in the message history.
    void ShowNotice(const QString& text) override;
    void ShowRunningCount(const QString& text, const QString& key) override;
    // The notice shown now, whole, and the messages told so far.
    QString Notice() const;
    // A notice about the link's state (lost, waiting for its port, no answer): it goes once the link is up.
    void ShowLinkNotice(const QString& text);
    MessageHistory& messages() { return *messages_; }
    bool FadeIn() const { return fadeIn_; }
    int FadeAlpha() const { return fadeAlpha_; }
    int AppliedAlpha() const { return appliedAlpha_; }

    // The window's timers, actions, tabs and bars.
    QTimer* fadeTimer() const { return fadeTimer_; }
    QTimer* pollTimer() const { return pollTimer_; }
    QAction* exitAction() const { return exitAction_; }       // Exit
    QAction* connectAction() const { return connectAction_; } // Connect / Disconnect
    QAction* openConfigAction() const { return openConfigAction_; }
    QAction* saveConfigAction() const { return saveConfigAction_; }
    QAction* storeAction() const { return storeAction_; } // Store To Flash
    QAction* portAction() const { return portAction_; }   // port dialog
    QAction* graphAction() const { return graphAction_; } // graph window
    QAction* storeMenuItem() const { return storeMenuItem_; }
    QAction* revertAction() const { return revertAction_; }               // back to the parameters read at Connect
    QAction* revertArrivalAction() const { return revertArrivalAction_; } // back to the set it arrived with
    QAction* undoAction() const { return undoAction_; }                   // one change back
    QAction* compareFilesAction() const { return compareFilesAction_; }   // two parameter files
    QAction* messagesAction() const { return messagesAction_; }           // the message history
    QAction* graphInsideAction() const { return graphInsideAction_; }     // "Graph in the Main Window"
    QTabWidget* tabs() const { return tabs_; }
    widgets::StringGrid* eventGrid() const { return eventGrid_; }
    widgets::LevelBar* activityBar() const { return activityBar_; }
    QLabel* statusPanel(int index) const { return statusPanels_[index]; }

  protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Where the port panel and the message history point a first start.
    static const QString ChoosePortHint;
    QTimer* fadeTimer_ = nullptr;
    QTimer* pollTimer_ = nullptr;
    QAction* exitAction_ = nullptr;
    QAction* connectAction_ = nullptr;
    QAction* openConfigAction_ = nullptr;
    QAction* saveConfigAction_ = nullptr;
    QAction* storeAction_ = nullptr;
    QAction* portAction_ = nullptr;
    QAction* graphAction_ = nullptr;
    QAction* storeMenuItem_ = nullptr;
    QAction* revertAction_ = nullptr;
    QAction* revertArrivalAction_ = nullptr;
    QAction* undoAction_ = nullptr;
    QAction* compareFilesAction_ = nullptr;
    QAction* messagesAction_ = nullptr;
    QAction* graphInsideAction_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    widgets::StringGrid* eventGrid_ = nullptr;
    widgets::LevelBar* activityBar_ = nullptr;

    void buildActions();
    void buildMenu();
    void buildActionBar();
    void buildStatusBar();
    void buildLogsPage(QWidget* page);
    // "Export CSV..." of the LOGS tab: the event memory as shown, to a file the user names.
    void exportEventLog();
    // Exit and Disconnect ask first when changes sent to the detector are not stored in its flash.
    // True when leaving goes on now; after "Store", leave runs once the store has been read back.
    bool confirmLeaving(const std::function<void()>& leave);
    // The question confirmLeaving asks, as things stand now (it follows the link while it is open);
    // nothing to ask: no text.
    // Store is offered only on the connection the question opened on (a link back by itself may be another
    // detector's).
    dialogs::Question leaveQuestion(std::uint64_t openedOn) const;
    void showFlashState();
    // Undo, the reverts, and what is not stored: their actions and the flash panel follow the link.
    void wireChanges();
    void showChangeActions();
    // Every failure box into the message history, with the link's port.
    void recordWarnings();
    // The graph below, beside or inside the window, never over its action bar, alarms or status bar.
    void placeGraph(bool keepOpenWindow = true);
    void dockGraph();
    void undockGraph();
    void fitDockedGraph(bool shown);
    void graphInsideChosen(bool inside);
    void keepGeometry();
    QSize firstSize(const QSize& room);
    void showPort();
    // Panel 1 shows text, shortened to fit, with whole as its tooltip.
    void showInPortPanel(const QString& text, const QString& whole);
    // File mode in the title (with a mark for unsaved edits) and in the status bar.
    void showFileMode();
    void tabShown(int index);
    // Once built: transparent, the value labels in their status bars, the activity bar, the log grid, the siren.
    void setUpParts();
    // Each time the program shows the window: the fade in, the graph's sweep from its start, the status polled.
    void startShowing();
    // What need not delay the window's first paint, done once it is on the screen.
    void afterFirstPaint();
    // The action's image (an index of widgets::ActionIcon; none below 0).
    void setActionIcon(QAction* action, int image);

    // What the poll cycle sees of the window.
    std::string SelectedPort() override;
    int ReplyTimeoutMs() override;
    int CurrentTab() override;
    void ShowLinkState(bool connected) override;
    void StepActivity() override;
    void FillActivity() override;
    void ShowMessage(const std::string& text) override;
    void ShowLinkNotice(const std::string& text) override;
    void ShowLinkBack(const std::string& port) override;
    bool ReconnectAutomatically() override;
    void ShowReconnecting() override;
    void LogError(const errorlog::LoggedException* exception, const std::string& text) override;
    void ReplyArrived(std::uint8_t code) override;

    // What the installer's end-of-job commands use besides the parts above.
    void disconnectThen(const std::function<void()>& then) override;
    QString programVersion() const override;

    view::ViewControls view_;
    seriallink::PollCycle* link_ = nullptr;
    config::ParameterSender* sender_ = nullptr;
    std::unique_ptr<config::ReadBack> readBack_;
    config::ConfigFiles* configFiles_ = nullptr;
    std::unique_ptr<monitor::StatusView> statusView_;
    std::unique_ptr<monitor::Indicators> indicators_;
    std::unique_ptr<monitor::LiveMarks> liveMarks_;
    monitor::Siren* siren_ = nullptr; // MediaPlayer1
    widgets::NoticeLabel* notice_ = nullptr;
    MessageHistory* messages_ = nullptr;
    QWidget* graphHost_ = nullptr; // below the tabs: the graph when it shows inside the window
    commission::Commissioning* commissioning_ = nullptr;
    errorlog::ErrorLog errorLog_ = errorlog::ErrorLog::besideProgram();
    seriallink::PortDialog* portDialog_ = nullptr;
    QPointer<graph::GraphWindow> graphics_; // (a window of its own: it may go first)
    QLabel* statusPanels_[4] = {};
    QString describedPort_, portDescription_; // the port panel 1 last showed, and its adapter
    struct {
        QString text, whole;
        int room = -1;
        QFont font;
    } portPanel_; // what panel 1 was last given, and for what width and font
    bool fadeIn_ = false;
    int fadeAlpha_ = 0;
    QElapsedTimer fadeClock_; // since the fade began
    int appliedAlpha_ = -1;
    std::function<void(int)> endProcess_;
    bool exiting_ = false;
    bool painted_ = false;                            // the window has been painted once
    QList<QPair<QAction*, int>> iconsFromThemeLater_; // actions with our drawings until the first paint
    std::function<void()> leaveAfterStore_;
    dialogs::QuestionUpdates* leaveUpdates_ = nullptr; // the link changed while the question was open
    QString linkNotice_;                               // the link notice shown, until the link is up
    QTime lastReply_;                                  // of the link up now (invalid once it is down)
    std::uint64_t troublesAtLastReply_ = 0;            // failed exchanges and damaged frames until then
    QTimer* storeDeadline_ = nullptr;
    Qt::WindowFlags graphFlags_;
    bool graphInsideChosen_ = false;  // the user's choice, remembered
    bool graphInsideForRoom_ = false; // inside because the screen had no room beside the window
    int grownBy_ = 0;                 // the height the window took on for the graph inside it
    int movedUpBy_ = 0;               // and moved up by, to keep its foot on the screen
    bool placingGraph_ = false;       // (a resize while the graph is being placed is its own)
    bool remember_ = false;
    bool geometryRestored_ = false;
    int instance_ = 0;
};

} // namespace app
