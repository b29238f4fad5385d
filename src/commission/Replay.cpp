#include "commission/Replay.h"

#include "commission/BarRoom.h"
#include "commission/ReplayBar.h"
#include "dialogs/UserDialogs.h"
#include "graph/GraphWindow.h"
#include "link/PollCycle.h"
#include "monitor/Indicators.h"
#include "monitor/LiveMarks.h"
#include "monitor/StatusView.h"

#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>
#include <QWidget>
#include <algorithm>

namespace {

// The pace of the status polls at 19200 baud: a guess until the recording's own pace is known.
constexpr double PollPeriodMs = 46.5;
// Replies kept for a step back: more than the graph's width.
constexpr std::size_t HistoryLength = 4096;

QString minutes(std::int64_t ms) {
    const std::int64_t s = std::max<std::int64_t>(0, ms) / 1000;
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

Replayer::Replayer(QWidget& window, CommissioningHost& host, QAction* replayAction)
    : QObject(&window), window_(window), host_(host), replayAction_(replayAction) {
    bar = new ReplayBar(&window_);
    bar->hide();
    auto action = [this](const char* name, const QString& text, const QKeySequence& key) {
        auto* a = new QAction(text, &window_);
        a->setObjectName(QString::fromLatin1(name));
        a->setShortcut(key);
        a->setShortcutContext(Qt::WindowShortcut);
        a->setEnabled(false); // only while the replay's bar is shown
        window_.addAction(a);
        return a;
    };
    pauseAction = action("ActionReplayPause", QStringLiteral("Pause or Go On"), QKeySequence(Qt::Key_Space));
    backAction = action("ActionReplayBack", QStringLiteral("One Reply Back"), QKeySequence(Qt::Key_Left));
    forwardAction = action("ActionReplayForward", QStringLiteral("One Reply Forward"), QKeySequence(Qt::Key_Right));
    connect(pauseAction, &QAction::triggered, this, [this] { setPaused(atEnd_ ? false : !paused_); });
    connect(backAction, &QAction::triggered, this, [this] { Step(-1); });
    connect(forwardAction, &QAction::triggered, this, [this] { Step(1); });
    connect(bar->playButton, &QToolButton::clicked, pauseAction, &QAction::trigger);
    connect(bar->backButton, &QToolButton::clicked, backAction, &QAction::trigger);
    connect(bar->forwardButton, &QToolButton::clicked, forwardAction, &QAction::trigger);
    connect(bar->closeButton, &QToolButton::clicked, this, &Replayer::Stop);
    connect(bar->speed, &QComboBox::currentIndexChanged, this, [this] { setSpeed(bar->Speed()); });
    // The slider's place is asked for once the events of a drag have been taken in.
    seekSoon_.setSingleShot(true);
    connect(&seekSoon_, &QTimer::timeout, this, [this] { Seek(seekWanted_); });
    connect(bar->position, &QSlider::valueChanged, this, [this](int tenths) {
        seekWanted_ = std::max<std::int64_t>(firstMs_, 0) + std::int64_t(tenths) * 100;
        bar->timeLabel->setText(ReplayBar::TimeText(std::int64_t(tenths) * 100) + QStringLiteral(" of ") +
                                ReplayBar::TimeText(LengthMs()));
        seekSoon_.start(0);
    });

    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &Replayer::step);
    clock_.setInterval(1000);
    connect(&clock_, &QTimer::timeout, this, &Replayer::showTime);
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
    speed_ = bar->Speed();
    wall_.start();
    shownWall_ = 0;
    if (GraphWindow* g = host_.graphics()) {
        g->KeepPicture(false);
        g->MoveSweepTo(0); // the recording from the left edge
    }
    host_.indicators().setSirenAllowed(false); // the lamps show the walk again, the siren stays quiet
    showControls();
    clock_.start();
    step();
    if (Replaying()) showTime();
    return true;
}

void Replayer::close() {
    timer_.stop();
    clock_.stop();
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
    if (GraphWindow* g = host_.graphics()) g->KeepPicture(true);
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
    ShowBarWithRoom(window_, bar, open);
    for (QAction* a : {pauseAction, backAction, forwardAction}) a->setEnabled(open);
    bar->ShowPlaying(Replaying() && !paused_);
    bar->backButton->setEnabled(open);
    bar->forwardButton->setEnabled(Replaying());
    const QSignalBlocker quiet(replayAction_);
    replayAction_->setChecked(Replaying());
    if (open) bar->ShowPlace(shownMs_ - std::max<std::int64_t>(firstMs_, 0), LengthMs());
}

void Replayer::showTime() {
    if (!Replaying()) return;
    const std::int64_t first = std::max<std::int64_t>(firstMs_, 0);
    QString text = QStringLiteral("Replaying %1 \u2013 %2").arg(QFileInfo(path_).fileName(), minutes(shownMs_ - first));
    if (reader_.LastMs() >= first) text += QStringLiteral(" of ") + minutes(reader_.LastMs() - first);
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
    const int index = bar->speed->findData(speed_);
    if (index >= 0 && index != bar->speed->currentIndex()) {
        const QSignalBlocker quiet(bar->speed);
        bar->speed->setCurrentIndex(index);
    }
    if (Replaying() && !paused_) timer_.start(0); // the reply waiting is due at the new pace
}

double Replayer::replyIntervalMs() const {
    if (history_.size() < 2) return PollPeriodMs;
    const double each = double(history_.back().ms - history_.front().ms) / double(history_.size() - 1);
    return std::clamp(each, 5.0, 200.0);
}

void Replayer::Seek(std::int64_t ms) {
    seekTo(ms, -1);
}

void Replayer::seekTo(std::int64_t ms, qint64 offset) {
    if (!reader_.IsOpen()) return;
    seekSoon_.stop();
    const std::int64_t first = std::max<std::int64_t>(firstMs_, 0);
    ms = std::clamp(ms, first, std::max(first, reader_.LastMs()));
    GraphWindow* g = host_.graphics();
    // Enough replies before the place to fill the graph's width.
    const auto before = static_cast<std::int64_t>((g ? g->State().GraphWidth : 0) * replyIntervalMs());
    reader_.SeekTo(reader_.FindTime(ms - before));
    if (g) {
        g->StartOver();
        g->KeepPicture(false);
    }
    if (atEnd_) { // (paused there, unless the user asked to play)
        atEnd_ = false;
        host_.indicators().setSirenAllowed(false);
        clock_.start();
    }
    picture_ = true;
    history_.clear();
    pendingValid_ = held_ = stepPending_ = false;
    recordedPause_.clear();
    seeking_ = true;
    seekMs_ = ms;
    seekOffset_ = offset;
    showControls();
    timer_.start(0);
}

void Replayer::Step(int direction) {
    if (!reader_.IsOpen()) return;
    if (direction < 0) {
        if (history_.size() < 2) {
            host_.ShowNotice(QStringLiteral("The replay is at the start of \"%1\".").arg(QFileInfo(path_).fileName()));
            return;
        }
        paused_ = true;
        const Shown back = history_[history_.size() - 2];
        seekTo(back.ms, back.offset);
        return;
    }
    if (atEnd_) {
        host_.ShowNotice(QStringLiteral("The replay is at the end of \"%1\".").arg(QFileInfo(path_).fileName()));
        return;
    }
    paused_ = true;
    stepPending_ = true;
    showControls();
    timer_.start(0);
}

void Replayer::remember(const RecordingReader::Entry& e) {
    history_.push_back({e.offset, e.ms});
    if (history_.size() > HistoryLength) history_.pop_front();
    if (firstMs_ < 0) firstMs_ = e.ms;
}

void Replayer::feedQuietly(const RecordingReader::Entry& e) {
    if (GraphWindow* g = host_.graphics()) {
        const bool direct = g->DirectConvert();
        std::array<GraphWindow::ChannelValues, 3> values{};
        for (int c = 0; c < 3; ++c) {
            const monitor::ChannelStatus& ch = e.status.channels[c];
            values[c] = {direct ? ch.direct : ch.signal, ch.compensation};
        }
        g->FeedQuietly(values);
    }
    remember(e);
}

void Replayer::show(const RecordingReader::Entry& e) {
    const auto bytes = monitor::EncodeStatus(e.status);
    auto& store = host_.link().Stores.status;
    std::copy(bytes.begin(), bytes.end(), store.begin());
    host_.liveMarks().SetLive(true);
    host_.statusView().SplitFlags(store);
    host_.statusView().ShowStatus(store);
    remember(e);
    shownMs_ = e.ms;
    recordedPause_.clear();
    bar->ShowPlace(shownMs_ - std::max<std::int64_t>(firstMs_, 0), LengthMs());
}

void Replayer::applyMark(const recording::Mark& m, bool quietly) {
    GraphWindow* g = host_.graphics();
    using Kind = recording::Mark::Kind;
    const QString note = m.text.isEmpty() ? QString() : QStringLiteral(": ") + m.text;
    switch (m.kind) {
    case Kind::Pass:
        if (g) g->AddMark(graph::Mark::Kind::Pass, QStringLiteral("Pass %1").arg(m.number) + note);
        break;
    case Kind::Quiet:
        if (g) g->AddMark(graph::Mark::Kind::Quiet, QStringLiteral("Quiet %1").arg(m.number) + note);
        break;
    case Kind::End:
        if (g) g->AddMark(graph::Mark::Kind::End, QString());
        break;
    case Kind::Paused: {
        const QString text =
            QStringLiteral("paused %1 s%2").arg(QString::number(double(m.lengthMs) / 1000, 'f', 1), note);
        // (A band wider than the graph shows no more: a huge pause in a hand-made file stays a number.)
        if (g)
            g->AddPause(text, static_cast<int>(
                                  std::min(double(m.lengthMs) / replyIntervalMs(), double(g->State().GraphWidth))));
        if (!quietly) {
            recordedPause_ = QStringLiteral("the recording was paused here for %1 s%2")
                                 .arg(QString::number(double(m.lengthMs) / 1000, 'f', 1),
                                      m.text.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(m.text));
            showTime();
        }
        break;
    }
    case Kind::Parameters: return;
    }
    if (g && !quietly) g->ShowNow(); // between two replies: on the screen now
}

void Replayer::fail(const QString& text) {
    close();
    host_.liveMarks().SetLive(false);
    if (GraphWindow* g = host_.graphics()) g->KeepPicture(true);
    dialogs::ShowWarning(&window_, text);
}

void Replayer::reachEnd() {
    timer_.stop();
    clock_.stop();
    if (seeking_ && held_) show(heldEntry_); // the place asked for lies past the last reply: the last one
    seeking_ = held_ = stepPending_ = false;
    atEnd_ = true;
    paused_ = true; // it stands at the end
    host_.indicators().setSirenAllowed(true);
    host_.liveMarks().SetLive(false);
    if (GraphWindow* g = host_.graphics()) g->KeepPicture(true);
    showControls();
    host_.ShowNotice(QStringLiteral("Replay finished: its last picture stays until you connect, replay again or clear "
                                    "the graph."));
}

void Replayer::step() {
    if (!reader_.IsOpen() || atEnd_) return;
    // However far a jump reads, about two slices of the file per turn of the event loop.
    qint64 from = pendingValid_ ? pending_.offset : -1;
    for (;;) {
        if (!pendingValid_) {
            QString error;
            pendingKind_ = reader_.Next(pending_, error);
            switch (pendingKind_) {
            case RecordingReader::Result::Later: // a slice of the file held nothing: on with it on the next turn
                timer_.start(0);
                return;
            case RecordingReader::Result::End: reachEnd(); return;
            case RecordingReader::Result::Bad:
                fail(QStringLiteral("%1 of \"%2\" is not a status reply: %3. The replay stopped there.")
                         .arg(reader_.LineName(), path_, error));
                return;
            case RecordingReader::Result::Failed:
                fail(QStringLiteral("The replay of \"%1\" stopped after %2: the file could not be read on: %3")
                         .arg(path_, reader_.LineName().toLower(), error));
                return;
            case RecordingReader::Result::Reply:
            case RecordingReader::Result::Mark: pendingValid_ = true; break;
            }
        }
        // (A jump too: each entry read counts, the one in hand goes on with the next turn.)
        if (from < 0) from = pending_.offset;
        if (pending_.offset - from > 2 * RecordingReader::SliceBytes) {
            timer_.start(0);
            return;
        }
        if (pendingKind_ == RecordingReader::Result::Mark) {
            if (seeking_ && held_) {
                feedQuietly(heldEntry_);
                held_ = false;
            }
            applyMark(pending_.mark, seeking_);
            pendingValid_ = false;
            continue;
        }
        if (seeking_) {
            pendingValid_ = false;
            const bool there = seekOffset_ >= 0 ? pending_.offset >= seekOffset_ : pending_.ms >= seekMs_;
            if (held_) feedQuietly(heldEntry_);
            held_ = false;
            if (!there) { // (a slice per call of Next: the turn ends when it needs another)
                heldEntry_ = pending_;
                held_ = true;
                continue;
            }
            seeking_ = false;
            show(pending_);
            shownWall_ = wall_.elapsed();
            showTime();
            if (!paused_) timer_.start(0);
            return;
        }
        if (paused_ && !stepPending_) return;
        // At its recorded pace (times the speed), but a pause longer than the longest allowed (a clock
        // that jumped, a recording left running) is shortened to it; a time that goes back plays at once.
        const std::int64_t gap = shownMs_ < 0 ? 0 : std::clamp<std::int64_t>(pending_.ms - shownMs_, 0, maxGapMs_);
        const qint64 due = shownWall_ + static_cast<qint64>(double(gap) / speed_);
        const qint64 now = wall_.elapsed();
        if (!stepPending_ && due > now) {
            timer_.start(static_cast<int>(std::min<qint64>(due - now, maxGapMs_)));
            return;
        }
        pendingValid_ = false;
        stepPending_ = false;
        show(pending_);
        // A replay that fell behind (a slow machine at a high speed) does not race to catch up.
        shownWall_ = std::max(due, now - 100);
        if (paused_) {
            showControls();
            showTime();
            return;
        }
        timer_.start(0);
        return;
    }
}
