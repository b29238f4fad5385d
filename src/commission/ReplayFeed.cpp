// The Replayer's feeding of the window: the replies at their recorded pace, a jump, a step, the marks.
#include "commission/Replay.h"

#include "commission/ReplayBar.h"
#include "graph/GraphWindow.h"
#include "monitor/Indicators.h"
#include "monitor/LiveMarks.h"
#include "monitor/StatusView.h"
#include "seriallink/PollCycle.h"

#include <QFileInfo>
#include <algorithm>

namespace commission {

namespace {

// The pace of the status polls at 19200 baud: a guess until the recording's own pace is known.
constexpr double PollPeriodMs = 46.5;
// Replies kept for a step back: more than the graph's width.
constexpr std::size_t HistoryLength = 4096;

} // namespace

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
    graph::GraphWindow* g = host_.graphics();
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
    if (graph::GraphWindow* g = host_.graphics()) {
        const bool direct = g->DirectConvert();
        std::array<graph::GraphWindow::ChannelValues, 3> values{};
        for (int c = 0; c < 3; ++c) {
            const protocol::ChannelStatus& ch = e.status.channels[c];
            values[c] = {direct ? ch.direct : ch.signal, ch.compensation};
        }
        g->FeedQuietly(values);
    }
    remember(e);
}

void Replayer::show(const RecordingReader::Entry& e) {
    auto store = protocol::EncodeStatus(e.status);
    host_.link().StoreStatus(store);
    host_.liveMarks().SetLive(true);
    host_.statusView().SplitFlags(store);
    host_.statusView().ShowStatus(store);
    host_.link().StoreStatus(store); // as shown, as a reply's is
    remember(e);
    shownMs_ = e.ms;
    recordedPause_.clear();
    bar_->ShowPlace(shownMs_ - std::max<std::int64_t>(firstMs_, 0), LengthMs());
}

void Replayer::applyMark(const recording::Mark& m, bool quietly) {
    graph::GraphWindow* g = host_.graphics();
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
    if (g && !quietly) g->ShowSoon(); // between two replies: on the screen now, once for all that come together
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

} // namespace commission
