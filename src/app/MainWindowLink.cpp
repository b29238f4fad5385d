// The main window as the poll cycle sees it: Connect and Disconnect, the port, the link's state and its replies.
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

QString now() {
    return QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
}

} // namespace

void MainWindow::disconnectThen(const std::function<void()>& then) {
    if (link_->State() == seriallink::LinkState::Closed) return then();
    const auto leave = [this, then] {
        link_->Disconnect();
        then();
    };
    if (confirmLeaving(leave)) leave();
}

// Connect or Disconnect, by what the action's caption says it will do.
void MainWindow::toggleConnection() {
    if (connectAction_->text() == QLatin1String("Connect")) {
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

QString MainWindow::PortName() const {
    if (link_->State() != seriallink::LinkState::Closed && !link_->ConnectedPort().empty())
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
    return tabs_->currentIndex();
}

void MainWindow::ShowLinkState(bool connected) {
    // The action says what it will do next; panel 0 says what the link is.
    connectAction_->setText(connected ? QStringLiteral("Disconnect") : QStringLiteral("Connect"));
    statusPanels_[0]->setText(connected ? QStringLiteral("Connect") : QStringLiteral("Disconnect"));
    storeAction_->setEnabled(connected); // (and with it the File menu's Store To Flash)
    revertAction_->setEnabled(connected);
    showChangeActions();
    if (connected) configFiles_->fileMode().Close(); // the detector's read-back comes next
    if (connected && portDialog_) portDialog_->NoteConnected(QString::fromStdString(link_->ConnectedPort()));
    showPort();
    if (connected) return;
    liveMarks_->SetLive(false);
    // Stopped with its port open: the status bar keeps the link's state, with its time, for after the box.
    if (link_->State() == seriallink::LinkState::Halted && lastReply_.isValid()) {
        const auto& c = link_->counters();
        const QString port = PortName();
        ShowLinkNotice(
            c.FailedExchanges + c.DroppedFrames > troublesAtLastReply_
                ? QStringLiteral("No answer on %1 since %2: Connect").arg(port, lastReply_.toString(u"HH:mm:ss"))
                : QStringLiteral("The link stopped on %1 at %2: Connect").arg(port, now()));
        lastReply_ = QTime();
    }
    // Closed by the user: what the status bar said of a lost link is over.
    if (link_->State() == seriallink::LinkState::Closed && !linkNotice_.isEmpty()) {
        if (Notice() == linkNotice_) notice_->setNotice(QString());
        linkNotice_.clear();
    }
}

void MainWindow::StepActivity() {
    if (activityBar_->value() < activityBar_->maximum()) activityBar_->setPosition(activityBar_->value() + 1);
    else activityBar_->setPosition(activityBar_->minimum());
}

void MainWindow::FillActivity() {
    activityBar_->setPosition(activityBar_->maximum());
}

// Everything the link has to say is a failure of some kind: shown with the warning icon.
void MainWindow::ShowMessage(const std::string& text) {
    dialogs::ShowWarning(this, QString::fromStdString(text));
}

void MainWindow::showFileMode() {
    const config::FileMode& file = configFiles_->fileMode();
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
    if (const config::FileMode& file = configFiles_->fileMode(); file.Active()) {
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
    panel->setToolTip(widgets::PlainToolTip(whole));
}

void MainWindow::tabShown(int index) {
    commissioning_->TabShown(index); // a recording pauses on the LOGS tab, and says so
    if (index == 0) return;          // live again with the next status reply
    liveMarks_->SetLive(false);
    if (link_->State() != seriallink::LinkState::Polling || commissioning_->Recorder().Recording()) return;
    ShowNotice(QStringLiteral("The LOGS tab reads the event memory: the live view and the graph are paused until "
                              "the VIEW tab is shown again."));
}

void MainWindow::ShowLinkNotice(const std::string& text) {
    ShowLinkNotice(QString::fromStdString(text) + QStringLiteral(" (since %1)").arg(now()));
}

void MainWindow::ShowLinkBack(const std::string& port) {
    // What the reconnection dropped stays told.
    ShowNotice(sender_->LinkBackNotice(QString::fromStdString(port)));
}

bool MainWindow::ReconnectAutomatically() {
    return portDialog_ && portDialog_->ReconnectAutomatically();
}

// Waiting for the port to come back: nothing can be stored, and Disconnect stops the waiting.
void MainWindow::ShowReconnecting() {
    ShowLinkState(false);
    connectAction_->setText(QStringLiteral("Disconnect"));
}

QString MainWindow::PortAdapter() const {
    return portDialog_ && !PortName().isEmpty() ? portDialog_->PortDescription(PortName()) : QString();
}

void MainWindow::LogError(const errorlog::LoggedException* exception, const std::string& text) {
    errorLog_.LogError(exception, text);
}

// A good reply, its payload already in its store, handed to the part that shows it.
void MainWindow::ReplyArrived(std::uint8_t code) {
    lastReply_ = QTime::currentTime();
    troublesAtLastReply_ = link_->counters().FailedExchanges + link_->counters().DroppedFrames;
    // The link is up: what the status bar said of it being down is over (Messages keeps it).
    if (!linkNotice_.isEmpty()) {
        if (Notice() == linkNotice_) notice_->setNotice(QString());
        linkNotice_.clear();
    }
    const protocol::frames::ReplyStores& stores = link_->stores();
    switch (code) {
    case protocol::frames::PwmValues: readBack_->ApplyPwmValues(); break;
    case protocol::frames::Status: {
        liveMarks_->SetLive(true);
        commissioning_->StatusArrived(stores.status.data());
        // Shown, a signal of 0 becomes 1 in the record, which goes back to the store as shown.
        auto status = stores.status;
        statusView_->SplitFlags(status);
        statusView_->ShowStatus(status);
        link_->StoreStatus(status);
        break;
    }
    case protocol::frames::ParameterReadBack:
        readBack_->ApplyParameters();
        sender_->ReadBackArrived();
        break;
    case protocol::frames::EventLog:
        monitor::ShowEventLog(*eventGrid_, stores.eventLog.data());
        commissioning_->EventLogArrived();
        break;
    default: break;
    }
}

} // namespace app
