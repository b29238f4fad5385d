// What an installer does at the end of a job: the installation report, recording a walk test and
// replaying it, comparing a parameter file with the detector. New commands of the main window.
#pragma once

#include "commission/Recording.h"
#include "commission/Report.h"

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <vector>

class QAction;
class TMee;

class Commissioning : public QObject {
    Q_OBJECT
  public:
    explicit Commissioning(TMee& mee);

    QAction* ActionReport = nullptr;  // "Installation Report..."
    QAction* ActionRecord = nullptr;  // "Record" (on while recording)
    QAction* ActionReplay = nullptr;  // "Replay..." (on while replaying)
    QAction* ActionCompare = nullptr; // "Compare with Detector..."

    // The site, installer and note of a report; false when the user cancels. Tests replace it.
    std::function<bool(QString& site, QString& installer, QString& note)> AskReportDetails;

    // Hooks of the main window: a status reply that just arrived (before it is shown), and an
    // event-memory reply.
    void StatusArrived(const std::uint8_t* status58);
    void EventLogArrived();
    bool Replaying() const { return replayTimer_.isActive() || replayIndex_ < replayLines_.size(); }
    void StopReplay();
    WalkRecorder& Recorder() { return recorder_; }

    void ReportExecute();
    void RecordToggled(bool on);
    void ReplayExecute();
    void CompareExecute();
    // Starts replaying the lines of a recording (header first) as if they were arriving now.
    bool StartReplay(const QStringList& lines, const QString& name);

  private:
    bool askDetailsWithDialog(QString& site, QString& installer, QString& note);
    void writeReport();
    void replayNext();
    void showRecordingTime();
    bool parametersKnown(const QString& what);

    TMee& mee_;
    WalkRecorder recorder_;
    QTimer recordingClock_;
    QString reportPath_;
    ReportContents report_;
    QTimer reportDeadline_;
    QStringList replayLines_;
    qsizetype replayIndex_ = 0;
    std::int64_t replayStartMs_ = 0;
    QString replayName_;
    QTimer replayTimer_;
    QElapsedTimer replayClock_;
};
