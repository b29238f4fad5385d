// What an installer does at the end of a job: the installation report, recording a walk test and
// replaying it, comparing a parameter file with the detector. New commands of the main window.
#pragma once

#include "commission/CommissioningHost.h"
#include "commission/Recording.h"
#include "commission/Report.h"

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <vector>

class QAction;
class QWidget;

class Commissioning : public QObject {
    Q_OBJECT
  public:
    // window: the main window, parent of the commands' dialogs and holder of their shortcuts.
    Commissioning(QWidget& window, CommissioningHost& host);

    QAction* reportAction = nullptr;  // "Installation Report..."
    QAction* recordAction = nullptr;  // "Record" (on while a recording is being written, and only then)
    QAction* replayAction = nullptr;  // "Replay..." (on while replaying)
    QAction* compareAction = nullptr; // "Compare with Detector..."

    // The site, installer and note of a report; false when the user cancels. Tests replace it.
    std::function<bool(QString& site, QString& installer, QString& note)> AskReportDetails;

    // Hooks of the main window: a status reply that just arrived (before it is shown), and an
    // event-memory reply.
    void StatusArrived(const std::uint8_t* status58);
    void EventLogArrived();
    bool Replaying() const { return replay_.IsOpen(); }
    void StopReplay();
    WalkRecorder& Recorder() { return recorder_; }

    void ReportExecute();
    void RecordToggled(bool on);
    void ReplayExecute();
    void CompareExecute();
    // Starts replaying a recording as if its replies were arriving now, at their own pace (a pause
    // longer than MaxReplayGapMs is shortened to it). False, and said, when it cannot be read.
    bool StartReplay(const QString& path);
    static constexpr std::int64_t MaxReplayGapMs = 10000;
    // For tests: a shorter longest pause.
    void setMaxReplayGapMs(std::int64_t ms) { maxGapMs_ = ms; }

  private:
    bool askDetailsWithDialog(QString& site, QString& installer, QString& note);
    void writeReport();
    void replayNext();
    void showRecordingTime();
    // Why a recording stops with the link: closed, or lost (and perhaps reconnecting).
    QString stopCause();
    // The Record action and its button show whether a recording is being written.
    void showRecordPressed(bool on);
    // Stops a recording that cannot go on (or has just been stopped by a failed write), and says why in
    // the status bar.
    void endRecording(const QString& cause);
    void showReplayTime();
    bool parametersKnown(const QString& what);

    QWidget& window_;
    CommissioningHost& host_;
    WalkRecorder recorder_;
    QTimer recordingClock_;
    QString reportPath_;
    bool statusSinceConnect_ = false;
    ReportContents report_;
    QTimer reportDeadline_;
    RecordingReader replay_;
    QString replayName_;
    std::int64_t replayShiftMs_ = 0; // subtracted from a line's time: its start, and the pauses shortened
    std::int64_t replayLastMs_ = -1;
    std::int64_t maxGapMs_ = MaxReplayGapMs;
    bool replayPending_ = false; // a reply read, waiting for its time
    std::int64_t pendingMs_ = 0;
    monitor::StatusRecord pendingStatus_;
    QTimer replayTimer_;
    QElapsedTimer replayClock_;
    QTimer replayStatus_; // "Replaying <file> - m:ss of m:ss", every second
    std::int64_t replayFirstMs_ = -1, replayShownMs_ = 0;
};
