// The changes made to a detector as the main window shows them: what is not stored in its flash (the
// flash panel, the question before leaving), Undo Last Change and the reverts, and the failure boxes kept
// in the message history.
#include "app/MainWindow.h"

#include "app/MessageHistory.h"
#include "config/ConfigFile.h"
#include "config/FileMode.h"
#include "config/ParameterOffers.h"
#include "config/ParameterSender.h"
#include "dialogs/LiveQuestion.h"
#include "dialogs/UserDialogs.h"
#include "widgets/NoticeLabel.h"

#include <QAction>
#include <QDateTime>
#include <QLabel>
#include <QTimer>

namespace app {

namespace {

// The changes not stored, as a question or a tooltip lists them: the first few, then how many more.
QString listed(const QStringList& changes) {
    constexpr int Shown = 12;
    QString text;
    for (const QString& line : changes.mid(0, Shown)) text += QStringLiteral("\n  ") + line;
    if (changes.size() > Shown) text += QStringLiteral("\n  and %1 more").arg(changes.size() - Shown);
    return text;
}

} // namespace

void MainWindow::wireChanges() {
    config::ParameterOffers& offers = configFiles_->offers();
    connect(revertAction_, &QAction::triggered, &offers, &config::ParameterOffers::revertToConnectTime);
    connect(revertArrivalAction_, &QAction::triggered, &offers, &config::ParameterOffers::revertToArrival);
    connect(undoAction_, &QAction::triggered, &offers, &config::ParameterOffers::undoLastChange);
    connect(sender_, &config::ParameterSender::undoStepsChanged, this, &MainWindow::showChangeActions);
    connect(&offers, &config::ParameterOffers::arrivalKept, this, &MainWindow::showChangeActions);
    connect(sender_, &config::ParameterSender::unstoredChangesChanged, this, &MainWindow::showFlashState);
    // The question before leaving follows whatever it speaks of.
    leaveUpdates_ = new dialogs::QuestionUpdates;
    leaveUpdates_->setParent(this);
    connect(sender_, &config::ParameterSender::flashStateChanged, leaveUpdates_, &dialogs::QuestionUpdates::changed);
    connect(sender_, &config::ParameterSender::unstoredChangesChanged, leaveUpdates_,
            &dialogs::QuestionUpdates::changed);
    connect(&offers, &config::ParameterOffers::waitingChanged, leaveUpdates_, &dialogs::QuestionUpdates::changed);
    recordWarnings();
}

void MainWindow::showChangeActions() {
    const bool up = storeAction_->isEnabled(); // (follows the link: connected and polling)
    undoAction_->setEnabled(up && !sender_->UndoSteps().empty());
    revertArrivalAction_->setEnabled(up && configFiles_->offers().arrival().has_value());
    if (leaveUpdates_) emit leaveUpdates_->changed();
}

void MainWindow::recordWarnings() {
    dialogs::SetWarningRecorder([this](QWidget*, const QString& text) {
        const QString port = PortName();
        messages_->add((port.isEmpty() ? QStringLiteral("Error: ") : QStringLiteral("Error on %1: ").arg(port)) + text);
    });
}

void MainWindow::ShowLinkNotice(const QString& text) {
    linkNotice_ = text;
    ShowNotice(text);
}

dialogs::Question MainWindow::leaveQuestion(std::uint64_t openedOn) const {
    const config::FlashState flash = sender_->Flash();
    const seriallink::LinkState state = link_->State();
    const bool polling = state == seriallink::LinkState::Polling;
    const bool unstored = flash == config::FlashState::NotStored;
    // A store that went out, its read-back lost with the link: not known to have happened.
    const bool storeUnconfirmed = flash == config::FlashState::StoreSent && !polling;
    // (A change made a moment ago, still waiting for its tick, counts as well; so does one the link lost
    // while it waits for its port.)
    const bool unsent =
        (sender_->FrameWaiting() || configFiles_->offers().Waiting()) && state != seriallink::LinkState::Closed;
    if (!unstored && !storeUnconfirmed && !unsent) return {};
    QStringList what;
    if (unstored && sender_->FlashAwaitingReport())
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
    QString text = what.join(QLatin1Char(' '));
    if (const QStringList changes = sender_->UnstoredChanges(); (unstored || storeUnconfirmed) && !changes.isEmpty())
        text += QStringLiteral("\n\nNot stored in its flash:") + listed(changes);
    const bool canStore = polling && link_->ParametersKnown() && link_->counters().Connections == openedOn;
    text +=
        QStringLiteral("\n\n") +
        (canStore  ? QStringLiteral("Store them in its flash now?")
         : polling ? QStringLiteral("The detector has not reported its parameters yet, so nothing can be stored now.")
         : state == seriallink::LinkState::Reconnecting
             ? QStringLiteral("The link waits for its port to come back, so nothing can be stored now.")
             : QStringLiteral("The link is down, so nothing can be stored now."));
    return {text, canStore
                      ? QStringList{QStringLiteral("&Store"), QStringLiteral("&Don't Store"), QStringLiteral("Cancel")}
                      : QStringList{QStringLiteral("&Don't Store"), QStringLiteral("Cancel")}};
}

bool MainWindow::confirmLeaving(const std::function<void()>& leave) {
    const auto connection = link_->counters().Connections;
    if (leaveQuestion(connection).text.isEmpty()) return true;
    // While it is open the link may come back or go: its words follow.
    const QString choice = dialogs::AskLive(
        this,
        [this, connection] {
            dialogs::Question q = leaveQuestion(connection);
            if (q.text.isEmpty())
                q = {QStringLiteral("Everything sent to the detector has gone out and is stored in its flash now."),
                     {QStringLiteral("&Leave"), QStringLiteral("Cancel")}};
            return q;
        },
        *leaveUpdates_);
    if (choice == QLatin1String("&Don't Store") || choice == QLatin1String("&Leave")) return true;
    if (choice != QLatin1String("&Store")) return false;
    if (link_->counters().Connections != connection || link_->State() != seriallink::LinkState::Polling) {
        // Connected again by itself meanwhile, perhaps to another detector: not for this answer.
        dialogs::ShowWarning(this, QStringLiteral("The link changed while the question was open (perhaps to another "
                                                  "detector): nothing was stored."));
        return false;
    }
    // The store request goes out with the next tick; leaving follows its read-back.
    leaveAfterStore_ = leave;
    storeDeadline_->start();
    sender_->requestStore();
    return false;
}

void MainWindow::showFlashState() {
    const config::FlashState state = sender_->Flash();
    QLabel* panel = statusPanels_[3];
    // A file open on the controls has no flash: what the last detector's held is not shown beside it.
    const bool file = configFiles_ && configFiles_->fileMode().Active();
    panel->setText(file ? QString() : config::FlashStateText(state));
    panel->setMinimumWidth(std::max(50, panel->sizeHint().width())); // the whole text, whatever the notice says
    const QStringList changes = sender_->UnstoredChanges();
    panel->setToolTip(state == config::FlashState::Unchanged
                          ? QStringLiteral("No change has been sent to this detector since Connect, or it holds the "
                                           "set read at Connect again.")
                      : changes.isEmpty() ? config::FlashStateText(state)
                                          : config::FlashStateText(state) + QLatin1Char(':') + listed(changes));
    if (state == config::FlashState::Stored && leaveAfterStore_) {
        storeDeadline_->stop();
        const std::function<void()> leave = std::move(leaveAfterStore_);
        leaveAfterStore_ = nullptr;
        // After the tick that brought the read-back has ended.
        QTimer::singleShot(0, this, leave);
    }
}

} // namespace app
