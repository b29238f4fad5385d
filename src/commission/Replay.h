// Replays a walk-test recording through the VIEW tab, the lamps and the graph as if its replies were
// arriving now: at their recorded pace times the chosen speed, paused, reply by reply, or from another
// place of the recording. What it showed last stays when it ends, until the user connects, replays
// again or clears the graph.
#pragma once

#include "commission/CommissioningHost.h"
#include "commission/Recording.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <deque>

class QAction;
class QWidget;

namespace commission {

class ReplayBar;

class Replayer : public QObject {
    Q_OBJECT
  public:
    // replayAction is the command's action: it is on while a replay runs.
    Replayer(QWidget& window, CommissioningHost& host, QAction* replayAction);

    ReplayBar* bar() const { return bar_; }               // shown while a replay runs and after its end
    QAction* pauseAction() const { return pauseAction_; } // Space: pause, go on (from the start again after the end)
    QAction* backAction() const { return backAction_; }   // Left: one reply back, paused
    QAction* forwardAction() const { return forwardAction_; } // Right: one reply forward, paused

    // Starts replaying; false, and said in a box, when the file cannot be read.
    bool Start(const QString& path);
    // The replay ends (the file is closed); what it showed stays, not live.
    void Stop();
    // What a replay showed goes as well: the VIEW tab's readings and the graph are emptied.
    void ClearPicture();
    // A replay runs: playing or paused, not at its end.
    bool Replaying() const { return reader_.IsOpen() && !atEnd_; }
    bool Paused() const { return paused_; }
    // A replay's picture is on the VIEW tab and the graph (while it runs, and after it).
    bool HasPicture() const { return picture_; }
    // The recording replayed, or whose picture stays.
    QString Path() const { return path_; }
    // The time of the reply shown last, on the recording's clock; -1 before the first.
    std::int64_t ShownMs() const { return shownMs_; }
    std::int64_t LengthMs() const;

    void setPaused(bool paused);
    void setSpeed(double speed);
    // Goes to the first reply at or after ms (on the recording's clock), the graph showing the replies
    // before it as they would have swept by; the replay stays paused or playing as it was (paused when
    // it had ended).
    void Seek(std::int64_t ms);
    // A jump under way: the replies before the place are being read.
    bool Seeking() const { return seeking_; }
    // One reply forward (+1) or back (-1), and the replay pauses.
    void Step(int direction);

    // A pause longer than this between two replies is shortened to it.
    static constexpr std::int64_t MaxGapMs = 10000;
    void setMaxGapMs(std::int64_t ms) { maxGapMs_ = ms; }

  private:
    ReplayBar* bar_ = nullptr;
    QAction* pauseAction_ = nullptr;
    QAction* backAction_ = nullptr;
    QAction* forwardAction_ = nullptr;
    struct Shown {
        qint64 offset;
        std::int64_t ms;
    };
    void step();
    void seekTo(std::int64_t ms, qint64 offset);
    void show(const RecordingReader::Entry& e);
    void feedQuietly(const RecordingReader::Entry& e);
    void applyMark(const recording::Mark& m, bool quietly);
    void remember(const RecordingReader::Entry& e);
    void reachEnd();
    void fail(const QString& text);
    void close();
    void showControls();
    void showTime();
    double replyIntervalMs() const;

    QWidget& window_;
    CommissioningHost& host_;
    QAction* replayAction_;
    RecordingReader reader_;
    QString path_;
    bool picture_ = false;
    bool atEnd_ = false;
    bool paused_ = false;
    bool stepPending_ = false; // paused: show the next reply
    double speed_ = 1;
    std::int64_t maxGapMs_ = MaxGapMs;
    std::int64_t firstMs_ = -1;
    // The entry read and not yet used: a reply waits for its time.
    RecordingReader::Entry pending_;
    RecordingReader::Result pendingKind_ = RecordingReader::Result::End;
    bool pendingValid_ = false;
    // The reply shown last, and when (on the wall clock) it was due.
    std::int64_t shownMs_ = -1;
    qint64 shownWall_ = 0;
    QElapsedTimer wall_;
    // Jumping: the replies before the place feed the graph quietly; the last one read is held back, so
    // that the one shown at the end is shown whole.
    bool seeking_ = false;
    std::int64_t seekMs_ = 0;
    qint64 seekOffset_ = -1; // the exact reply to land on, when known (a step back)
    bool held_ = false;
    RecordingReader::Entry heldEntry_;
    std::deque<Shown> history_; // the replies on the graph, for a step back
    QString recordedPause_;     // said while the replay crosses a pause of the recording
    QTimer timer_;
    QTimer seekSoon_;
    std::int64_t seekWanted_ = 0;
};

} // namespace commission
