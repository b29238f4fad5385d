#include "commission/Replay.h"

#include "commission/BarRoom.h"
#include "commission/ReplayBar.h"
#include "dialogs/UserDialogs.h"
#include "graph/GraphWindow.h"
#include "monitor/Indicators.h"
#include "monitor/LiveMarks.h"

#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>
#include <QWidget>
#include <algorithm>

namespace commission {

Replayer::Replayer(QWidget& window, CommissioningHost& host, QAction* replayAction)
    : QObject(&window), window_(window), host_(host), replayAction_(replayAction) {
    bar_ = new ReplayBar(&window_);
    bar_->hide();
    auto action = [this](const char* name, const QString& text, const QKeySequence& key) {
        auto* a = new QAction(text, &window_);
        a->setObjectName(QString::fromLatin1(name));
        a->setShortcut(key);
        a->setShortcutContext(Qt::WindowShortcut);
        a->setEnabled(false); // only while the replay's bar is shown
        window_.addAction(a);
        return a;
    };
    pauseAction_ = action("ActionReplayPause", QStringLiteral("Pause or Go On"), QKeySequence(Qt::Key_Space));
    backAction_ = action("ActionReplayBack", QStringLiteral("One Reply Back"), QKeySequence(Qt::Key_Left));
    forwardAction_ = action("ActionReplayForward", QStringLiteral("One Reply Forward"), QKeySequence(Qt::Key_Right));
    connect(pauseAction_, &QAction::triggered, this, [this] { setPaused(atEnd_ ? false : !paused_); });
    connect(backAction_, &QAction::triggered, this, [this] { Step(-1); });
    connect(forwardAction_, &QAction::triggered, this, [this] { Step(1); });
    connect(bar_->playButton, &QToolButton::clicked, pauseAction_, &QAction::trigger);
    connect(bar_->backButton, &QToolButton::clicked, backAction_, &QAction::trigger);
    connect(bar_->forwardButton, &QToolButton::clicked, forwardAction_, &QAction::trigger);
    connect(bar_->closeButton, &QToolButton::clicked, this, &Replayer::Stop);
    connect(bar_->speed, &QComboBox::currentIndexChanged, this, [this] { setSpeed(bar_->Speed()); });
    // The slider's place is asked for once the events of a drag have been taken in.
    seekSoon_.setSingleShot(true);
    connect(&seekSoon_, &QTimer::timeout, this, [this] { Seek(seekWanted_); });
    connect(bar_->position, &QSlider::valueChanged, this, [this](int tenths) {
        seekWanted_ = std::max<std::int64_t>(firstMs_, 0) + std::int64_t(tenths) * 100;
        bar_->timeLabel->setText(ReplayBar::TimeText(std::int64_t(tenths) * 100) + QStringLiteral(" of ") +
                                 ReplayBar::TimeText(LengthMs()));
        seekSoon_.start(0);
    });

    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &Replayer::step);
}

std::int64_t Replayer::LengthMs() const {
    return reader_.LastMs() >= 0 ? std::max<std::int64_t>(0, reader_.LastMs() - std::max<std::int64_t>(firstMs_, 0))
                                 : std::max<std::int64_t>(0, shownMs_ - firstMs_);
}

bool Replayer::Start(const QString& path) {
    // Whatever the view and the graph show (a replay's picture, or the last detector's traces and marks)
    // is not this recording's.
    close();
    picture_ = false;
    host_.liveMarks().Clear(host_.graphics());
    host_.liveMarks().SetLive(false);
    QString error;
    if (!reader_.Open(path, error)) {
        dialogs::ShowWarning(&window_, error);
        return false;
    }
    path_ = path;
    picture_ = true;
    atEnd_ = paused_ = stepPending_ = seeking_ = held_ = pendingValid_ = false;
    recordedPause_.clear();
    history_.clear();
    shownMs_ = -1;
    firstMs_ = reader_.FirstMs();
    speed_ = bar_->Speed();
    wall_.start();
    shownWall_ = 0;
    if (graph::GraphWindow* g = host_.graphics()) {
        g->KeepPicture(false);
        g->MoveSweepTo(0); // the recording from the left edge
    }
    host_.indicators().setSirenAllowed(false); // the lamps show the walk again, the siren stays quiet
    showControls();
    step();
    if (Replaying()) showTime();
    return true;
}

void Replayer::close() {
    timer_.stop();
    seekSoon_.stop();
    reader_.Close();
    atEnd_ = seeking_ = held_ = pendingValid_ = stepPending_ = false;
    host_.indicators().setSirenAllowed(true);
    showControls();
}

void Replayer::Stop() {
    const bool was = reader_.IsOpen();
    close();
    if (!was || !picture_) return;
    host_.ShowNotice(QString());
    // What the view shows belonged to the recording: it stays, greyed, until the user connects, replays
    // again or clears it.
    host_.liveMarks().SetLive(false);
    if (graph::GraphWindow* g = host_.graphics()) g->KeepPicture(true);
}

void Replayer::ClearPicture() {
    close();
    if (!picture_) return;
    picture_ = false;
    host_.liveMarks().Clear(host_.graphics());
    host_.liveMarks().SetLive(false);
}

void Replayer::showControls() {
    const bool open = reader_.IsOpen();
    ShowBarWithRoom(window_, bar_, open);
    for (QAction* a : {pauseAction_, backAction_, forwardAction_}) a->setEnabled(open);
    bar_->ShowPlaying(Replaying() && !paused_);
    bar_->backButton->setEnabled(open);
    bar_->forwardButton->setEnabled(Replaying());
    const QSignalBlocker quiet(replayAction_);
    replayAction_->setChecked(Replaying());
    if (open) bar_->ShowPlace(shownMs_ - std::max<std::int64_t>(firstMs_, 0), LengthMs());
}

void Replayer::showTime() {
    if (!Replaying()) return;
    // (Its time is on the replay bar, the one clock of the replay.)
    QString text = QStringLiteral("Replaying %1").arg(QFileInfo(path_).fileName());
    if (paused_) text += QStringLiteral(", paused");
    else if (speed_ != 1) text += QStringLiteral(", \u00D7%1").arg(speed_);
    if (!recordedPause_.isEmpty()) text += QStringLiteral(": ") + recordedPause_;
    host_.ShowRunningCount(text, QStringLiteral("replay ") + recordedPause_); // (a recorded pause keeps its line)
}

void Replayer::setPaused(bool paused) {
    if (!reader_.IsOpen()) return;
    if (atEnd_ && !paused) { // Play at the end: from the start again
        paused_ = false;
        Seek(std::max<std::int64_t>(firstMs_, 0));
        return;
    }
    paused_ = paused;
    stepPending_ = false;
    shownWall_ = wall_.elapsed(); // the next reply follows its recorded pause from now
    showControls();
    showTime();
    if (!paused_) timer_.start(0);
}

void Replayer::setSpeed(double speed) {
    speed_ = std::clamp(speed, 0.1, 100.0);
    const int index = bar_->speed->findData(speed_);
    if (index >= 0 && index != bar_->speed->currentIndex()) {
        const QSignalBlocker quiet(bar_->speed);
        bar_->speed->setCurrentIndex(index);
    }
    if (Replaying() && !paused_) timer_.start(0); // the reply waiting is due at the new pace
}

void Replayer::fail(const QString& text) {
    close();
    host_.liveMarks().SetLive(false);
    if (graph::GraphWindow* g = host_.graphics()) g->KeepPicture(true);
    dialogs::ShowWarning(&window_, text);
}

void Replayer::reachEnd() {
    timer_.stop();
    if (seeking_ && held_) show(heldEntry_); // the place asked for lies past the last reply: the last one
    seeking_ = held_ = stepPending_ = false;
    atEnd_ = true;
    paused_ = true; // it stands at the end
    host_.indicators().setSirenAllowed(true);
    host_.liveMarks().SetLive(false);
    if (graph::GraphWindow* g = host_.graphics()) g->KeepPicture(true);
    showControls();
    host_.ShowNotice(QStringLiteral("Replay finished: its last picture stays until you connect, replay again or clear "
                                    "the graph."));
}

} // namespace commission

#include "moc_Replay.cpp"
