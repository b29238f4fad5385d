// What an installer does at the end of a job: the installation report, recording a walk test with its
// marked passes and replaying it, thresholds suggested by it, comparing a parameter file with the
// detector. New commands of the main window.
#pragma once

#include "commission/CommissioningHost.h"
#include "commission/Recording.h"
#include "commission/Report.h"
#include "commission/WalkAnalysis.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <vector>

class QAction;
class QProgressDialog;
class QWidget;

class QToolBar;

namespace commission {

class LiveReview;
class Replayer;
class ReportJob;
class ReportNotice;
class ReviewWindow;
class ThresholdSuggestions;
class WalkRecording;

class Commissioning : public QObject {
    Q_OBJECT
  public:
    // window: the main window, parent of the commands' dialogs and holder of their shortcuts.
    Commissioning(QWidget& window, CommissioningHost& host);

    QAction* reportAction() const { return reportAction_; } // "Installation Report..."
    QAction* recordAction() const {
        return recordAction_;
    } // "Record" (on while a recording is being written, and only then)
    QAction* replayAction() const { return replayAction_; }         // "Replay..." (on while replaying)
    QAction* compareAction() const { return compareAction_; }       // "Compare with Detector..."
    QAction* suggestAction() const { return suggestAction_; }       // "Suggest Thresholds..."
    QAction* markPassAction() const { return markPassAction_; }     // "Mark Pass" (M), while recording
    QAction* markQuietAction() const { return markQuietAction_; }   // "Mark Quiet" (Q), while recording
    QAction* endMarkAction() const { return endMarkAction_; }       // "End Mark" (E), while recording
    QAction* reviewAction() const { return reviewAction_; }         // "Review Recording..."
    QAction* reviewLiveAction() const { return reviewLiveAction_; } // "Review Live Connection"
    // The report being written (off the window's thread), its progress and Cancel, and the notice that
    // says it was written, with Open and Show in Folder.
    ReportJob& reportJob() { return *reportJob_; }
    QProgressDialog* reportProgress() const { return reportProgress_; }
    ReportNotice* reportNotice() const { return reportNotice_; }
    // The review window (made when first asked for), and the live connection it can show.
    ReviewWindow& review();
    LiveReview& liveReview() { return *live_; }
    // The bars the main window shows: the marks while recording, the replay's controls while replaying.
    QToolBar* markBar() const;
    QToolBar* replayBar() const;

    // The site, installer and note of a report; false when the user cancels. Tests replace it.
    std::function<bool(QString& site, QString& installer, QString& note)> AskReportDetails;

    // Hooks of the main window: a status reply that just arrived (before it is shown), an event-memory
    // reply, and the tab shown.
    void StatusArrived(const std::uint8_t* status58);
    void EventLogArrived();
    void TabShown(int index);
    bool Replaying() const;
    // Ends a replay; what it showed stays until the user connects, replays again or clears the graph.
    void StopReplay();
    WalkRecorder& Recorder();
    WalkRecording& walkRecording() { return *walk_; }
    Replayer& replayer() { return *replayer_; }
    ThresholdSuggestions& suggestions() { return *suggestions_; }

    void ReportExecute();
    void RecordToggled(bool on);
    void ReplayExecute();
    void CompareExecute();
    // Starts replaying a recording as if its replies were arriving now, at their own pace (a pause
    // longer than MaxReplayGapMs is shortened to it). False, and said, when it cannot be read.
    bool StartReplay(const QString& path);
    static constexpr std::int64_t MaxReplayGapMs = 10000;
    // For tests: a shorter longest pause.
    void setMaxReplayGapMs(std::int64_t ms);

  private:
    // The recording to replay, once the link is closed.
    void chooseReplay();
    QAction* reportAction_ = nullptr;
    QAction* recordAction_ = nullptr;
    QAction* replayAction_ = nullptr;
    QAction* compareAction_ = nullptr;
    QAction* suggestAction_ = nullptr;
    QAction* markPassAction_ = nullptr;
    QAction* markQuietAction_ = nullptr;
    QAction* endMarkAction_ = nullptr;
    QAction* reviewAction_ = nullptr;
    QAction* reviewLiveAction_ = nullptr;
    LiveReview* live_ = nullptr;
    ReportJob* reportJob_ = nullptr;
    QProgressDialog* reportProgress_ = nullptr;
    ReportNotice* reportNotice_ = nullptr;
    QPointer<ReviewWindow> review_;
    bool askDetailsWithDialog(QString& site, QString& installer, QString& note);
    void writeReport();
    // Starts the report job: the walk test's recording (if any) read for the walk, its events and the
    // pass graphs, then the PDF.
    void startReport(const ReportContents& r, const QString& path, const QString& recording);
    void reportFinished(bool ok, const QString& error);
    // The report of a replayed recording, no detector connected: its walk is read whole first.
    void reportFromReplay(const ReportContents& details, const QString& path);
    bool parametersKnown(const QString& what);

    QWidget& window_;
    CommissioningHost& host_;
    WalkRecording* walk_ = nullptr;
    Replayer* replayer_ = nullptr;
    ThresholdSuggestions* suggestions_ = nullptr;
    QString reportPath_;
    QString reportRecording_; // the walk test's file the report reads
    bool statusSinceConnect_ = false;
    ReportContents report_;
    QTimer reportDeadline_;
};

} // namespace commission
