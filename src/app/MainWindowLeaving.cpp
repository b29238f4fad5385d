// Leaving: Exit and the close button, the question about changes not stored in the flash, the fade out.
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
        fadeTimer_->stop();
    } else if (!fadeIn_ && fadeAlpha_ <= 0) {
        fadeTimer_->stop();
        endProcess_(0);
    }
}

bool MainWindow::confirmLeaving(const std::function<void()>& leave) {
    // (A change made a moment ago, still waiting for its tick, counts as well.)
    const config::FlashState flash = sender_->Flash();
    const bool polling = link_->State() == seriallink::LinkState::Polling;
    const bool unstored = flash == config::FlashState::NotStored;
    // A store that went out, its read-back lost with the link: not known to have happened.
    const bool storeUnconfirmed = flash == config::FlashState::StoreSent && !polling;
    const bool unsent = sender_->FrameWaiting() && link_->LinkActive();
    if (!unstored && !storeUnconfirmed && !unsent) return true;
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
    const bool canStore = polling && link_->ParametersKnown();
    const QString text = what.join(QLatin1Char(' ')) + QStringLiteral("\n\n") +
                         (canStore  ? QStringLiteral("Store them in its flash now?")
                          : polling ? QStringLiteral("The detector has not reported its parameters yet, "
                                                     "so nothing can be stored now.")
                                    : QStringLiteral("The link is down, so nothing can be stored now."));
    const QStringList buttons =
        canStore ? QStringList{QStringLiteral("&Store"), QStringLiteral("&Don't Store"), QStringLiteral("Cancel")}
                 : QStringList{QStringLiteral("&Don't Store"), QStringLiteral("Cancel")};
    const auto connection = link_->counters().Connections;
    const QString choice = buttons.value(dialogs::AskChoice(this, text, buttons));
    if (choice == QLatin1String("&Don't Store")) return true;
    if (choice == QLatin1String("&Store") && link_->counters().Connections != connection) {
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
        sender_->requestStore();
    }
    return false;
}

void MainWindow::showFlashState() {
    const config::FlashState state = sender_->Flash();
    QLabel* panel = statusPanels_[3];
    // A file open on the controls has no flash: what the last detector's held is not shown beside it.
    const bool file = configFiles_ && configFiles_->fileMode().Active();
    panel->setText(file ? QString() : config::FlashStateText(state));
    panel->setMinimumWidth(std::max(50, panel->sizeHint().width())); // the whole text, whatever the notice says
    panel->setToolTip(state == config::FlashState::Unchanged
                          ? QStringLiteral("No change has been sent to this detector since Connect.")
                          : config::FlashStateText(state));
    if (state == config::FlashState::Stored && leaveAfterStore_) {
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
    pollTimer_->stop();
    fadeIn_ = false;
    fadeAlpha_ = 255;
    if (portDialog_ && portDialog_->isVisible()) portDialog_->hide();
    fadeClock_.start();
    fadeTimer_->start();
}

} // namespace app
