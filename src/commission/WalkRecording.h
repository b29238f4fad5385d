// Recording a walk test: every status reply to a CSV file while Record is on, the passes and quiet
// stretches the installer marks (with a note), the pauses the recording takes (the LOGS tab, a lost
// link) shown in the status bar and marked in the file, and the detector's parameters when they change.
#pragma once

#include "commission/CommissioningHost.h"
#include "commission/Recording.h"
#include "commission/WalkAnalysis.h"

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <optional>

class QAction;
class QLineEdit;
class QToolBar;
class QWidget;

namespace commission {

class WalkRecording : public QObject {
    Q_OBJECT
  public:
    // recordAction is the Record command: checked while a recording is being written, and only then.
    WalkRecording(QWidget& window, CommissioningHost& host, QAction* recordAction);

    QToolBar* bar() const { return bar_; }                        // the marks: shown while recording
    QLineEdit* noteEdit() const { return noteEdit_; }             // the note the next pass (or quiet stretch) takes
    QAction* markPassAction() const { return markPassAction_; }   // "Mark Pass", M
    QAction* markQuietAction() const { return markQuietAction_; } // "Mark Quiet", Q
    QAction* endMarkAction() const { return endMarkAction_; }     // "End Mark", E

    WalkRecorder& Recorder() { return recorder_; }
    // The Record command pressed (on) or released.
    void Toggled(bool on);
    // A status reply that just arrived, before it is shown.
    void StatusArrived(const std::uint8_t* status58);
    // The VIEW (0) or the LOGS (1) tab was chosen: the LOGS tab stops the status polls.
    void TabShown(int index);
    // The recording is paused (and why): nothing comes to it for now.
    bool Paused() const { return !pauseCauses_.isEmpty(); }
    QString PauseCause() const { return pauseCauses_.join(QStringLiteral(", then ")); }

    void MarkPass();
    void MarkQuiet();
    void EndMark();

    // Told of each mark once it is in the file (the review of the live connection shows it).
    std::function<void(const recording::Mark&)> MarkWritten;

    // The walk recorded on this connection (the one under way, or the last), for the report.
    bool HasWalk() const { return !walkPath_.isEmpty(); }
    const WalkAnalysis& Walk() const { return walk_; }
    QString WalkPath() const { return walkPath_; }

  private:
    QToolBar* bar_ = nullptr;
    QLineEdit* noteEdit_ = nullptr;
    QAction* markPassAction_ = nullptr;
    QAction* markQuietAction_ = nullptr;
    QAction* endMarkAction_ = nullptr;
    QWidget* markPassButton_ = nullptr;
    // The focus leaves the note for the bar's Mark Pass button.
    void leaveNote();
    void connecting();
    void showTime();
    void notice(const QString& text, const QString& kind);
    void showPressed(bool on);
    void showControls();
    // Stops a recording that cannot go on (or has just been stopped by a failed write), and says why in
    // the status bar.
    void endRecording(const QString& cause);
    // Ends the writing; what went wrong in giving the file its name, if anything.
    QString stopWriting();
    bool write(const recording::Mark& m);
    void beginPause(const QString& cause, std::int64_t fromMs);
    bool endPause();
    void mark(recording::Mark::Kind kind);

    QWidget& window_;
    CommissioningHost& host_;
    QAction* recordAction_;
    WalkRecorder recorder_;
    QTimer clock_;
    QStringList pauseCauses_;
    std::int64_t pauseFromMs_ = 0;
    // The link came back by itself: the recording goes on only for the detector it was recording.
    bool awaitingSameDetector_ = false;
    std::optional<protocol::params::Record> parametersWritten_;
    int passes_ = 0, quiets_ = 0;
    bool segmentOpen_ = false;
    QString segmentText_; // "pass 2 (10 m, left to right)"
    QString noticeKind_;  // what the status bar's notice said last, less its clock and count
    std::int64_t noticeSecond_ = -1;
    WalkAnalysis walk_;
    QString walkPath_;
};

} // namespace commission
